// Stored records of a device window: the numbered ".FIL" files of the five families with their
// ".VXT" headers, and the binary ".VXD" files of scope and logic analyser. The first byte picks
// what is read (0-4 a family, 5 a scope ".VXD", 6 a logic-analyser ".VXD"; the high bits the
// plot choices), a piece with two length bytes is the header, the rest the file. A family's
// file is shown as the window shows it (drawn into small images) and converted to CSV; the
// ".VXD" readers' results are checked against the file's own bytes.
#include <QGuiApplication>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "measure/datafiles.h"
#include "measure/intermediate.h"
#include "measure/intermediaterecords.h"
#include "measure/intermediateshow.h"
#include "measure/loggerstream.h"
#include "measure/plotfeed.h"
#include "measure/recordfiles.h"
#include "measure/textheader.h"
#include "plot/loganal_plot.h"

using namespace tolv;

namespace {

constexpr int kWidth = 240, kHeight = 160;

// Draws what a device window would draw, into images the size of a small window.
struct DrawingPresenter : IMeasurePresenter {
  PlotChoice choice;
  TMeasureData* data = nullptr;

  void render(TGenD2ImgKernel& k, int fed) {
    if (fed != 0) return;
    k.SetImageSize(kWidth, kHeight);
    (void)k.Render(nullptr, true);
  }
  void plotScopeRecord(const TMeasureData& d) override {
    TGenD2ImgKernel k;
    render(k, feedScopeImage(k, d.plotChannel0(), d.plotChannel1(), d.sampleCount(),
                             d.recordSettings(), choice));
  }
  void plotLogicRecord(const TMeasureData& d) override {
    drawTiming(d.logicList(), logicAnalyserView(d.logicList().count(), d.recordSettings()));
  }
  void plotIoLoggerList(const TMeasureData& d) override {
    drawTiming(d.ioLoggerList(), ioLoggerView(d.ioLoggerList().count(),
                                              d.recordSettings().sampleTime));
  }
  void drawTiming(const TLogAnalList& list, const TLogAnalView& view) {
    if (list.count() == 0) return;
    TLogAnalPlot p(list);
    p.prepare(QSize(kWidth, kHeight));
    (void)p.render(nullptr, view, true);
  }
  void chartListChanged(const TTaggedTimedFloatPointList& list) override {
    TGenD2ImgKernel k;
    render(k, feedChartImage(k, list.Items(), ChartScale{}, choice));
  }
  int plotAnalogLoggerFile(const fs::path& file) override {
    AnalogLoggerStream stream;
    if (const int rc = loadAnalogLoggerStream(file, stream); rc != 0) return rc;
    const DayTime start = stream.start ? *stream.start : data->measurementTime();
    TGenD2ImgKernel k;
    render(k, feedAnalogLoggerImage(k, stream, start, choice));
    return 0;
  }
};

// The scope ".VXD": the samples are the file's bytes after the header, bit for bit.
void scopeVxd(const fs::path& file, std::string_view body) {
  VxdHeader h;
  std::vector<ScopeSample> s;
  if (readScopeVxd(file, h, s) != 0) return;
  fuzz::check(h.count >= 0 && std::size_t(h.count) == s.size(), "sample count");
  fuzz::check(body.size() == kScopeVxdHeader + 8 * s.size(), "file size");
  for (std::size_t i = 0; i < s.size(); ++i)
    fuzz::check(std::memcmp(&s[i].ch0, body.data() + kScopeVxdHeader + 8 * i, 4) == 0 &&
                    std::memcmp(&s[i].ch1, body.data() + kScopeVxdHeader + 8 * i + 4, 4) == 0,
                "samples as stored");
  (void)headlineText(h.serial, h.time);
}

void logicVxd(const fs::path& file, std::string_view body) {
  VxdHeader h;
  std::vector<std::uint16_t> w;
  if (readLogicVxd(file, h, w) != 0) return;
  fuzz::check(body.size() == kLogicVxdHeader + 2 * w.size(), "word count");
  for (std::size_t i = 0; i < w.size(); ++i)
    fuzz::check(w[i] == (std::uint8_t(body[kLogicVxdHeader + 2 * i]) |
                         (std::uint8_t(body[kLogicVxdHeader + 2 * i + 1]) << 8)),
                "words as stored");
  (void)headlineText(h.serial, h.time);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // Fonts for the axis texts.
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in{data, size};
  const std::uint8_t sel = in.byte();
  const std::string_view header = in.piece();
  const std::string_view body = in.rest();
  const int what = (sel & 7) % 7;
  const fs::path device = fuzz::folder() / "device";
  if (what >= 5) {
    const fs::path file = fuzz::folder() / "record.VXD";
    fuzz::put(file, body);
    what == 5 ? scopeVxd(file, body) : logicVxd(file, body);
    return 0;
  }
  const auto family = IntermediateFamily(what);
  const fs::path file = intermediateFileName(device, family, 1);
  static bool made = [&] {
    for (IntermediateFamily f : kIntermediateFamilies) fs::create_directories(familyFolder(device, f));
    return true;
  }();
  (void)made;
  fuzz::put(file, body);
  (sel & 8) ? fuzz::remove(textHeaderName(file)) : fuzz::put(textHeaderName(file), header);

  // One window's data for the whole run, as a window shows one stored file after another
  // (its sample arrays are large; making them for every input would be most of the time).
  static TMeasureData measure(device);
  static DrawingPresenter presenter;
  presenter.data = &measure;
  presenter.choice.plotMode = (sel >> 4) % 6;
  presenter.choice.autoScale[0] = presenter.choice.autoScale[1] = sel & 0x40;
  presenter.choice.synchYAxes = !(sel & 0x80);
  measure.setPresenter(&presenter);
  TIntermediateShow show(measure, presenter);
  (void)show.showFile(family, file);
  fuzz::check(!show.busy(family), "show over");

  CsvStyle style;
  const fs::path csv = fuzz::folder() / "record.CSV";
  (void)convertIntermediateFile(family, file, csv, QStringLiteral("T1234"), style);
  return 0;
}

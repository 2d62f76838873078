// Writes the seed inputs of the file targets with the program's own writers, plus a damaged
// copy or two of each: make_seeds <fuzz/corpus>. Run by hand when a format changes; the seeds
// are kept in the tree.
#include <QGuiApplication>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "app/framefiles.h"
#include "common/texttable.h"
#include "fuzz_support.h"
#include "measure/datafiles.h"
#include "measure/settingsfiles.h"
#include "measure/snapshot.h"
#include "measure/textheader.h"
#include "multi/multifiles.h"

using namespace tolv;
namespace fs = std::filesystem;

namespace {

fs::path out;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void seed(const char* target, const char* name, std::uint8_t sel, const std::string& body) {
  fs::create_directories(out / target);
  std::string s(1, char(sel));
  s += body;
  fuzz::put(out / target / name, s);
}

std::string piece(const std::string& s) {
  std::string p;
  p += char(s.size() & 0xFF);
  p += char(s.size() >> 8);
  return p + s;
}

std::string cut(const std::string& s, std::size_t keep) {
  return s.substr(0, std::min(keep, s.size()));
}

DayTime when() {
  DayTime t;
  t.day = 739593;  // 8 Dec 2026
  t.seconds = 12 * 3600 + 34 * 60 + 56.789;
  return t;
}

SettingsRecord record(ModeCode mode) {
  SettingsRecord r = SettingsRecord::defaults(800, 600, 10, 20);
  r.mode = mode;
  r.trgTypString = "T";
  r.memoryDepth = 64;
  r.sampleTime = 1e-3;
  return r;
}

template <class T>
std::string raw(const T& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void frameFiles() {
  const fs::path f = fuzz::folder() / "g.TXT";
  writeGlobalSettingsFile(f, {1, false, QLatin1Char('.'), QLatin1Char(';')});
  const std::string g = slurp(f);
  seed("framefiles", "global", 0, g);
  seed("framefiles", "global_cut", 0, cut(g, 30));
  seed("framefiles", "global_bad_bool", 0, "Language\nEN\nHints\nmaybe\nD\n44\nC\n9\n");
  writePositionFile(f, {QStringLiteral("100"), QStringLiteral("200"), QStringLiteral("640"),
                        QString::fromUtf8("Fenster \xC3\xA4")});
  seed("framefiles", "positions", 1, slurp(f));
  seed("framefiles", "positions_lf_cp1252", 1, "1\n2\nGr\xF6\xDF" "e\n" + std::string(300, 'x'));
}

void settingsFiles() {
  SettingsRecord r = record(kModeOSA0);
  const std::string sks = sksText(WindowOptions::fromRecord(r));
  const std::string vxt = textHeaderText(r) + textHeaderDateTimeText(when());
  const std::string vxs = raw(r.toBytes());
  seed("settingsfiles", "sks", 0, sks);
  seed("settingsfiles", "sks_cut", 0, cut(sks, 120));
  seed("settingsfiles", "vxs", 1, vxs);
  std::string bad = vxs;
  bad[352] = 7;
  seed("settingsfiles", "vxs_bad_flag", 1, bad);
  seed("settingsfiles", "vxt", 2, vxt);
  seed("settingsfiles", "vxt_cut", 2, cut(vxt, vxt.size() / 2));
  seed("settingsfiles", "all_three", 3, piece(vxt) + piece(sks) + vxs);
  seed("settingsfiles", "image_only", 3 | 0x10 | 0x20, piece("") + piece("") + vxs);
  seed("settingsfiles", "header_cut", 3, piece(cut(vxt, 200)) + piece(sks) + vxs);
}

void multiFiles() {
  ScalingsData d;
  d.rows.resize(3);
  d.rows[0].factor = QStringLiteral("2.5");
  d.rows[1].unit = QStringLiteral("mA");
  d.colours.Set(1, 0xFF0000);
  d.colours.Set(2, 0x00FF00);
  d.checked = {true, false};
  const std::string s = scalingsText(d);
  seed("multifiles", "scalings", 3 << 1 | 2 << 4, s);
  seed("multifiles", "scalings_cut", 3 << 1 | 2 << 4, cut(s, s.size() / 2));
  seed("multifiles", "scalings_bad_colour", 1 << 1, "V\n1\n0\n0\n0\nred\n");

  const fs::path dir = fuzz::folder() / "dev";
  fs::create_directories(dir);
  std::vector<fs::path> files;
  for (int k = 0; k < 2; ++k) {
    DeviceFileHead h;
    h.serial = QStringLiteral("TX%1").arg(k);
    h.time = when();
    h.depth = 3 + k;
    h.colours = {0xFF0000, 0x0000FF};
    std::string f;
    appendDeviceFileHead(f, h, '\t', ',');
    for (int i = 0; i < h.depth; ++i)
      appendDeviceFileLine(f, i * 1e-3, std::sin(i), -0.5 * i, '\t', ',');
    files.push_back(dir / ("d" + std::to_string(k)));
    fuzz::put(files.back(), f);
  }
  std::string merged;
  mergeDeviceFiles(files, '\t', merged);
  seed("multifiles", "data_tab", 1, merged);
  seed("multifiles", "data_cut", 1, cut(merged, merged.size() - 20));
  mergeDeviceFiles({files[0]}, '\t', merged);
  for (char& c : merged)
    if (c == '\t') c = ';';
  seed("multifiles", "data_semicolon", 1 | 1 << 1, merged);
}

void records() {
  const std::string scopeBody = [] {
    std::string b;
    for (int i = 0; i <= 64; ++i) {
      const float v[2] = {float(std::sin(i / 5.0)), float(i % 7) - 3.0f};
      b.append(reinterpret_cast<const char*>(v), 8);
    }
    return b;
  }();
  const std::string time = textHeaderDateTimeText(when());
  // Voltmeter readings.
  std::string vm;
  for (int i = 0; i < 4; ++i)
    vm += raw(VoltmeterReading::measured(when(), 1.25 * i, -0.5 * i).toBytes());
  seed("records", "voltmeter", 0, piece(textHeaderText(record(kModeVMD0)) + time) + vm);
  seed("records", "voltmeter_torn", 0, piece(textHeaderText(record(kModeVMA0))) + cut(vm, 100));
  seed("records", "scope", 1, piece(textHeaderText(record(kModeOSA0)) + time) + scopeBody);
  seed("records", "scope_no_header", 1 | 8, piece("") + cut(scopeBody, 44));
  // Logic analyser: sample number and word per entry, the filler last.
  std::string la;
  for (int i = 0; i < 20; ++i) {
    const std::uint8_t e[8] = {std::uint8_t(i * 3), 0, 0, 0, std::uint8_t(i * 37), std::uint8_t(i), 0, 0};
    la.append(reinterpret_cast<const char*>(e), 8);
  }
  la += std::string("\xFF\xFF\xFF\xFF\0\0\0\0", 8);
  seed("records", "logic", 2, piece(textHeaderText(record(kModeLAIO)) + time) + la);
  // Logger streams: word pairs, then the end marker.
  std::string st;
  for (int i = 0; i < 40; ++i) {
    const std::uint16_t w[2] = {std::uint16_t(2048 + 30 * i), std::uint16_t(4000 - 50 * i)};
    st.append(reinterpret_cast<const char*>(w), 4);
  }
  st += std::string("\0\0\xFF\xFF\xFF\xFF\0\0\0\0\xFF\xFF\xFF\xFF\0\0", 16);
  seed("records", "analog_logger", 3, piece(textHeaderText(record(kModeDLA0)) + time) + st);
  seed("records", "io_logger", 4, piece(textHeaderText(record(kModeDLDI)) + time) + st);
  seed("records", "io_logger_cut", 4, piece(textHeaderText(record(kModeDLDI))) + cut(st, 37));
  // Binary data files.
  RecordInfo info{QStringLiteral("TX4711"), record(kModeOSA0), when()};
  std::vector<ScopeSample> samples(64);
  for (int i = 0; i < 64; ++i) samples[std::size_t(i)] = {float(i) / 10, float(-i) / 20};
  const fs::path vxd = fuzz::folder() / "v.VXD";
  writeScopeVxd(vxd, info, samples);
  const std::string sv = slurp(vxd);
  seed("records", "scope_vxd", 5, piece("") + sv);
  seed("records", "scope_vxd_cut", 5, piece("") + cut(sv, sv.size() - 3));
  TLogAnalList list;
  for (int i = 0; i < 30; ++i) list.add(i, std::uint16_t(i * 1111));
  info.settings = record(kModeLAIO);
  writeLogicVxd(vxd, info, list);
  const std::string lv = slurp(vxd);
  seed("records", "logic_vxd", 6, piece("") + lv);
  seed("records", "logic_vxd_odd", 6, piece("") + cut(lv, lv.size() - 1));
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 2) return 2;
  out = argv[1];
  fillBuiltInTexts();
  frameFiles();
  settingsFiles();
  multiFiles();
  records();
  return 0;
}

// Saved settings of a device window. The first byte picks the reader: the ".SKS" window
// options, the ".VXS" image, the ".VXT" header, or the loader over all three (then two pieces
// with length bytes give ".VXT" and ".SKS", the rest is the ".VXS"; the byte's high bits leave
// files out). Whatever reads writes back and reads to the same text or bytes.
#include <cstdint>

#include "fuzz_support.h"
#include "measure/settingsfiles.h"
#include "measure/textheader.h"

using namespace tolv;

namespace {

void options(const fs::path& file) {
  WindowOptions o = zeroWindowOptions();
  int n = -1;
  if (readSks(file, o, &n) != 0) return;
  fuzz::check(n >= 0 && n <= 17, "values read");
  const std::string text = sksText(o);
  WindowOptions again = zeroWindowOptions();
  fuzz::check(parseSks(fuzz::bytes(text), again, &n) == 0 && n == 17, "written options read");
  fuzz::check(sksText(again) == text, "window options survive a round trip");
}

void image(const fs::path& file) {
  SettingsRecord r{};
  if (readSettingsImage(file, r) != 0) return;
  const auto b = r.toBytes();
  SettingsRecord again{};
  fuzz::check(decodeSettingsImage(QByteArray(reinterpret_cast<const char*>(b.data()),
                                             qsizetype(b.size())),
                                  again) == 0,
              "written image read");
  fuzz::check(again.toBytes() == b, "settings image survives a round trip");
}

void header(const fs::path& file) {
  SettingsRecord r{};
  std::optional<DayTime> t;
  if (readTextHeader(file, r, &t) != 0) return;
  std::string text = textHeaderText(r);
  if (t) text += textHeaderDateTimeText(*t);
  SettingsRecord again{};
  std::optional<DayTime> t2;
  fuzz::check(parseTextHeader(fuzz::bytes(text), again, &t2) == 0, "written header read");
  fuzz::check(t2.has_value() == t.has_value() && (!t || *t2 == *t), "header time");
  std::string text2 = textHeaderText(again);
  if (t2) text2 += textHeaderDateTimeText(*t2);
  fuzz::check(text2 == text, "text header survives a round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in{data, size};
  const std::uint8_t sel = in.byte();
  const fs::path vxs = fuzz::folder() / "set.VXS";
  const fs::path vxt = vxtName(vxs), sks = sksName(vxs);
  switch (sel % 4) {
    case 0:
      fuzz::put(sks, in.rest());
      options(sks);
      break;
    case 1:
      fuzz::put(vxs, in.rest());
      image(vxs);
      break;
    case 2:
      fuzz::put(vxt, in.rest());
      header(vxs);
      break;
    default: {
      const auto h = in.piece();
      const auto o = in.piece();
      const auto i = in.rest();
      (sel & 0x10) ? fuzz::remove(vxt) : fuzz::put(vxt, h);
      (sel & 0x20) ? fuzz::remove(sks) : fuzz::put(sks, o);
      (sel & 0x40) ? fuzz::remove(vxs) : fuzz::put(vxs, i);
      TSettingsLoader loader;
      const int rc = loader.load(vxs);
      if (rc == 0 && loader.lastLoadUsedImage()) {
        SettingsRecord direct{};
        fuzz::check(readSettingsImage(vxs, direct) == 0 &&
                        direct.toBytes() == loader.pendingRecord().toBytes(),
                    "loader takes the image as it stands");
      }
      (void)loader.toApply();
      break;
    }
  }
  return 0;
}

// The multi-device window's files. The first byte picks the scalings file (even; bits 1-3 give
// the table's rows, bits 4-6 its check items) or the data file (odd; bits 1-2 the column
// separator); the rest is the file. A scalings file that reads writes back to the same text; a
// data file that reads is written again as device files, merged and read to the same values.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "multi/multifiles.h"

using namespace tolv;
namespace fs = std::filesystem;

namespace {

void scalings(const fs::path& file, std::uint8_t sel) {
  ScalingsData d;
  d.rows.resize((sel >> 1) % 8);
  d.checked.assign((sel >> 4) % 8, false);
  const ScalingsData start = d;
  if (readScalingsFile(file, d) != 0) {
    fuzz::check(d.rows.size() == start.rows.size() && d.colours.Count() == 0,
                "failed read leaves the table");
    return;
  }
  fuzz::check(d.rows.size() == start.rows.size() && d.checked.size() == start.checked.size() &&
                  d.checkRead.size() == d.checked.size(),
              "table shape kept");
  for (int c = 0; c < d.colours.Count(); ++c)
    fuzz::check(d.colours.Items()[std::size_t(c)] >= 0 &&
                    d.colours.Items()[std::size_t(c)] <= 0xFFFFFF,
                "colour in range");
  const std::string text = scalingsText(d);
  ScalingsData again = start;
  fuzz::check(readScalingsBytes(fuzz::bytes(text), again) == 0, "written scalings read");
  fuzz::check(scalingsText(again) == text, "scalings survive a round trip");
  fuzz::check(again.checked == d.checked, "check states survive a round trip");
}

bool near(double a, double b) {
  // The data lines carry six decimals.
  return std::fabs(a - b) <= 1e-6 + 1e-15 * std::fabs(a);
}

QString numberText(double v) {
  return QString::number(v, 'g', 17);
}

void dataFile(const fs::path& file, std::uint8_t sel) {
  // Blank and point as column separator clash with the padded numbers and the date and time
  // cells; files written with them do not read back at all.
  static const char kSeps[3] = {'\t', ';', ','};
  const char sep = kSeps[(sel >> 1) % 3];
  TREADing r;
  r.deviceCount = -7;
  if (readMultiDataFile(file, sep, r) != 0) {
    fuzz::check(r.deviceCount == -7, "failed read leaves the reading");
    return;
  }
  const int n = r.deviceCount;
  fuzz::check(n > 0 && r.names.size() == n && r.depths.Count() == n &&
                  r.colours.Count() == 2 * n && r.factorOffset.Count() == 2 * n &&
                  r.scaleRange.Count() == 2 * n && r.units.size() == 3 * n &&
                  r.points.Count() == n,
              "one entry per device and channel");
  for (int k = 0; k < n; ++k)
    fuzz::check(r.points.At(k).Count() == r.depths.Get(k), "points match the memory depth");

  // Written again the way the window writes a cycle: one device file each, then merged.
  const fs::path dir = fuzz::folder() / "devices";
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  std::vector<fs::path> files;
  const char dec = sep == ',' ? '.' : ',';
  for (int k = 0; k < n; ++k) {
    DeviceFileHead h;
    h.serial = r.names[k];
    h.time = r.time;
    h.depth = r.depths.Get(k);
    for (int ch = 0; ch < 2; ++ch) {
      const int i = 2 * k + ch;
      h.colours[std::size_t(ch)] = ColorRef(r.colours.Get(i));
      ScaleRowTexts& row = h.rows[std::size_t(ch)];
      row.unit = r.units[3 * k + 1 + ch];
      row.factor = numberText(r.factorOffset.Get(i).x);
      row.offset = numberText(r.factorOffset.Get(i).y);
      row.min = numberText(r.scaleRange.Get(i).x);
      row.max = numberText(r.scaleRange.Get(i).y);
    }
    std::string out;
    appendDeviceFileHead(out, h, sep, dec);
    for (const D3Point& p : r.points.At(k).Items()) appendDeviceFileLine(out, p.x, p.y, p.z, sep, dec);
    char name[32];
    std::snprintf(name, sizeof name, "dev_%04d.txt", k);
    files.push_back(dir / name);
    fuzz::put(files.back(), out);
  }
  const fs::path merged = fuzz::folder() / "merged.CSV";
  fuzz::check(writeMultiDataFile(merged, files, sep) == 0, "data file written");
  TREADing again;
  fuzz::check(readMultiDataFile(merged, sep, again) == 0, "written data file read");
  fuzz::check(again.deviceCount == n && again.names == r.names && again.time == r.time,
              "devices, names and time survive a round trip");
  for (int k = 0; k < n; ++k) {
    fuzz::check(again.depths.Get(k) == r.depths.Get(k), "depth survives");
    for (int ch = 0; ch < 2; ++ch) {
      const int i = 2 * k + ch;
      fuzz::check(again.colours.Get(i) == r.colours.Get(i), "colour survives");
      fuzz::check(again.factorOffset.Get(i).x == r.factorOffset.Get(i).x &&
                      again.factorOffset.Get(i).y == r.factorOffset.Get(i).y &&
                      again.scaleRange.Get(i).x == r.scaleRange.Get(i).x &&
                      again.scaleRange.Get(i).y == r.scaleRange.Get(i).y,
                  "scaling survives");
      // A unit that held a lone carriage return is written with a blank in its place, so no
      // reader sees a line end there.
      QString unit = r.units[3 * k + 1 + ch];
      unit.replace(QLatin1Char('\r'), QLatin1Char(' '));
      fuzz::check(again.units[3 * k + 1 + ch] == unit, "unit survives");
    }
    const auto& a = r.points.At(k).Items();
    const auto& b = again.points.At(k).Items();
    for (std::size_t j = 0; j < a.size(); ++j)
      fuzz::check(near(a[j].x, b[j].x) && near(a[j].y, b[j].y) && near(a[j].z, b[j].z),
                  "points survive");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t sel = data[0];
  const fs::path file = fuzz::folder() / (sel & 1 ? "multi.CSV" : "multi_Scalings.TXT");
  fuzz::put(file, data + 1, size - 1);
  if (sel & 1)
    dataFile(file, sel);
  else
    scalings(file, sel);
  return 0;
}

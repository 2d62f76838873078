#pragma once
// Stored files of every kind under a private data root, written by the program's own writers:
// what the headless tests convert and draw.
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/framefiles.h"
#include "common/paths.h"
#include "device/decoding.h"
#include "measure/chartcsv.h"
#include "measure/datafiles.h"
#include "measure/files_fixture.h"
#include "measure/intermediate.h"
#include "measure/intermediaterecords.h"
#include "measure/recordfiles.h"
#include "measure/textheader.h"
#include "plot/loganal_list.h"

namespace tolv::testfiles {

inline constexpr const char* kSerial = "TX123456";

class HeadlessFiles : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    setDataRoot(dir_);
    device_ = dir_ / kSerial;
    time_ = stamp(2026, 3, 14, 9, 26, 53.589);
    // English labels, "." and ";" saved in the frame's global settings.
    GlobalSettings g;
    g.language = 1;
    g.decimal = QLatin1Char('.');
    g.column = QLatin1Char(';');
    fs::create_directories(multiFolder());
    ASSERT_EQ(writeGlobalSettingsFile(multiFolder() / kGlobalSettingsFileName, g), 0);
  }

  // A scope record: a 1 kHz sine of 0.8 V on channel 0, a 25 % square of +-0.5 V on 1.
  SettingsRecord scopeSettings(int n = 1000, const std::string& trg = "t") const {
    SettingsRecord s;
    s.mode = kModeOSA0;
    s.amplC0 = s.amplC1 = 2.0;
    s.sampleTime = 1e-5;
    s.memoryDepth = n;
    s.triggerPoint = 10;
    s.trgTypString = trg;
    s.trgLevelUpper = 0.25;
    s.trgLevelLower = 0.125;
    return s;
  }
  static std::vector<ScopeSample> scopeSamples(int n) {
    std::vector<ScopeSample> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      v[std::size_t(i)].ch0 = float(0.8 * std::sin(2 * M_PI * i / 100.0));
      v[std::size_t(i)].ch1 = (i % 100) < 25 ? 0.5f : -0.5f;
    }
    return v;
  }
  RecordInfo scopeInfo(int n = 1000, const std::string& trg = "t") const {
    return {QString::fromLatin1(kSerial), scopeSettings(n, trg), time_};
  }

  fs::path familyFile(IntermediateFamily f, int k = 1) const {
    fs::create_directories(familyFolder(device_, f));
    return intermediateFileName(device_, f, k);
  }
  void header(const fs::path& file, const SettingsRecord& s, bool withTime = true) const {
    ASSERT_EQ(writeTextHeader(file, s), 0);
    if (withTime) {
      ASSERT_EQ(appendTextHeaderDateTime(file, time_), 0);
    }
  }

  // Scope intermediate file: N samples and the entry after them.
  fs::path scopeFil(int n = 1000, int k = 1) {
    const fs::path f = familyFile(IntermediateFamily::OSA0, k);
    std::vector<ScopeSample> e = scopeSamples(n);
    e.push_back({});
    EXPECT_EQ(writeScopeIntermediate(f, e), 0);
    header(f, scopeSettings(n));
    return f;
  }

  SettingsRecord logicSettings(int n = 200) const {
    SettingsRecord s;
    s.mode = kModeLAIO;
    s.sampleTime = 1e-6;
    s.memoryDepth = n;
    s.triggerPoint = 25;
    s.trgTypString = "P";
    s.relevances = 0x81;
    s.dynamics = 0x01;
    s.levels = 0x80;
    return s;
  }
  static TLogAnalList logicList(int n) {
    TLogAnalList l;
    for (int i = 0; i < n; ++i) l.add(i, std::uint16_t((i / 4) ^ (i << 3)));
    return l;
  }
  fs::path logicFil(int n = 200) {
    const fs::path f = familyFile(IntermediateFamily::LAIO);
    TLogAnalList l = logicList(n);
    EXPECT_EQ(writeLogicIntermediate(f, l), 0);
    header(f, logicSettings(n));
    return f;
  }

  fs::path voltmeterFil(int readings = 20) {
    const fs::path f = familyFile(IntermediateFamily::VMXY);
    std::string bytes;
    for (int i = 0; i < readings; ++i) {
      const auto r = VoltmeterReading::measured(dtAddSeconds(time_, i * 0.5), 1.0 + 0.1 * i, -2.0);
      const auto b = r.toBytes();
      bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    spit(f, bytes);
    SettingsRecord s;
    s.mode = kModeVMD0;
    s.amplC0 = s.amplC1 = 5.0;
    header(f, s);
    return f;
  }

  // Logger streams: word pairs, then the end marker.
  fs::path loggerFil(IntermediateFamily fam, int pairs = 300) {
    const fs::path f = familyFile(fam);
    std::string bytes;
    for (int i = 0; i < pairs; ++i) {
      const std::uint16_t a = std::uint16_t(fam == IntermediateFamily::DLDI ? i : 20000 + 50 * (i % 100));
      const std::uint16_t b = std::uint16_t(fam == IntermediateFamily::DLDI ? (i * 7) & 0xFFFF : 40000 - 30 * (i % 200));
      for (std::uint16_t w : {a, b}) {
        bytes += char(w & 0xFF);
        bytes += char(w >> 8);
      }
    }
    bytes.append(reinterpret_cast<const char*>(kLoggerEndMarkerBytes), 16);
    spit(f, bytes);
    SettingsRecord s;
    s.mode = fam == IntermediateFamily::DLDI ? kModeDLDI : kModeDLA0;
    s.amplC0 = s.amplC1 = 10.0;
    s.sampleTime = 0.01;
    s.trgTypString = "M";
    header(f, s);
    return f;
  }

  // The tables the device window writes with automatic CSV saving: an analog-logger run (the
  // fixture's stream, ";" and ",") and a voltmeter chart of `readings` half a second apart.
  fs::path analogLoggerCsv() {
    const fs::path csv = dir_ / "092653_589_DLA0.CSV";
    EXPECT_EQ(convertIntermediateFile(IntermediateFamily::DLA0, loggerFil(IntermediateFamily::DLA0),
                                      csv, QString::fromLatin1(kSerial), CsvStyle{',', ';'}),
              0);
    return csv;
  }
  fs::path chartCsv(int readings = 20) {
    TChartData_CSV_Saver saver([this] { return time_; });
    saver.setDevice(QString::fromLatin1(kSerial));
    const fs::path csv = dir_ / "092653_589_VMD0.CSV";
    EXPECT_EQ(saver.open(csv, 0), 0);
    for (int i = 0; i < readings; ++i)
      EXPECT_EQ(saver.writeReading(VoltmeterReading::measured(dtAddSeconds(time_, i * 0.5),
                                                              1.0 + 0.1 * i, -2.0)),
                0);
    EXPECT_EQ(saver.close(), 0);
    return csv;
  }

  static constexpr std::uint8_t kLoggerEndMarkerBytes[16] = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,
                                                            0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
                                                            0xFF, 0xFF, 0x00, 0x00};

  fs::path device_;
  DayTime time_;
};

}  // namespace tolv::testfiles

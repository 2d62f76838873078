// Options of --acquire and the checks of the settings they ask for: what a script gets told
// (exit 2 with the nearest allowed values) before anything is sent to a device.
#include <gtest/gtest.h>

#include "app/cmdline.h"
#include "app/headless.h"
#include "app/headless_acquire.h"
#include "device/settingstables.h"

using namespace tolv;

namespace {

int parse(QStringList args, AcquireRequest& q, QString& error) {
  args.prepend(QStringLiteral("--acquire"));
  return parseAcquireArguments(args, q, error);
}

QString refusal(const QStringList& args) {
  AcquireRequest q;
  QString error;
  EXPECT_EQ(parse(args, q, error), kExitBadUsage) << args.join(' ').toStdString();
  return error;
}

// The settings check with `args` on the first-start settings; the error or "" when accepted.
QString settingsRefusal(const QStringList& args, SettingsRecord* out = nullptr) {
  AcquireRequest q;
  QString error;
  EXPECT_EQ(parse(args, q, error), kExitOk) << error.toStdString();
  SettingsRecord r = SettingsRecord::defaults();
  const int rc = applyAcquireSettings(q, r, error);
  if (out) *out = r;
  return rc == kExitOk ? QString() : error;
}

}  // namespace

TEST(AcquireOptions, DispatchAndWholeRequest) {
  EXPECT_TRUE(wantsAcquire({"--acquire", "--simulate", "1"}));
  EXPECT_TRUE(wantsHeadless({"--simulate", "1", "--acquire"}));
  // Help and version are answered first, as for the other commands.
  EXPECT_FALSE(wantsAcquire({"--acquire", "--help"}));
  EXPECT_FALSE(wantsAcquire({"--simulate", "2"}));

  AcquireRequest q;
  QString error;
  ASSERT_EQ(parse({"--simulate", "4", "--device", "TVS00002", "--device=TVS00003", "--device",
                   "TVS00002", "--mode", "osa0", "--samples", "131000", "--sample-time", "100us",
                   "--range", "5,2", "--offset", "0.5", "--probe", "10,1", "--trigger",
                   "W,2,0.5,-0.25", "--trigger-point", "25", "--records", "3", "--out", "/tmp/x",
                   "--format", "vxd", "--quiet", "--separator", "tab", "--decimal", "."},
                  q, error),
            kExitOk)
      << error.toStdString();
  EXPECT_EQ(q.simulate, 4);
  EXPECT_EQ(q.devices, QStringList({"TVS00002", "TVS00003"}));  // a repeat counts once
  EXPECT_EQ(q.mode, kModeOSA0);
  EXPECT_EQ(q.samples, 131000.0);
  EXPECT_DOUBLE_EQ(*q.sampleTime, 1e-4);
  EXPECT_EQ(*q.range, (std::array<double, 2>{5, 2}));
  EXPECT_EQ(*q.offset, (std::array<double, 2>{0.5, 0.5}));  // one value for both channels
  EXPECT_EQ(*q.probe, (std::array<double, 2>{10, 1}));
  ASSERT_TRUE(q.trigger);
  EXPECT_EQ(q.trigger->type, 'W');
  EXPECT_EQ(q.trigger->channel, 2);
  EXPECT_EQ(q.trigger->level, 0.5);
  EXPECT_EQ(q.trigger->lower, -0.25);
  EXPECT_EQ(q.records, 3);
  EXPECT_EQ(q.out, "/tmp/x");
  EXPECT_EQ(q.format, "vxd");
  EXPECT_TRUE(q.quiet);
  EXPECT_EQ(q.column, '\t');
  EXPECT_EQ(q.decimal, '.');
}

TEST(AcquireOptions, WrongUsageIsNamed) {
  EXPECT_TRUE(refusal({"--mode", "OSA1"}).contains("VMD0, VMD1, VMA0, VMA1, OSA0, DLA0, LAIO, DLDI"));
  EXPECT_TRUE(refusal({"--records", "0"}).contains("--records needs a number of 1 or more"));
  EXPECT_TRUE(refusal({"--records", "3", "--duration", "10s"}).contains("one of --records"));
  EXPECT_TRUE(refusal({"--duration", "soon"}).contains("10s, 5min or 2h"));
  EXPECT_TRUE(refusal({"--mode", "DLA0", "--records", "2"}).contains("logger run has no records"));
  EXPECT_TRUE(refusal({"--merged", "--mode", "LAIO"}).contains("--mode must be OSA0"));
  EXPECT_TRUE(refusal({"--format", "vcd", "--mode", "OSA0"}).contains("takes logic lines"));
  EXPECT_TRUE(refusal({"--format", "sr", "--mode", "VMD0"}).contains("regular sample rate"));
  EXPECT_TRUE(refusal({"--format", "vcd", "--mode", "DLA0"}).contains("not DLA0; use plain or sr"));
  EXPECT_TRUE(refusal({"--format", "vcd", "--mode", "VMA1"}).contains("takes logic lines"));
  // Every mode has an open format: the loggers all three, the voltmeter the plain CSV.
  for (const QStringList& fine : {QStringList{"--format", "vcd", "--mode", "DLDI"},
                                  QStringList{"--format", "sr", "--mode", "DLDI"},
                                  QStringList{"--format", "sr", "--mode", "DLA0"},
                                  QStringList{"--format", "plain", "--mode", "DLA0"},
                                  QStringList{"--format", "plain", "--mode", "VMD1"}}) {
    AcquireRequest q;
    QString error;
    EXPECT_EQ(parse(fine, q, error), kExitOk) << qPrintable(fine.join(' ') + ": " + error);
  }
  EXPECT_TRUE(refusal({"--format", "xls"}).contains("csv, vxd, fil, plain, vcd or sr"));
  EXPECT_TRUE(refusal({"--settings", "a.txt"}).contains(".VXS"));
  EXPECT_TRUE(refusal({"--simulate", "1", "--driver", "d2xx"}).contains("cannot be used together"));
  EXPECT_TRUE(refusal({"--range", "5,2,1"}).contains("--range needs a number or two"));
  EXPECT_TRUE(refusal({"--trigger", "TT"}).contains("TYPE[,CHANNEL,LEVEL[,LOWER]]"));
  EXPECT_TRUE(refusal({"--size", "10x10"}).contains("--size cannot be used with --acquire"));
  EXPECT_TRUE(refusal({"stray"}).contains("unexpected argument"));
  EXPECT_TRUE(refusal({"--device"}).contains("--device needs a serial number"));
  EXPECT_TRUE(refusal({"--decimal", ",", "--separator", ","}).contains("also the decimal"));
  AcquireRequest q;
  QString error;
  EXPECT_EQ(parseAcquireArguments({"--simulate", "1"}, q, error), kExitBadUsage);
  EXPECT_TRUE(error.contains("--acquire is missing"));
}

// The simulated devices' control lines work with --acquire as with the window; --merged to
// standard output is refused, and the help says so.
TEST(AcquireOptions, SimControlAndMergedToStandardOutput) {
  AcquireRequest q;
  QString error;
  ASSERT_EQ(parse({"--simulate", "2", "--merged", "--sim-control", "/tmp/ctl"}, q, error), kExitOk)
      << error.toStdString();
  EXPECT_EQ(q.simControl, std::filesystem::path("/tmp/ctl"));
  EXPECT_TRUE(refusal({"--sim-control", "/tmp/ctl"}).contains("needs simulated devices"));
  EXPECT_TRUE(refusal({"--simulate", "0", "--sim-control=/tmp/ctl"}).contains("--simulate N"));
  EXPECT_TRUE(refusal({"--simulate", "1", "--sim-control"}).contains("a file or named pipe"));
  EXPECT_TRUE(refusal({"--merged", "--out", "-"}).contains("give --out a folder"));
  const QString help = commandLineHelpText();
  EXPECT_TRUE(help.contains("not with --merged")) << help.toStdString();
  EXPECT_TRUE(help.contains("counted from\n                            the first run command"));
}

TEST(AcquireOptions, DurationsAndSampleTimes) {
  std::int64_t ms = 0;
  ASSERT_TRUE(parseDuration("10s", ms));
  EXPECT_EQ(ms, 10000);
  ASSERT_TRUE(parseDuration("5min", ms));
  EXPECT_EQ(ms, 300000);
  ASSERT_TRUE(parseDuration("2h", ms));
  EXPECT_EQ(ms, 7200000);
  ASSERT_TRUE(parseDuration("250ms", ms));
  EXPECT_EQ(ms, 250);
  ASSERT_TRUE(parseDuration("1.5", ms));  // plain seconds
  EXPECT_EQ(ms, 1500);
  ASSERT_TRUE(parseDuration("0.1s", ms));  // not exact in binary: 100, not 99
  EXPECT_EQ(ms, 100);
  for (const char* bad : {"0s", "-1s", "s", "10 days", "", "nan"})
    EXPECT_FALSE(parseDuration(bad, ms)) << bad;

  double s = 0;
  ASSERT_TRUE(parseSampleTime("100us", s));
  EXPECT_DOUBLE_EQ(s, 1e-4);
  ASSERT_TRUE(parseSampleTime("0.1ms", s));
  EXPECT_DOUBLE_EQ(s, 1e-4);
  ASSERT_TRUE(parseSampleTime("2.5s", s));
  EXPECT_DOUBLE_EQ(s, 2.5);
  ASSERT_TRUE(parseSampleTime("1e-6", s));
  EXPECT_DOUBLE_EQ(s, 1e-6);
  EXPECT_FALSE(parseSampleTime("fast", s));
  EXPECT_FALSE(parseSampleTime("0us", s));
}

TEST(AcquireSettings, ValuesOutsideTheTablesNameTheNearestOnes) {
  // A memory depth between two rows names both; the scope stops at 131000.
  EXPECT_EQ(settingsRefusal({"--samples", "75000"}),
            "--samples 75000 is no memory depth of OSA0; nearest: 50000 or 100000");
  EXPECT_EQ(settingsRefusal({"--samples", "131001"}),
            "--samples 131001 is no memory depth of OSA0; nearest: 131000");
  EXPECT_TRUE(settingsRefusal({"--samples", "200000"}).contains("nearest: 131000"));
  EXPECT_EQ(settingsRefusal({"--mode", "LAIO", "--samples", "200000"}), QString());
  EXPECT_TRUE(settingsRefusal({"--samples", "99"}).contains("nearest: 100"));
  EXPECT_TRUE(settingsRefusal({"--mode", "VMD0", "--samples", "1000"}).contains("OSA0 and LAIO"));
  EXPECT_EQ(settingsRefusal({"--sample-time", "3us"}),
            "--sample-time 3e-06 s is no sample time of the device; nearest: 2us or 5us");
  EXPECT_TRUE(settingsRefusal({"--range", "3"}).contains("nearest: 2 V or 5 V"));
  EXPECT_TRUE(settingsRefusal({"--range", "5,30"}).contains("channel 2; nearest: 20 V"));
  EXPECT_TRUE(settingsRefusal({"--probe", "0"}).contains("except 0"));
  EXPECT_TRUE(settingsRefusal({"--probe", "101"}).contains("-100 to 100"));
  EXPECT_TRUE(settingsRefusal({"--probe", "1.5"}).contains("whole numbers"));
  EXPECT_TRUE(settingsRefusal({"--trigger", "P"}).contains("no trigger type of OSA0"));
  EXPECT_EQ(settingsRefusal({"--mode", "LAIO", "--trigger", "P"}), QString());
  EXPECT_TRUE(settingsRefusal({"--mode", "LAIO", "--trigger", "T"}).contains("X x M P"));
  EXPECT_TRUE(settingsRefusal({"--mode", "VMA0", "--trigger", "T"}).contains("does not apply"));
  EXPECT_TRUE(settingsRefusal({"--trigger", "T,3"}).contains("1 or 2"));
  EXPECT_TRUE(settingsRefusal({"--trigger-point", "100.5"}).contains("0 to 100"));
  // Loggers take sample times from 100 us.
  EXPECT_TRUE(settingsRefusal({"--mode", "DLA0", "--sample-time", "50us"}).contains("100us"));
  EXPECT_EQ(settingsRefusal({"--mode", "DLA0", "--sample-time", "100us"}), QString());
}

TEST(AcquireSettings, OffsetsAndLevelsReachHalfTheRangeExactly) {
  // The first-start range is 5 V: offsets and levels go to +-2.5 V, not a step beyond.
  EXPECT_EQ(settingsRefusal({"--offset", "2.5,-2.5"}), QString());
  EXPECT_TRUE(settingsRefusal({"--offset", "2.5001"}).contains("-2.5 to 2.5 V"));
  // The range given with it counts, not the one before.
  EXPECT_EQ(settingsRefusal({"--range", "20", "--offset", "10"}), QString());
  EXPECT_TRUE(settingsRefusal({"--range", "0.2", "--offset", "0.2"}).contains("-0.1 to 0.1 V"));
  // The trigger channel's range bounds its levels.
  EXPECT_EQ(settingsRefusal({"--range", "0.2,20", "--trigger", "W,2,9.5,-9.5"}), QString());
  EXPECT_TRUE(settingsRefusal({"--range", "0.2,20", "--trigger", "W,1,9.5"}).contains("channel 1"));
  EXPECT_TRUE(settingsRefusal({"--trigger", "W,1,-1,1"}).contains("lower level lies above"));
}

TEST(AcquireSettings, AcceptedValuesReachTheRecord) {
  SettingsRecord r;
  ASSERT_EQ(settingsRefusal({"--mode", "OSA0", "--samples", "131000", "--sample-time", "0.1ms",
                             "--range", "2,10", "--offset", "-0.5,1", "--probe", "-10,100",
                             "--trigger", "e,2,1.25", "--trigger-point", "12.5"},
                            &r),
            QString());
  EXPECT_EQ(r.mode, kModeOSA0);
  EXPECT_EQ(r.memoryDepth, 131000);
  EXPECT_DOUBLE_EQ(r.sampleTime, 1e-4);
  EXPECT_EQ(r.amplC0, 2);
  EXPECT_EQ(r.amplC1, 10);
  EXPECT_EQ(r.offsC0, -0.5);
  EXPECT_EQ(r.offsC1, 1);
  EXPECT_EQ(r.probeFactorC0, -10);
  EXPECT_EQ(r.probeFactorC1, 100);
  EXPECT_EQ(r.trgTypString, "e");
  EXPECT_EQ(r.trgChan, 1);
  EXPECT_EQ(r.trgLevelUpper, 1.25);
  EXPECT_EQ(r.trgLevelLower, -0.1);  // untouched without LOWER
  EXPECT_EQ(r.triggerPoint, 12.5);
  // Untouched values keep the loaded settings.
  SettingsRecord d = SettingsRecord::defaults();
  ASSERT_EQ(settingsRefusal({}, &r), QString());
  EXPECT_EQ(r, d);
  // --merged measures scope records whatever the loaded mode was.
  AcquireRequest q;
  QString error;
  ASSERT_EQ(parse({"--merged"}, q, error), kExitOk);
  d.mode = kModeDLDI;
  ASSERT_EQ(applyAcquireSettings(q, d, error), kExitOk);
  EXPECT_EQ(d.mode, kModeOSA0);
}

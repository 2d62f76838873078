#include "measure/snapshot.h"

#include <charconv>

#include "device/acquisition.h"

namespace tolv {

WindowOptions WindowOptions::fromRecord(const SettingsRecord& r) {
  WindowOptions o;
  o.singleShot = r.singleShot;
  o.overlapping = r.overlapping;
  o.scopePlotMode = r.scopePlotMode;
  o.autoScaleC0 = r.autoScaleC0;
  o.autoScaleC1 = r.autoScaleC1;
  o.autoSaveMode = r.autoSaveMode;
  o.width = r.width;
  o.height = r.height;
  o.left = r.left;
  o.top = r.top;
  o.probeFactorC0 = r.probeFactorC0;
  o.probeFactorC1 = r.probeFactorC1;
  o.probeHelpFactorFlag = r.probeHelpFactorFlag;
  o.synchYAxes = r.synchYAxes;
  o.clockInterval0 = r.clockInterval0;
  o.clockInterval1 = r.clockInterval1;
  o.makeIntermediateFiles = r.makeIntermediateFiles;
  return o;
}

void WindowOptions::applyTo(SettingsRecord& r) const {
  r.singleShot = singleShot;
  r.overlapping = overlapping;
  r.scopePlotMode = scopePlotMode;
  r.autoScaleC0 = autoScaleC0;
  r.autoScaleC1 = autoScaleC1;
  r.autoSaveMode = autoSaveMode;
  r.width = width;
  r.height = height;
  r.left = left;
  r.top = top;
  r.probeFactorC0 = probeFactorC0;
  r.probeFactorC1 = probeFactorC1;
  r.probeHelpFactorFlag = probeHelpFactorFlag;
  r.synchYAxes = synchYAxes;
  r.clockInterval0 = clockInterval0;
  r.clockInterval1 = clockInterval1;
  r.makeIntermediateFiles = makeIntermediateFiles;
}

double settingValue(float f) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, f);
  if (res.ec != std::errc()) return double(f);
  double d = double(f);
  std::from_chars(buf, res.ptr, d);
  return d;
}

SettingsRecord takeSnapshot(ModeCode mode, const SettingsWriteBlock& desired,
                            const ConversionInputs& conv, const WindowOptions& opts) {
  SettingsRecord r;
  r.mode = mode;
  r.amplC0 = conv.ampl[0];
  r.amplC1 = conv.ampl[1];
  r.offsC0 = conv.offs[0];
  r.offsC1 = conv.offs[1];
  r.sampleTime = settingValue(desired.sampleTime);
  r.memoryDepth = settingValue(desired.memoryDepth);
  r.triggerPoint = settingValue(desired.triggerPoint);
  r.trgChan = desired.trigger.channel;
  r.relevances = desired.trigger.relevance;
  r.dynamics = desired.trigger.dynamic;
  r.levels = desired.trigger.level;
  const char letter = char(desired.triggerType & 0xFF);
  if (letter != 0) r.trgTypString.assign(1, letter);
  r.trgLevelUpper = settingValue(desired.levelUpper);
  r.trgLevelLower = settingValue(desired.levelLower);
  r.gpioData = std::int32_t(desired.gpioData);
  r.gpioDirection = std::int32_t(desired.gpioDirection);
  opts.applyTo(r);
  r.probeFactorC0 = conv.probe[0];
  r.probeFactorC1 = conv.probe[1];
  r.probeHelpFactorFlag = conv.aux != 1.0;
  return r;
}

SettingsRecord takeSnapshot(TAcquisition& acq, const WindowOptions& opts) {
  SettingsRecord r = takeSnapshot(acq.mode(), acq.desired(), acq.conversion(), opts);
  // The cycle holds the live run options; the window's copies may lag behind a click.
  r.singleShot = acq.singleShot();
  r.overlapping = acq.overlap();
  return r;
}

}  // namespace tolv

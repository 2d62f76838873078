#include "ftdi/simulated_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

namespace tolv {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Signal sizes as parts of a channel's peak-to-peak range.
constexpr double kSineShare = 0.35;
constexpr double kSquareShare = 0.30;
// Voltmeter readings take this long to measure.
constexpr std::int64_t kVoltmeterUs = 20000;
// More logger samples than this in one poll are lost, as in a device whose buffer overflowed.
constexpr std::int64_t kMaxLoggerSamplesPerPump = 1 << 20;
// Keeps logic-analyser sample numbers positive while preserving lines 0-8 (a multiple of 256).
constexpr std::int64_t kLogicBase = 262144;

double finiteOr(float v, double fallback) {
  return std::isfinite(v) ? double(v) : fallback;
}

bool knownTriggerType(std::uint32_t t) {
  static constexpr char kTypes[] = "TtWwEeDdXxMP";
  return t != 0 && t < 128 && std::strchr(kTypes, int(t)) != nullptr;
}

std::uint32_t hashOf(const std::string& s) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}
}  // namespace

TSimulatedDevice::TSimulatedDevice(std::string serial, std::string description, IClock& clock,
                                   bool firmware)
    : serial_(std::move(serial)),
      description_(std::move(description)),
      clock_(clock),
      firmware_(firmware) {
  settings_.amplC0 = 10.0f;
  settings_.amplC1 = 10.0f;
  settings_.sampleTime = 1e-5f;
  settings_.memoryDepth = 1000.0f;
  settings_.triggerPoint = 50.0f;
  settings_.triggerType = 'T';
  settings_.levelUpper = 0.5f;
  settings_.levelLower = -0.5f;
  // Each device has its own small zero-point errors, a few millivolts.
  const std::uint32_t h = hashOf(serial_);
  settings_.zeroCorrC0 = float(int(h % 41) - 20) * 0.0005f;
  settings_.zeroCorrC1 = float(int((h / 41) % 41) - 20) * 0.0005f;
  noise_ ^= h;
}

float TSimulatedDevice::snapAmplitude(float requested) {
  if (!std::isfinite(requested)) return 10.0f;
  for (float a : kAmplitudeTable) {
    if (a >= requested * (1.0f - 1e-4f)) return a;
  }
  return kAmplitudeTable[6];
}

std::uint16_t TSimulatedDevice::rawFromVolts(double volts, double ampl, double offs) {
  if (!(ampl > 0) || !std::isfinite(volts) || !std::isfinite(offs)) return 32768;
  const double r = std::round(32768.0 + (volts - offs) / (ampl / 2.0) * 32768.0);
  return std::uint16_t(std::clamp(r, 0.0, 65535.0));
}

std::uint32_t TSimulatedDevice::readGpio() const {
  // Output lines read back their level; input lines are pulled low.
  return settings_.gpioData & settings_.gpioDirection & 0xFFFFFFu;
}

// --- host side ------------------------------------------------------------------------------

void TSimulatedDevice::receive(const std::uint8_t* data, std::size_t n) {
  if (data == nullptr || n == 0) return;
  trace("in", data, n);
  if (!firmware_) return;
  pump();
  input_.insert(input_.end(), data, data + n);
  std::size_t pos = 0;
  while (input_.size() - pos >= 4) {
    const std::uint8_t* p = input_.data() + pos;
    const std::size_t left = input_.size() - pos;
    // The identification request is recognised by all eight bytes: wait for them.
    if (getU32(p) == kWordIdnFirst && left < 8) break;
    const WireCommand c = classifyCommand(p, left);
    if (c == WireCommand::Unknown) {
      ++pos;  // resynchronise on the next byte
      continue;
    }
    const std::size_t len = commandLength(c);
    if (left < len) break;
    ++commandCount_;
    execute(c, p, len);
    pos += len;
  }
  input_.erase(input_.begin(), input_.begin() + std::ptrdiff_t(pos));
}

std::size_t TSimulatedDevice::available() {
  pump();
  return ready_.size() - readyHead_;
}

std::size_t TSimulatedDevice::take(std::uint8_t* buf, std::size_t n) {
  pump();
  const std::size_t k = std::min(n, ready_.size() - readyHead_);
  if (k > 0) std::memcpy(buf, ready_.data() + readyHead_, k);
  readyHead_ += k;
  if (readyHead_ == ready_.size()) {
    ready_.clear();
    readyHead_ = 0;
  } else if (readyHead_ > (1u << 16) && readyHead_ > ready_.size() / 2) {
    ready_.erase(ready_.begin(), ready_.begin() + std::ptrdiff_t(readyHead_));
    readyHead_ = 0;
  }
  return k;
}

void TSimulatedDevice::purgeReceived() {
  pump();
  ready_.clear();
  readyHead_ = 0;
}

void TSimulatedDevice::injectGarbage(std::size_t n) {
  pump();
  for (std::size_t i = 0; i < n; ++i) {
    noise_ = noise_ * 1664525u + 1013904223u;
    ready_.push_back(std::uint8_t(noise_ >> 24));
  }
}

// --- commands -------------------------------------------------------------------------------

void TSimulatedDevice::execute(WireCommand c, const std::uint8_t* cmd, std::size_t len) {
  const std::int64_t now = clock_.nowUs();
  switch (c) {
    case WireCommand::Identification: {
      const auto text = encodeIdentificationReply(identification_);
      queueReply({text.begin(), text.end()}, now + latencyUs_);
      break;
    }
    case WireCommand::SettingsRead: {
      settings_.gpioData = readGpio();
      const auto bytes = settings_.toBytes();
      queueReply({bytes.begin(), bytes.end()}, now + latencyUs_);
      break;
    }
    case WireCommand::SettingsWrite: {
      SettingsWriteBlock block;
      if (!SettingsWriteBlock::decodeCommand(cmd, len, block)) break;
      applyWrite(block);
      const auto bytes = settings_.toBytes();
      queueReply({bytes.begin(), bytes.end()}, now + latencyUs_);
      break;
    }
    case WireCommand::SetMode: {
      ModeCode m = 0;
      if (!decodeSetMode(cmd, len, m)) break;
      if (modeIndex(m) >= 0 && m != mode_) {
        stopRun();
        mode_ = m;
      }
      std::vector<std::uint8_t> bytes(4);
      encodeModeCode(mode_, bytes.data());
      queueReply(std::move(bytes), now + latencyUs_);
      break;
    }
    case WireCommand::Run:
      startRun();
      break;
    case WireCommand::IoWord: {
      std::uint32_t data = 0;
      std::uint32_t mask = 0;
      if (!decodeIoWord(cmd, len, data, mask)) break;
      // This firmware takes the second word as the direction word.
      settings_.gpioDirection = mask & 0xFFFFFFu;
      settings_.gpioData = data & 0xFFFFFFu;
      IoReply reply{readGpio(), settings_.gpioDirection};
      std::vector<std::uint8_t> bytes(IoReply::kSize);
      reply.encode(bytes.data());
      queueReply(std::move(bytes), now + latencyUs_);
      break;
    }
    case WireCommand::Stop:
      if (runKind_ == RunKind::Record) {
        // The firmware finishes the record it is measuring and sends it; the program
        // discards a record that completes after its STOP and returns to Idle.
        runKind_ = RunKind::None;
        break;
      }
      stopRun();
      break;
    case WireCommand::Unknown:
      break;
  }
}

void TSimulatedDevice::applyWrite(const SettingsWriteBlock& b) {
  SettingsReply& s = settings_;
  s.amplC0 = snapAmplitude(b.amplC0);
  s.amplC1 = snapAmplitude(b.amplC1);
  s.offsC0 = float(std::clamp(finiteOr(b.offsC0, 0.0), -20.0, 20.0));
  s.offsC1 = float(std::clamp(finiteOr(b.offsC1, 0.0), -20.0, 20.0));
  const double st = finiteOr(b.sampleTime, s.sampleTime);
  s.sampleTime = float(std::clamp(st > 0 ? st : double(s.sampleTime), 1e-6, 2.5));
  const double md = std::round(finiteOr(b.memoryDepth, s.memoryDepth));
  s.memoryDepth = float(std::clamp(md, 1.0, double(kMaxMemoryDepth)));
  s.triggerPoint = float(std::clamp(finiteOr(b.triggerPoint, 50.0), 0.0, 100.0));
  s.trigger = b.trigger;
  s.trigger.channel = b.trigger.channel > 0 ? 1 : 0;
  if (knownTriggerType(b.triggerType & 0xFFu)) s.triggerType = b.triggerType & 0xFFu;
  s.levelUpper = float(std::clamp(finiteOr(b.levelUpper, 0.0), -20.0, 20.0));
  s.levelLower = float(std::clamp(finiteOr(b.levelLower, 0.0), -20.0, 20.0));
  s.gpioDirection = b.gpioDirection & 0xFFFFFFu;
  s.gpioData = b.gpioData & 0xFFFFFFu;
  s.gpioData = readGpio();
}

std::int64_t TSimulatedDevice::transferUs(std::size_t n) const {
  if (rate_.intervalUs == 0 || rate_.bytes == 0) return 0;
  return std::int64_t((std::uint64_t(n) * rate_.intervalUs + rate_.bytes - 1) / rate_.bytes);
}

std::size_t TSimulatedDevice::arrivedOf(const Segment& s, std::int64_t nowUs) const {
  if (nowUs < s.startUs) return 0;
  if (rate_.intervalUs == 0 || rate_.bytes == 0) return s.data.size();
  const std::uint64_t n = std::uint64_t(nowUs - s.startUs) * rate_.bytes / rate_.intervalUs;
  return std::size_t(std::min<std::uint64_t>(n, s.data.size()));
}

void TSimulatedDevice::queueReply(std::vector<std::uint8_t> bytes, std::int64_t startUs,
                                  bool record) {
  if (silent_ || bytes.empty()) return;
  trace("out", bytes.data(), bytes.size());
  Segment s;
  // Bytes leave the device one after the other: a reply waits for the previous one.
  s.startUs = std::max(startUs, lastSegmentEndUs_);
  lastSegmentEndUs_ = s.startUs + transferUs(bytes.size());
  s.data = std::move(bytes);
  s.record = record;
  segments_.push_back(std::move(s));
}

void TSimulatedDevice::startRun() {
  const std::int64_t now = clock_.nowUs();
  if (runKind_ == RunKind::Logger) return;  // a logger runs until stopped
  ++runCounter_;
  runStartUs_ = now;
  if (isLoggerMode(mode_)) {
    runKind_ = RunKind::Logger;
    loggerSample_ = 0;
    const std::int64_t pace = std::max<std::int64_t>(
        {std::llround(double(settings_.sampleTime) * 1e6), transferUs(4), 1});
    nextSampleUs_ = now + pace;
    return;
  }
  std::vector<std::uint8_t> data;
  std::int64_t measureUs = kVoltmeterUs;
  if (isVoltmeterMode(mode_)) {
    data = voltmeterRecord();
  } else {
    const double depth = std::round(double(settings_.memoryDepth));
    measureUs = std::llround(depth * double(settings_.sampleTime) * 1e6);
    data = mode_ == kModeLAIO ? logicRecord() : scopeRecord();
  }
  for (std::size_t i = 0; i < extraAfterRecord_; ++i) {
    noise_ = noise_ * 1664525u + 1013904223u;
    data.push_back(std::uint8_t(noise_ >> 24));
  }
  runKind_ = RunKind::Record;
  queueReply(std::move(data), now + measureUs, true);
}

void TSimulatedDevice::stopRun() {
  const std::int64_t now = clock_.nowUs();
  if (runKind_ == RunKind::Logger) {
    pump();  // samples measured so far still go out, then the end marker
    runKind_ = RunKind::None;
    queueReply({kEndMarker.begin(), kEndMarker.end()}, now + latencyUs_);
    return;
  }
  // A record still being measured is abandoned; one already on its way completes.
  std::erase_if(segments_, [now](const Segment& s) { return s.record && s.startUs > now; });
  lastSegmentEndUs_ = now;
  for (const Segment& s : segments_) {
    lastSegmentEndUs_ = std::max(lastSegmentEndUs_, s.startUs + transferUs(s.data.size()));
  }
  runKind_ = RunKind::None;
}

void TSimulatedDevice::pump() {
  const std::int64_t now = clock_.nowUs();
  if (runKind_ == RunKind::Logger) {
    const std::int64_t pace = std::max<std::int64_t>(
        {std::llround(double(settings_.sampleTime) * 1e6), transferUs(4), 1});
    const std::size_t before = ready_.size();
    std::int64_t produced = 0;
    while (nextSampleUs_ <= now && produced < kMaxLoggerSamplesPerPump) {
      std::uint8_t s[4];
      if (mode_ == kModeDLA0) {
        const double t = double(loggerSample_) * double(settings_.sampleTime);
        encodeAnalogLoggerSample(
            rawFromVolts(channelVolts(0, t), settings_.amplC0, settings_.offsC0),
            rawFromVolts(channelVolts(1, t), settings_.amplC1, settings_.offsC1), s);
      } else {
        encodeIoLoggerSample(logicLines(loggerSample_ / 4 + kLogicBase), s);
      }
      if (!silent_) ready_.insert(ready_.end(), s, s + 4);
      ++loggerSample_;
      ++produced;
      nextSampleUs_ += pace;
    }
    if (nextSampleUs_ <= now) nextSampleUs_ = now + pace;  // overflow: the rest is lost
    if (ready_.size() > before) trace("out", ready_.data() + before, ready_.size() - before);
  }
  while (!segments_.empty()) {
    Segment& s = segments_.front();
    const std::size_t arrived = arrivedOf(s, now);
    if (arrived > s.moved) {
      ready_.insert(ready_.end(), s.data.begin() + std::ptrdiff_t(s.moved),
                    s.data.begin() + std::ptrdiff_t(arrived));
      s.moved = arrived;
    }
    if (s.moved < s.data.size()) break;
    segments_.pop_front();
  }
  if (runKind_ == RunKind::Record &&
      std::none_of(segments_.begin(), segments_.end(), [](const Segment& s) { return s.record; })) {
    runKind_ = RunKind::None;
  }
}

// --- signals --------------------------------------------------------------------------------

double TSimulatedDevice::signalFrequency() const {
  // Four periods of the sine per record, whatever the timebase.
  const double depth = std::max(1.0, std::round(double(settings_.memoryDepth)));
  const double dt = std::max(1e-6, double(settings_.sampleTime));
  if (isLoggerMode(mode_)) return 1.0 / (500.0 * dt);
  return 4.0 / (depth * dt);
}

double TSimulatedDevice::channelVolts(int ch, double t) const {
  const double f = signalFrequency();
  if (ch == 0) {
    return settings_.offsC0 + kSineShare * settings_.amplC0 * std::sin(kTwoPi * f * t);
  }
  // Channel 1: square wave at half the sine's frequency.
  const double s = std::sin(kTwoPi * 0.5 * f * t);
  return settings_.offsC1 + kSquareShare * settings_.amplC1 * (s >= 0 ? 1.0 : -1.0);
}

std::vector<std::uint8_t> TSimulatedDevice::scopeRecord() {
  const std::size_t depth = std::size_t(
      std::clamp(std::round(double(settings_.memoryDepth)), 1.0, double(kMaxMemoryDepth)));
  const double dt = double(settings_.sampleTime);
  const double f = signalFrequency();
  const double npre = std::round(double(depth) * double(settings_.triggerPoint) / 100.0);
  const char type = char(settings_.triggerType & 0xFF);
  const int ch = settings_.trigger.channel;
  const double offs = ch == 0 ? settings_.offsC0 : settings_.offsC1;
  // Level and direction of the crossing each trigger type waits for.
  double level = settings_.levelUpper;
  bool rising = true;
  switch (type) {
    case 't':
      level = settings_.levelLower;
      rising = false;
      break;
    case 'W':
    case 'e':
      rising = false;
      break;
    case 'D':
    case 'd':
      level = offs;
      rising = type == 'D';
      break;
    default:
      break;
  }
  // Time of the trigger event; NaN while the signal never meets the condition (free run).
  double t0 = std::nan("");
  if (type == 'X') {
    t0 = 0;
  } else if (type == 'x') {
    t0 = 0.5 / f;
  } else if (type == 'M') {
    t0 = double(runStartUs_) * 1e-6;
  } else if (type != 'P') {
    if (ch == 0) {
      const double x = (level - offs) / (kSineShare * settings_.amplC0);
      if (std::abs(x) <= 1.0) {
        const double th = rising ? std::asin(x) : std::numbers::pi - std::asin(x);
        t0 = th / (kTwoPi * f);
      }
    } else {
      const double a = kSquareShare * settings_.amplC1;
      if (level > offs - a && level < offs + a) t0 = rising ? 0.0 : 1.0 / f;
    }
  }
  if (std::isnan(t0)) t0 = double(runCounter_) * 0.137 / f;
  std::vector<std::uint8_t> out(depth * kScopeSampleBytes);
  for (std::size_t k = 0; k < depth; ++k) {
    const double t = t0 + (double(k) - npre) * dt;
    encodeScopeSample(rawFromVolts(channelVolts(0, t), settings_.amplC0, settings_.offsC0),
                      rawFromVolts(channelVolts(1, t), settings_.amplC1, settings_.offsC1),
                      out.data() + k * kScopeSampleBytes);
  }
  return out;
}

std::uint16_t TSimulatedDevice::logicLines(std::int64_t g) const {
  // Lines 0-7 count, lines 8-11 toggle slower, lines 12-15 show the GPIO outputs.
  std::uint32_t v = std::uint32_t(g) & 0xFFu;
  v |= std::uint32_t((g / 32) & 1) << 8;
  v |= std::uint32_t((g / 100) & 1) << 9;
  v |= std::uint32_t((g / 250) & 1) << 10;
  v |= std::uint32_t((g / 1000) & 1) << 11;
  v |= readGpio() & 0xF000u;
  return std::uint16_t(v);
}

std::vector<std::uint8_t> TSimulatedDevice::logicRecord() {
  const std::size_t depth = std::size_t(
      std::clamp(std::round(double(settings_.memoryDepth)), 1.0, double(kMaxMemoryDepth)));
  const std::int64_t npre = std::llround(double(depth) * double(settings_.triggerPoint) / 100.0);
  const char type = char(settings_.triggerType & 0xFF);
  std::int64_t first = std::int64_t(runCounter_) * 7919 + kLogicBase;  // free run
  if (type == 'X' || type == 'x') first = kLogicBase - npre;
  if (type == 'P') {
    const TriggerWord& tw = settings_.trigger;
    for (std::int64_t k = 1; k <= 1024; ++k) {
      bool match = true;
      for (int n = 0; n < 8 && match; ++n) {
        if (!((tw.relevance >> n) & 1)) continue;
        const int cur = int((k >> n) & 1);
        const int prev = int(((k - 1) >> n) & 1);
        const int want = (tw.level >> n) & 1;
        const bool edge = (tw.dynamic >> n) & 1;
        match = cur == want && (!edge || prev != cur);
      }
      if (match) {
        first = kLogicBase + k - npre;
        break;
      }
    }
  }
  std::vector<std::uint8_t> out(depth * 2);
  for (std::size_t i = 0; i < depth; i += 2) {
    const std::uint16_t a = logicLines(first + std::int64_t(i));
    if (i + 1 < depth) {
      encodeLogicGroup(a, logicLines(first + std::int64_t(i) + 1), out.data() + i * 2);
    } else {
      putU16(out.data() + i * 2, a);
    }
  }
  return out;
}

std::vector<std::uint8_t> TSimulatedDevice::voltmeterRecord() {
  const double t = double(clock_.nowUs()) * 1e-6;
  const double drift = 0.002 * std::sin(0.7 * t);
  double v0 = 0;
  double v1 = 0;
  if (mode_ == kModeVMD0 || mode_ == kModeVMD1) {
    v0 = settings_.offsC0 + 0.3 * settings_.amplC0 + drift;
    v1 = settings_.offsC1 - 0.2 * settings_.amplC1 + drift;
  } else {
    v0 = kSineShare * settings_.amplC0 / std::numbers::sqrt2 + drift;
    v1 = kSquareShare * settings_.amplC1 + drift;
  }
  std::vector<std::uint8_t> out(kVoltmeterReplyLen);
  if (isVoltmeterFloatMode(mode_)) {
    encodeVoltmeterFloat(float(v0), float(v1), out.data());
  } else {
    encodeVoltmeterRaw(rawFromVolts(v0, settings_.amplC0, settings_.offsC0),
                       rawFromVolts(v1, settings_.amplC1, settings_.offsC1), out.data());
  }
  return out;
}

// --- trace ----------------------------------------------------------------------------------

void TSimulatedDevice::trace(const char* direction, const std::uint8_t* data, std::size_t n) {
  if (traceDir_.empty()) return;
  std::ofstream f(traceDir_ / (serial_ + ".trace"), std::ios::app);
  if (!f) return;
  static const char kHex[] = "0123456789ABCDEF";
  std::string line = std::to_string(clock_.nowMs()) + ' ' + direction + ' ' + std::to_string(n);
  line.reserve(line.size() + n * 3 + 1);
  for (std::size_t i = 0; i < n; ++i) {
    line += ' ';
    line += kHex[data[i] >> 4];
    line += kHex[data[i] & 15];
  }
  line += '\n';
  f << line;
}

}  // namespace tolv

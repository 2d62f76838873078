#include "ftdi/simulated_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

namespace tolv {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// More logger samples than this in one poll are lost, as in a device whose buffer overflowed.
constexpr std::int64_t kMaxLoggerSamplesPerPump = 1 << 20;
// The slope types read the upper level as volts per millisecond.
constexpr double kSlopeLevelPerS = 1000.0;

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

// Spreads a serial number's hash over all bits, so each derived parameter varies per device.
std::uint32_t mixed(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) {
  return -floorDiv(-a, b);
}

double seconds(std::int64_t ns) {
  return double(ns) * 1e-9;
}
}  // namespace

TSimulatedDevice::TSimulatedDevice(std::string serial, std::string description, IClock& clock,
                                   bool firmware)
    : serial_(std::move(serial)),
      description_(std::move(description)),
      clock_(clock),
      firmware_(firmware),
      inputs_{defaultInput(serial_, 0), defaultInput(serial_, 1)},
      external_(defaultExternalInput(serial_)) {
  powerOnSettings();
  noise_ ^= hashOf(serial_);
}

void TSimulatedDevice::powerOnSettings() {
  settings_ = SettingsReply();
  mode_ = kModeOSA0;
  settings_.amplC0 = 10.0f;
  settings_.amplC1 = 10.0f;
  settings_.sampleTime = 1e-5f;
  settings_.memoryDepth = 1000.0f;
  settings_.triggerPoint = 50.0f;
  settings_.triggerType = 'T';
  settings_.levelUpper = 0.5f;
  settings_.levelLower = -0.5f;
  // Each device reports its own small zero-point errors, a few millivolts; it corrects them
  // itself, so they do not show in the converter values.
  const std::uint32_t h = hashOf(serial_);
  settings_.zeroCorrC0 = float(int(h % 41) - 20) * 0.0005f;
  settings_.zeroCorrC1 = float(int((h / 41) % 41) - 20) * 0.0005f;
}

std::size_t TSimulatedDevice::powerOff() {
  pump();
  const std::int64_t nowMs = floorDiv(clock_.nowUs(), 1000);
  // The segment under way was sent as far as it had come; the rest never leaves the device.
  if (!segments_.empty()) {
    const Segment& s = segments_.front();
    if (s.moved > 0) trace(nowMs, "out", s.data.data(), s.moved);
  }
  // The unplug line carries the bytes that had come but were never read: they die with the
  // driver's buffer.
  const std::size_t unread = ready_.size() - readyHead_;
  trace(nowMs, "unplug", ready_.data() + readyHead_, unread);
  dropLine();
  return unread;
}

void TSimulatedDevice::dropLine() {
  segments_.clear();
  input_.clear();
  ready_.clear();
  readyHead_ = 0;
  runKind_ = RunKind::None;
  lastSegmentEndUs_ = 0;
}

void TSimulatedDevice::powerOn() {
  dropLine();
  powerOnSettings();
  const std::uint8_t none = 0;
  trace(floorDiv(clock_.nowUs(), 1000), "plug", &none, 0);
}

TSimulatedSignal TSimulatedDevice::defaultInput(const std::string& serial, int channel) {
  // Frequencies a few percent apart and distinct phases, so two devices never draw the same.
  const std::uint32_t h = mixed(hashOf(serial));
  const double phase = double((h >> 8) % 360) * kTwoPi / 360.0;
  if (channel == 0) return TSimulatedSignal::sine(2.5, 1000.0 * (1.0 + 0.01 * (h % 16)), 1.0, phase);
  return TSimulatedSignal::square(-2.0, 1.0, 250.0 * (1.0 + 0.01 * ((h >> 4) % 16)), phase);
}

TSimulatedSignal TSimulatedDevice::defaultExternalInput(const std::string& serial) {
  const std::uint32_t h = mixed(hashOf(serial));
  return TSimulatedSignal::square(0.0, 5.0, 500.0 * (1.0 + 0.01 * ((h >> 20) % 16)));
}

void TSimulatedDevice::setInput(int channel, const TSimulatedSignal& signal) {
  inputs_[channel == 0 ? 0 : 1] = signal;
}

float TSimulatedDevice::snapAmplitude(float requested) {
  if (!std::isfinite(requested)) return 10.0f;
  for (float a : kAmplitudeTable) {
    if (a >= requested * (1.0f - 1e-4f)) return a;
  }
  return kAmplitudeTable[6];
}

std::uint16_t TSimulatedDevice::rawFromVolts(double volts, double ampl, double offs) {
  if (!(ampl > 0) || !std::isfinite(offs)) return 32768;
  if (std::isnan(volts)) return 32768;
  const double r = std::round(((volts - offs) / (ampl / 2.0) + 1.0) * 32768.0);
  return std::uint16_t(std::clamp(r, 0.0, 65535.0));
}

std::uint16_t TSimulatedDevice::rawAt(int ch, double t) const {
  return ch == 0 ? rawFromVolts(inputs_[0].at(t), settings_.amplC0, settings_.offsC0)
                 : rawFromVolts(inputs_[1].at(t), settings_.amplC1, settings_.offsC1);
}

std::uint32_t TSimulatedDevice::readGpio() const {
  // Output lines read back their level; input lines are pulled low.
  return settings_.gpioData & settings_.gpioDirection & 0xFFFFFFu;
}

std::uint16_t TSimulatedDevice::logicLinesAt(std::int64_t tNs) const {
  // Lines 0-7 count, lines 8-11 toggle slower, lines 12-15 show the GPIO outputs.
  const std::int64_t c = floorDiv(tNs, kLogicCounterNs);
  auto bit = [c](std::int64_t div) { return std::uint32_t(floorDiv(c, div) & 1); };
  std::uint32_t v = std::uint32_t(c & 0xFF);
  v |= bit(32) << 8;
  v |= bit(100) << 9;
  v |= bit(250) << 10;
  v |= bit(1000) << 11;
  v |= readGpio() & 0xF000u;
  return std::uint16_t(v);
}

double TSimulatedDevice::minLoggerSampleTime() const {
  if (rate_.intervalUs == 0 || rate_.bytes == 0) return 1e-6;
  const double link = std::max(1e-6, 4.0 * rate_.intervalUs * 1e-6 / rate_.bytes);
  // A step of its own clock, never a time between the steps the program offers.
  for (double us : kLoggerStepsUs)
    if (us * 1e-6 >= link * (1 - 1e-9)) return us * 1e-6;
  return link;
}

double TSimulatedDevice::effectiveSampleTime() const {
  const double st = settings_.sampleTime;
  // A logger streams every sample over the link: it cannot sample faster than the link carries.
  if (isLoggerMode(mode_)) return std::max(st, minLoggerSampleTime());
  return st;
}

SettingsReply TSimulatedDevice::settings() const {
  SettingsReply r = settings_;
  r.sampleTime = float(effectiveSampleTime());
  r.gpioData = readGpio();
  return r;
}

// --- host side ------------------------------------------------------------------------------

void TSimulatedDevice::receive(const std::uint8_t* data, std::size_t n) {
  if (data == nullptr || n == 0) return;
  pump();  // replies that became readable before this command are traced first
  trace(clock_.nowMs(), "in", data, n);
  if (!firmware_) return;
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
      // Padded to the 32 bytes the program takes; a longer text goes out whole.
      std::vector<std::uint8_t> text(identification_.begin(), identification_.end());
      if (text.size() < 32) text.resize(32, ' ');
      queueReply(std::move(text), now + latencyUs_);
      break;
    }
    case WireCommand::SettingsRead: {
      const auto bytes = settings().toBytes();
      queueReply({bytes.begin(), bytes.end()}, now + latencyUs_);
      break;
    }
    case WireCommand::SettingsWrite: {
      SettingsWriteBlock block;
      if (!SettingsWriteBlock::decodeCommand(cmd, len, block)) break;
      applyWrite(block);
      const auto bytes = settings().toBytes();
      queueReply({bytes.begin(), bytes.end()}, now + latencyUs_);
      break;
    }
    case WireCommand::SetMode: {
      ModeCode m = 0;
      if (!decodeSetMode(cmd, len, m)) break;
      if (modeIndex(m) >= 0 && m != mode_) {
        abandonRun();
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

// --- runs -----------------------------------------------------------------------------------

void TSimulatedDevice::startRun() {
  const std::int64_t now = clock_.nowUs();
  if (runKind_ == RunKind::Logger) return;  // a logger runs until stopped
  if (isLoggerMode(mode_)) {
    runKind_ = RunKind::Logger;
    loggerStartNs_ = now * 1000;
    loggerPaceNs_ = std::max<std::int64_t>(1, std::llround(effectiveSampleTime() * 1e9));
    loggerSample_ = 0;
    return;
  }
  if (isVoltmeterMode(mode_)) {
    std::vector<std::uint8_t> data = voltmeterRecord();
    for (std::size_t i = 0; i < extraAfterRecord_; ++i) {
      noise_ = noise_ * 1664525u + 1013904223u;
      data.push_back(std::uint8_t(noise_ >> 24));
    }
    runKind_ = RunKind::Record;
    queueReply(std::move(data), now + kVoltmeterUs, true);
    return;
  }
  Armed a;
  a.startNs = now * 1000;
  a.dtNs = std::max<std::int64_t>(1, std::llround(double(settings_.sampleTime) * 1e9));
  a.depth = std::int64_t(
      std::clamp(std::round(double(settings_.memoryDepth)), 1.0, double(kMaxMemoryDepth)));
  a.npre = std::llround(double(a.depth) * double(settings_.triggerPoint) / 100.0);
  // The memory must hold the pre-trigger part before a trigger counts; sample 0 has no
  // predecessor to compare with.
  a.nextK = std::max<std::int64_t>(a.npre, 1);
  a.type = char(settings_.triggerType & 0xFF);
  a.channel = settings_.trigger.channel;
  a.upper = settings_.levelUpper;
  a.lower = settings_.levelLower;
  a.word = settings_.trigger;
  armed_ = a;
  runKind_ = RunKind::Armed;
  if (a.type == 'M') {
    sendRecord(0, ceilDiv(sampleNs(a.depth), 1000));
    return;
  }
  searchTrigger(now * 1000);
}

void TSimulatedDevice::stopRun() {
  const std::int64_t now = clock_.nowUs();
  pump();
  if (runKind_ == RunKind::Logger) {
    // Samples measured so far have gone out; the end marker follows.
    runKind_ = RunKind::None;
    queueReply({kEndMarker.begin(), kEndMarker.end()}, now + latencyUs_);
    return;
  }
  if (runKind_ == RunKind::Armed) {
    // Still waiting for the trigger: the device sends what its memory holds now, the last
    // memory-depth samples, as a real device does on a stop.
    const std::int64_t last = floorDiv(now * 1000 - armed_.startNs, armed_.dtNs);
    sendRecord(last - armed_.depth + 1, now + latencyUs_);
  }
  // A triggered record (or a voltmeter reading) is finished and sent; the program discards a
  // record that completes after its STOP and returns to Idle.
  runKind_ = RunKind::None;
}

void TSimulatedDevice::abandonRun() {
  const std::int64_t now = clock_.nowUs();
  if (runKind_ == RunKind::Logger) {
    stopRun();
    return;
  }
  // A record still being measured is dropped; one already on its way completes.
  pump();
  std::erase_if(segments_, [now](const Segment& s) { return s.record && s.startUs > now; });
  lastSegmentEndUs_ = now;
  for (const Segment& s : segments_) {
    lastSegmentEndUs_ = std::max(lastSegmentEndUs_, s.startUs + transferUs(s.data.size()));
  }
  runKind_ = RunKind::None;
}

void TSimulatedDevice::sendRecord(std::int64_t firstK, std::int64_t readyUs) {
  std::vector<std::uint8_t> data = record(firstK);
  for (std::size_t i = 0; i < extraAfterRecord_; ++i) {
    noise_ = noise_ * 1664525u + 1013904223u;
    data.push_back(std::uint8_t(noise_ >> 24));
  }
  runKind_ = RunKind::Record;
  queueReply(std::move(data), readyUs, true);
}

void TSimulatedDevice::searchTrigger(std::int64_t nowNs) {
  Armed& a = armed_;
  // Samples taken by now; the trigger is looked for in them in order.
  const std::int64_t last = floorDiv(nowNs - a.startNs, a.dtNs);
  const bool external = a.type == 'X' || a.type == 'x';
  const bool pattern = a.type == 'P';
  const bool still = pattern ? false : external ? external_.constant()
                                                : inputs_[std::size_t(a.channel)].constant();
  if (still) {
    // Nothing can cross a constant level: no sample needs looking at.
    a.nextK = std::max(a.nextK, last + 1);
    return;
  }
  for (; a.nextK <= last; ++a.nextK) {
    if (triggerAt(a.nextK)) {
      const std::int64_t first = a.nextK - a.npre;
      sendRecord(first, ceilDiv(sampleNs(first + a.depth), 1000));
      return;
    }
  }
}

bool TSimulatedDevice::triggerAt(std::int64_t k) {
  Armed& a = armed_;
  const double tPrev = seconds(sampleNs(k - 1));
  const double tCur = seconds(sampleNs(k));
  switch (a.type) {
    case 'X':
    case 'x': {
      const bool prev = external_.at(tPrev) > kExternalHighV;
      const bool cur = external_.at(tCur) > kExternalHighV;
      return a.type == 'X' ? (!prev && cur) : (prev && !cur);
    }
    case 'P': {
      // Lines 0-7: every relevant line at its level, and those marked dynamic just changed.
      const std::uint16_t prev = logicLinesAt(sampleNs(k - 1));
      const std::uint16_t cur = logicLinesAt(sampleNs(k));
      for (int n = 0; n < 8; ++n) {
        if (!((a.word.relevance >> n) & 1)) continue;
        const int c = (cur >> n) & 1;
        if (c != ((a.word.level >> n) & 1)) return false;
        if (((a.word.dynamic >> n) & 1) && c == ((prev >> n) & 1)) return false;
      }
      return true;
    }
    default:
      break;
  }
  // The analog comparator sees the input itself, before the converter's clipping.
  const TSimulatedSignal& in = inputs_[std::size_t(a.channel)];
  const double prev = in.at(tPrev);
  const double cur = in.at(tCur);
  const double lo = std::min(a.lower, a.upper);
  const double hi = std::max(a.lower, a.upper);
  auto inside = [lo, hi](double v) { return v >= lo && v <= hi; };
  switch (a.type) {
    case 'T':  // the upper level crossed upwards
      return prev < a.upper && cur >= a.upper;
    case 't':  // the lower level crossed downwards
      return prev > a.lower && cur <= a.lower;
    case 'W':  // entering the window between both levels
      return !inside(prev) && inside(cur);
    case 'w':  // leaving it
      return inside(prev) && !inside(cur);
    case 'E':  // rising from below the lower to the upper level: the gap is the hysteresis
      if (cur < lo) a.armed = true;
      return a.armed && cur >= hi;
    case 'e':
      if (cur > hi) a.armed = true;
      return a.armed && cur <= lo;
    case 'D':
    case 'd': {
      const double slope = (cur - prev) / (tCur - tPrev);
      const double limit = std::abs(a.upper) * kSlopeLevelPerS;
      if (a.type == 'D') {
        if (slope < limit) a.armed = true;
        return a.armed && slope >= limit;
      }
      if (slope > -limit) a.armed = true;
      return a.armed && slope <= -limit;
    }
    default:
      return true;  // free run
  }
}

std::vector<std::uint8_t> TSimulatedDevice::record(std::int64_t firstK) const {
  const std::size_t depth = std::size_t(armed_.depth);
  if (mode_ == kModeLAIO) {
    std::vector<std::uint8_t> out(depth * 2);
    for (std::size_t i = 0; i < depth; i += 2) {
      const std::uint16_t a = logicLinesAt(sampleNs(firstK + std::int64_t(i)));
      if (i + 1 < depth) {
        encodeLogicGroup(a, logicLinesAt(sampleNs(firstK + std::int64_t(i) + 1)),
                         out.data() + i * 2);
      } else {
        putU16(out.data() + i * 2, a);
      }
    }
    return out;
  }
  std::vector<std::uint8_t> out(depth * kScopeSampleBytes);
  for (std::size_t i = 0; i < depth; ++i) {
    const double t = seconds(sampleNs(firstK + std::int64_t(i)));
    encodeScopeSample(rawAt(0, t), rawAt(1, t), out.data() + i * kScopeSampleBytes);
  }
  return out;
}

std::vector<std::uint8_t> TSimulatedDevice::voltmeterRecord() const {
  // The reading covers the measuring time from now on, through the converter: a too-small
  // range clips the reading as it clips a record.
  const double t0 = double(clock_.nowUs()) * 1e-6;
  constexpr std::int64_t n = kVoltmeterUs / kVoltmeterStepUs;
  const bool rms = mode_ == kModeVMA0 || mode_ == kModeVMA1;
  std::array<double, 2> ampl{settings_.amplC0, settings_.amplC1};
  std::array<double, 2> offs{settings_.offsC0, settings_.offsC1};
  std::array<double, 2> value{};
  for (int ch = 0; ch < 2; ++ch) {
    double sum = 0;
    for (std::int64_t k = 0; k < n; ++k) {
      const double t = t0 + double(k * kVoltmeterStepUs) * 1e-6;
      const double v = (double(rawAt(ch, t)) / 32768.0 - 1.0) * ampl[ch] / 2.0 + offs[ch];
      sum += rms ? v * v : v;
    }
    value[ch] = rms ? std::sqrt(sum / double(n)) : sum / double(n);
  }
  std::vector<std::uint8_t> out(kVoltmeterReplyLen);
  if (isVoltmeterFloatMode(mode_)) {
    encodeVoltmeterFloat(float(value[0]), float(value[1]), out.data());
  } else {
    encodeVoltmeterRaw(rawFromVolts(value[0], ampl[0], offs[0]),
                       rawFromVolts(value[1], ampl[1], offs[1]), out.data());
  }
  return out;
}

// --- link -----------------------------------------------------------------------------------

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
  Segment s;
  // Bytes leave the device one after the other: a reply waits for the previous one.
  s.startUs = std::max(startUs, lastSegmentEndUs_);
  lastSegmentEndUs_ = s.startUs + transferUs(bytes.size());
  s.data = std::move(bytes);
  s.record = record;
  segments_.push_back(std::move(s));
}

void TSimulatedDevice::pumpLogger(std::int64_t nowNs) {
  const std::size_t before = ready_.size();
  std::int64_t produced = 0;
  std::int64_t lastNs = 0;
  // Sample k is measured and ready one sample time after the previous one.
  while (loggerStartNs_ + (loggerSample_ + 1) * loggerPaceNs_ <= nowNs &&
         produced < kMaxLoggerSamplesPerPump) {
    lastNs = loggerStartNs_ + (loggerSample_ + 1) * loggerPaceNs_;
    std::uint8_t s[4];
    if (mode_ == kModeDLA0) {
      const double t = seconds(lastNs);
      encodeAnalogLoggerSample(rawAt(0, t), rawAt(1, t), s);
    } else {
      encodeIoLoggerSample(logicLinesAt(lastNs), s);
    }
    if (!silent_) ready_.insert(ready_.end(), s, s + 4);
    ++loggerSample_;
    ++produced;
  }
  if (produced == kMaxLoggerSamplesPerPump) {
    // Overflow: the samples the host did not fetch in time are lost.
    loggerSample_ = std::max(loggerSample_, (nowNs - loggerStartNs_) / loggerPaceNs_);
  }
  if (ready_.size() > before) {
    trace(floorDiv(lastNs, 1000000), "out", ready_.data() + before, ready_.size() - before);
  }
}

void TSimulatedDevice::pump() {
  const std::int64_t now = clock_.nowUs();
  if (runKind_ == RunKind::Logger) pumpLogger(now * 1000);
  if (runKind_ == RunKind::Armed) searchTrigger(now * 1000);
  while (!segments_.empty()) {
    Segment& s = segments_.front();
    const std::size_t arrived = arrivedOf(s, now);
    if (arrived > s.moved) {
      ready_.insert(ready_.end(), s.data.begin() + std::ptrdiff_t(s.moved),
                    s.data.begin() + std::ptrdiff_t(arrived));
      s.moved = arrived;
    }
    if (s.moved < s.data.size()) break;
    // Stamped when the last byte became readable, not when the command came.
    trace(floorDiv(s.startUs + transferUs(s.data.size()), 1000), "out", s.data.data(),
          s.data.size());
    segments_.pop_front();
  }
  if (runKind_ == RunKind::Record &&
      std::none_of(segments_.begin(), segments_.end(), [](const Segment& s) { return s.record; })) {
    runKind_ = RunKind::None;
  }
}

// --- trace ----------------------------------------------------------------------------------

void TSimulatedDevice::trace(std::int64_t atMs, const char* direction, const std::uint8_t* data,
                             std::size_t n) {
  if (traceDir_.empty()) return;
  std::ofstream f(traceDir_ / (serial_ + ".trace"), std::ios::app);
  if (!f) return;
  static const char kHex[] = "0123456789ABCDEF";
  std::string line = std::to_string(atMs) + ' ' + direction + ' ' + std::to_string(n);
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

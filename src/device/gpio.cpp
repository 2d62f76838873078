#include "device/gpio.h"

#include <algorithm>

namespace tolv {

namespace {

std::uint8_t& rowByte(TriggerWord& w, PatternRow row) {
  switch (row) {
    case PatternRow::Relevance:
      return w.relevance;
    case PatternRow::Dynamic:
      return w.dynamic;
    case PatternRow::Level:
      break;
  }
  return w.level;
}

QString hex2(unsigned v) {
  return QStringLiteral("%1").arg(v & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

BitLook gpioDataLook(bool high) {
  return high ? BitLook{QStringLiteral("H"), kColourHigh}
              : BitLook{QStringLiteral("L"), kColourLow};
}

BitLook gpioDirectionLook(bool output) {
  return output ? BitLook{QStringLiteral("O"), kColourOutput}
                : BitLook{QStringLiteral("I"), kColourInput};
}

// The dynamic hint speaks of "#" for an edge and "=" for a state; the level row uses arrows for
// edges and half blocks for states, so all four combinations read apart at a glance.
QString edgeSymbol() {
  return QStringLiteral("#");
}
QString stateSymbol() {
  return QStringLiteral("=");
}
QString levelSymbol(bool high, bool edge) {
  if (edge) return high ? QString(QChar(0x2191)) : QString(QChar(0x2193));  // ↑ ↓
  return high ? QString(QChar(0x2580)) : QString(QChar(0x2584));            // ▀ ▄
}

PatternLook patternLook(const TriggerWord& w) {
  PatternLook p;
  for (int n = 0; n < kPatternBits; ++n) {
    const std::size_t i = std::size_t(n);
    const bool relevant = (w.relevance >> n) & 1;
    const bool edge = (w.dynamic >> n) & 1;
    const bool high = (w.level >> n) & 1;
    p.relevance[i] = relevant ? kColourRelevant : kColourIrrelevant;
    p.detailVisible[i] = relevant;
    p.dynamic[i] = edge ? BitLook{edgeSymbol(), kColourEdge} : BitLook{stateSymbol(), kColourState};
    p.level[i] = BitLook{levelSymbol(high, edge), high ? kColourHigh : kColourLow};
  }
  p.relevanceHex = hex2(w.relevance);
  p.dynamicHex = hex2(w.relevance & w.dynamic);
  p.levelHex = hex2(w.relevance & w.level);
  p.relevanceHexHighlighted = w.relevance != 0;
  return p;
}

TGpioModel::TGpioModel(TSettingsModel& settings) : settings_(settings) {
  settings_.attachGpio(this);
}

TGpioModel::~TGpioModel() {
  if (settings_.gpio() == this) settings_.attachGpio(nullptr);
}

void TGpioModel::toggle(bool direction, int bit) {
  bool& mark = direction ? directionMark_ : dataMark_;
  // Locked controls take no clicks either, so nothing sneaks into the desired block mid-run.
  if (bit < 0 || bit >= kGpioBits || mark || settings_.replyAwaited() ||
      !settings_.controlsEnabled())
    return;
  mark = true;
  ISettingsHost& h = settings_.host();
  const SettingsReply& rep = h.reported();
  const std::uint32_t mask = std::uint32_t(1) << bit;
  // Relative to the report: a second click before the reply computes the same value.
  const bool newBit = ((direction ? rep.gpioDirection : rep.gpioData) & mask) == 0;
  std::uint32_t& word = direction ? h.desired().gpioDirection : h.desired().gpioData;
  word = newBit ? (word | mask) : (word & ~mask);
  setWord(direction, word);
  mark = false;
}

void TGpioModel::toggleData(int bit) {
  // An input line's level is the device's to report: a click would send a bit that the box,
  // showing the line as read, never shows. Only the lines shown as outputs take clicks.
  if (bit < 0 || bit >= kGpioBits || (direction_ & (std::uint32_t(1) << bit)) == 0) return;
  toggle(false, bit);
}

void TGpioModel::toggleDirection(int bit) {
  toggle(true, bit);
}

void TGpioModel::setWord(bool direction, std::uint32_t word) {
  if (!settings_.settersOpen()) return;
  ISettingsHost& h = settings_.host();
  const bool free = h.replyTag() < 0;
  if (direction)
    h.desired().gpioDirection = word;
  else
    h.desired().gpioData = word;
  if (free) h.accumulateTimer().stop();
  (direction ? direction_ : data_) = word;
  settings_.notify(SettingsTopic::Gpio);
  if (free) h.accumulateTimer().start();
}

void TGpioModel::setData(std::uint32_t word) {
  setWord(false, word);
}

void TGpioModel::setDirection(std::uint32_t word) {
  setWord(true, word);
}

void TGpioModel::applyReply(const SettingsReply& r) {
  setData(r.gpioData);
  setDirection(r.gpioDirection);
}

void TGpioModel::togglePattern(PatternRow row, int bit) {
  if (bit < 0 || bit >= kPatternBits || patternMark_ || settings_.replyAwaited() ||
      !settings_.controlsEnabled())
    return;
  patternMark_ = true;
  ISettingsHost& h = settings_.host();
  TriggerWord reported = h.reported().trigger;
  const std::uint8_t mask = std::uint8_t(1u << bit);
  const bool newBit = (rowByte(reported, row) & mask) == 0;
  std::uint8_t& desiredByte = rowByte(h.desired().trigger, row);
  desiredByte = newBit ? std::uint8_t(desiredByte | mask) : std::uint8_t(desiredByte & ~mask);
  // The other rows keep their desired bytes (equal to the report unless clicks are pending), so
  // a click in one row never undoes a click in another one before the reply.
  settings_.setTriggerWord(h.desired().trigger);
  patternMark_ = false;
}

// --- I/O counter test ---------------------------------------------------------------------

void TGpioModel::setCounting(bool on) {
  if (on == counting_) return;
  counting_ = on;
  if (on) queueNextCounterCommand();
  settings_.notify(SettingsTopic::Counter);
}

void TGpioModel::setCountInterval(int which, int ms) {
  interval_[which == 0 ? 0 : 1] = std::clamp(ms, kCountIntervalMin, kCountIntervalMax);
  settings_.notify(SettingsTopic::Counter);
}

void TGpioModel::queueNextCounterCommand() {
  counter_ = counter_ + 1 > kCounterMax ? 0 : counter_ + 1;
  ISettingsHost& h = settings_.host();
  // A pending settings write would interleave with the test's commands.
  h.accumulateTimer().stop();
  h.queueIoCounter(counter_, interval_[0], interval_[1]);
  settings_.notify(SettingsTopic::Counter);
}

void TGpioModel::ioReplyApplied() {
  if (counting_) queueNextCounterCommand();
}

}  // namespace tolv

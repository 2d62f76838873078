#include "common/colours.h"

#include <cmath>

namespace tolv {

ColorRef defaultColour(int r) {
  // Three base colours, then families drifting from them so that neighbours stay distinct.
  static constexpr double kWeight[3] = {65536.0, 256.0, 1.0};  // blue, green, red
  static constexpr double kMask[3] = {16711680.0, 65280.0, 255.0};
  int a = ((r % 13) + 13) % 13;
  int q = a / 3;
  int s0 = a % 3, s1 = (a + 1) % 3, s2 = (a + 2) % 3;
  double v =
      std::round(0.2 * q * 8 * kWeight[s0]) + q * 8 * kWeight[s0] + kMask[s2] - q * 8 * kWeight[s2];
  if (q > 0) v += std::round(0.8 * kMask[s1]) - std::round(1.9 * q * 8 * kWeight[s1]);
  return static_cast<ColorRef>(static_cast<std::int64_t>(v)) & 0xFFFFFF;
}

ColorRef contrastTextColour(ColorRef bg) {
  return redOf(bg) + greenOf(bg) + blueOf(bg) <= 384 ? kWhite : kBlack;
}

QString rgbText(ColorRef c) {
  return QStringLiteral("RGB %1%2%3")
      .arg(redOf(c), 2, 16, QLatin1Char('0'))
      .arg(greenOf(c), 2, 16, QLatin1Char('0'))
      .arg(blueOf(c), 2, 16, QLatin1Char('0'))
      .toUpper();
}

bool colourFromRgbText(const QString& text, ColorRef& c) {
  QString t = text.trimmed();
  if (!t.startsWith(QLatin1String("RGB"), Qt::CaseInsensitive)) return false;
  t = t.mid(3).trimmed();
  if (t.size() != 6) return false;
  bool ok = false;
  uint v = t.toUInt(&ok, 16);
  if (!ok) return false;
  c = colorRef(int(v >> 16), int(v >> 8), int(v));
  return true;
}

}  // namespace tolv

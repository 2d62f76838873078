#pragma once
// Colours as the platform's 32-bit values with red in the low byte (0x00BBGGRR), the default
// channel colours and the contrasting text colour.
#include <QColor>
#include <QString>
#include <cstdint>

namespace tolv {

using ColorRef = std::uint32_t;

inline constexpr ColorRef kWhite = 0xFFFFFF;
inline constexpr ColorRef kBlack = 0x000000;

constexpr int redOf(ColorRef c) {
  return int(c & 0xFF);
}
constexpr int greenOf(ColorRef c) {
  return int((c >> 8) & 0xFF);
}
constexpr int blueOf(ColorRef c) {
  return int((c >> 16) & 0xFF);
}
constexpr ColorRef colorRef(int r, int g, int b) {
  return ColorRef(r & 0xFF) | (ColorRef(g & 0xFF) << 8) | (ColorRef(b & 0xFF) << 16);
}
inline QColor toQColor(ColorRef c) {
  return QColor(redOf(c), greenOf(c), blueOf(c));
}
inline ColorRef fromQColor(const QColor& c) {
  return colorRef(c.red(), c.green(), c.blue());
}

// Default colour of row r; repeats every 13 rows (negative r counts like r mod 13 >= 0).
ColorRef defaultColour(int r);
// White on dark backgrounds (red + green + blue at most 384), black otherwise.
ColorRef contrastTextColour(ColorRef background);

// "RGB FF0000" (red, green, blue) <-> colour; 0 and false when the text is not one.
QString rgbText(ColorRef c);
bool colourFromRgbText(const QString& text, ColorRef& c);

}  // namespace tolv

#pragma once
// Text and number helpers shared by the windows: padding, trimming, splitting, numbers
// with either decimal separator, booleans, language codes and four-character codes.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

namespace tolv {

// --- Text --------------------------------------------------------------------------------

// Cuts characters from the front while longer than n, then prepends c up to n characters.
QString padLeft(const QString& text, int n, QChar c);
// Cuts characters from the end while longer than n, then appends c up to n characters.
QString padRight(const QString& text, int n, QChar c);
// 1-based position of the last c, 0 when there is none.
int lastPosition(QChar c, const QString& text);
// Remove blanks (and control characters) at the start / end.
QString trimLeading(const QString& text);
QString trimTrailing(const QString& text);
// Every occurrence of a, left to right, becomes b (an empty a changes nothing).
QString replaceAll(const QString& text, const QString& a, const QString& b);
// Pieces between the separators; empty pieces between separators are kept, an empty rest
// after the last separator is dropped ("a;;b;" gives a, "", b; "" gives nothing).
QStringList splitText(const QString& text, QChar c);

// --- Numbers -----------------------------------------------------------------------------

// True when the text without surrounding blanks is a decimal floating-point number
// ("." or "," as decimal separator).
bool isNumber(const QString& text);
// Changes the decimal separator of a number text into the system's one.
QString toSystemSeparator(const QString& text);
// "," and "." both count as decimal separator; leading blanks are skipped. Returns 0 and
// stores the value, or returns the 1-based position of the first bad character (value kept).
int textToNumber(const QString& text, double& value);
// The value of a number text, or fallback when it is not one.
double numberOr(const QString& text, double fallback);
// Nearest integer after clamping to +-2147483646 (NaN gives 0).
std::int32_t roundToInteger(double x);
// 0 for 0; otherwise the smallest power of ten at or above |x| (from 1e-38 up) / the largest
// at or below |x| (from 1e38 down), with the sign of x.
double powerOfTenUp(double x);
double powerOfTenDown(double x);
double lg(double x);
double tenToThe(double x);
// c + (b - c) * a
double interpolate(double a, double b, double c);

// --- Booleans and language codes ---------------------------------------------------------

QString boolToText(bool b);                    // "T" / "F"
bool textToBool(const QString& text);          // true exactly for "T"
QString languageCode(int index);               // 0 "DE", 1 "EN", 2 "LX"
int languageIndexOfCode(const QString& code);  // "EN" 1, "LX" 2, anything else 0

// --- Codes -------------------------------------------------------------------------------

// Four-character code <-> 32-bit number, the first character in the most significant byte.
// Missing characters count as 0 bytes; characters beyond Latin-1 become "?".
std::uint32_t fourCharToCode(const QString& text);
QString codeToFourChar(std::uint32_t code);
// Character code <-> one-character text (an empty text gives 0).
int charToCode(const QString& text);
QString codeToChar(int code);

}  // namespace tolv

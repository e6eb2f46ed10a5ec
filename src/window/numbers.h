#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>

// The window runtime's conversions between text and numbers, shared by the quality
// controls, the settings file and the convert command.
namespace pelk {

// Reads a decimal number from the start of the text: leading blanks, an optional sign,
// digits and an optional fraction after "." (in every locale). Stops at the first
// character that cannot continue the number; no number at all reads as 0. Never fails.
double readNumber(QStringView text);

// Rounds to a 16-bit integer, half to even. Failure(Overflow) outside -32768..32767.
std::int16_t toInt16(double value);

// A whole text as a 16-bit integer: blanks around the number are allowed, anything else
// that is not part of the number is Failure(TypeMismatch); then as toInt16(double).
std::int16_t toInt16(QStringView text);

// An integer as an unsigned 8-bit value. Failure(Overflow) outside 0..255.
std::uint8_t toByte(std::int16_t value);

// The textual forms of a Boolean, "True" and "False", and their reading back
// (blanks around and any letter case allowed; other texts are Failure(TypeMismatch)).
QString booleanText(bool value);
bool toBoolean(QStringView text);

// A number as text: a whole number as plain digits with "-" when negative; a fraction
// with "." and no more digits than needed.
QString numberText(double value);

// The print form of an integer in a text file: a blank (or "-"), the digits, a blank.
QString printForm(std::int16_t value);

}  // namespace pelk

#include "window/numbers.h"

#include "window/failure.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace pelk {
namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The longest number at the start of text (after blanks): its value and where it ends.
// `end` stays at 0 when there is no number.
struct Scan {
    double value = 0;
    qsizetype end = 0;
};

Scan scanNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    QByteArray number;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        number += char(text[i++].unicode());
    qsizetype digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        number += char(text[i++].unicode());
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        qsizetype fraction = 0;
        qsizetype j = i + 1;
        while (j < text.size() && isDigit(text[j])) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            number += '.';
            for (qsizetype k = i + 1; k < j; ++k)
                number += char(text[k].unicode());
            digits += fraction;
            i = j;
        }
    }
    if (digits == 0)
        return {};
    // QByteArray reads the C form whatever the user's locale (strtod would not).
    bool ok = false;
    double value = number.toDouble(&ok);
    // Qt refuses numbers beyond a double's range both ways, giving 0: a whole part too large
    // is an overflow to infinity, while a fraction too small to hold does read as 0.
    const qsizetype point = number.indexOf('.');
    const QByteArray whole = point < 0 ? number : number.left(point);
    if (!ok && std::any_of(whole.begin(), whole.end(), [](char c) { return c >= '1' && c <= '9'; }))
        value =
            number.startsWith('-') ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return {value, i};
}

}  // namespace

double readNumber(QStringView text) { return scanNumber(text).value; }

std::int16_t toInt16(double value)
{
    if (std::isnan(value))
        throw Failure(FailureKind::Overflow);
    const double rounded = std::nearbyint(value);  // the default mode rounds half to even
    if (rounded < -32768.0 || rounded > 32767.0)
        throw Failure(FailureKind::Overflow);
    return static_cast<std::int16_t>(rounded);
}

std::int16_t toInt16(QStringView text)
{
    const Scan scan = scanNumber(text);
    qsizetype rest = scan.end;
    while (rest < text.size() && isBlank(text[rest]))
        ++rest;
    if (scan.end == 0 || rest != text.size())
        throw Failure(FailureKind::TypeMismatch, text.toString());
    return toInt16(scan.value);
}

std::uint8_t toByte(std::int16_t value)
{
    if (value < 0 || value > 255)
        throw Failure(FailureKind::Overflow);
    return static_cast<std::uint8_t>(value);
}

QString booleanText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

bool toBoolean(QStringView text)
{
    const QStringView word = text.trimmed();
    if (word.compare(u"True", Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(u"False", Qt::CaseInsensitive) == 0)
        return false;
    throw Failure(FailureKind::TypeMismatch, text.toString());
}

QString numberText(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    if (value == std::trunc(value)) {
        // Plain digits, never an exponent: "2e+15" in a box of two characters would read
        // back as 2. The shortest digits that read back as the same number; -0 is plain 0.
        if (value == 0)
            return QStringLiteral("0");
        char shortest[64];
        const std::to_chars_result end =
            std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific);
        const QByteArray form(shortest, end.ptr - shortest);  // "-1.5e+16"
        const qsizetype e = form.indexOf('e');
        QByteArray digits = form.left(e);
        digits.replace(".", "");
        const int zeros = form.mid(e + 1).toInt() - int(digits.size() - (value < 0 ? 2 : 1));
        return QString::fromLatin1(digits + QByteArray(std::max(0, zeros), '0'));
    }
    // A fraction keeps 15 significant digits, also where they start far after the point.
    const int exponent = int(std::floor(std::log10(std::fabs(value))));
    const int decimals = std::max(0, 14 - exponent);
    char digits[400];
    const std::to_chars_result end =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    QByteArray text(digits, end.ptr - digits);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return QString::fromLatin1(text);
}

QString printForm(std::int16_t value)
{
    return (value < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + QString::number(std::abs(int(value))) + u' ';
}

}  // namespace pelk

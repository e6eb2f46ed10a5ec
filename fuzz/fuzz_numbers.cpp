// The runtime's number conversions over arbitrary text. The first byte picks how the rest
// becomes text (UTF-8, or raw UTF-16 with unpaired surrogates and all).
#include "harness.h"

#include "window/failure.h"
#include "window/numbers.h"

#include <charconv>
#include <cmath>
#include <string>

using namespace pelk;
using namespace pelk::fuzz;

namespace {

bool blank(QChar c) { return c == u' ' || c == u'\t'; }
bool digit(QChar c) { return c >= u'0' && c <= u'9'; }

// The number at the start of the text, found without the program's scanner: blanks, an
// optional sign, digits with an optional fraction (at least one digit in all). `end` is 0
// when there is none; `plain` is the number without blanks and without a "+".
struct Prefix {
    qsizetype end = 0;
    std::string plain;
};

Prefix numberPrefix(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && blank(text[i]))
        ++i;
    std::string plain;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            plain += '-';
        ++i;
    }
    const qsizetype intStart = i;
    while (i < text.size() && digit(text[i]))
        plain += char(text[i++].unicode());
    qsizetype digits = i - intStart;
    if (i < text.size() && text[i] == u'.') {
        qsizetype j = i + 1;
        while (j < text.size() && digit(text[j]))
            ++j;
        if (digits + (j - i - 1) > 0) {
            plain += '.';
            for (qsizetype k = i + 1; k < j; ++k)
                plain += char(text[k].unicode());
            digits += j - i - 1;
            i = j;
        }
    }
    if (digits == 0)
        return {};
    return {i, plain};
}

// std::from_chars reads no "+" and no bare "." before digits; both are normalised away.
double valueOf(std::string plain)
{
    const bool negative = !plain.empty() && plain[0] == '-';
    std::string body = negative ? plain.substr(1) : plain;
    if (body[0] == '.')
        body.insert(body.begin(), '0');
    double value = 0;
    const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too small a fraction reads as 0, too large a whole number as infinity.
        const std::size_t point = body.find('.');
        const std::string whole = body.substr(0, point);
        value = whole.find_first_not_of('0') != std::string::npos ? HUGE_VAL : 0.0;
    } else if (error != std::errc() || end != body.data() + body.size()) {
        broken("the test's own reader failed", QString::fromStdString(plain));
    }
    return negative ? -value : value;
}

bool sameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

void checkText(QStringView text)
{
    const double read = readNumber(text);  // never fails
    const Prefix prefix = numberPrefix(text);
    const double expected = prefix.end == 0 ? 0.0 : valueOf(prefix.plain);
    if (!sameNumber(read, expected))
        broken("readNumber", text.toString() + QStringLiteral(" gave %1, expected %2").arg(read).arg(expected));

    // A whole text is a 16-bit integer when it is one number with blanks around it and
    // rounds into range; anything else is a Failure, never another exception.
    qsizetype rest = prefix.end;
    while (rest < text.size() && blank(text[rest]))
        ++rest;
    const bool wellFormed = prefix.end > 0 && rest == text.size();
    const double rounded = std::nearbyint(expected);
    const bool fits = rounded >= -32768.0 && rounded <= 32767.0;
    try {
        const std::int16_t value = toInt16(text);
        if (!wellFormed || !fits)
            broken("toInt16 accepted", text.toString());
        if (double(value) != rounded)
            broken("toInt16 value", text.toString() + QStringLiteral(" gave %1").arg(value));
    } catch (const Failure&) {
        if (wellFormed && fits)
            broken("toInt16 refused", text.toString());
    }

    // The same rounding from the number read.
    try {
        const std::int16_t value = toInt16(read);
        if (!fits || double(value) != rounded)
            broken("toInt16(double)", QString::number(read, 'g', 17));
        // Print form and back, as the settings file does it.
        if (toInt16(printForm(value)) != value)
            broken("printForm does not read back", QString::number(value));
        try {
            const std::uint8_t byte = toByte(value);
            if (value < 0 || value > 255 || byte != value)
                broken("toByte accepted", QString::number(value));
        } catch (const Failure&) {
            if (value >= 0 && value <= 255)
                broken("toByte refused", QString::number(value));
        }
    } catch (const Failure&) {
        if (fits)
            broken("toInt16(double) refused", QString::number(read, 'g', 17));
    }

    // A whole number's text form reads back exactly.
    if (std::isfinite(read) && read == std::trunc(read) && std::fabs(read) < 1e15) {
        const QString shown = numberText(read);
        if (readNumber(shown) != read || shown.contains(u'.') || shown.contains(u'e'))
            broken("numberText", shown);
    }

    try {
        const bool value = toBoolean(text);
        if (toBoolean(booleanText(value)) != value)
            broken("booleanText does not read back");
        const QString word = text.trimmed().toString().toCaseFolded();
        if (word != (value ? u"true" : u"false"))
            broken("toBoolean accepted", text.toString());
    } catch (const Failure&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest = bytes(data + 1, size - 1);
    if (data[0] & 1) {
        QString text(rest.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(char16_t(uchar(rest[2 * i]) | uchar(rest[2 * i + 1]) << 8));
        checkText(text);
    } else {
        checkText(QString::fromUtf8(rest));
    }
    return 0;
}

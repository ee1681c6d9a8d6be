#include "numeric.h"

#include <cmath>
#include <cstdlib>
#include <cfenv>
#include <optional>

#include <QVarLengthArray>

namespace shop {

namespace {

bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

char16_t upper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// The reading itself, over the characters of a text with the ignored ones
// already dropped. Only ASCII characters can be part of a number, so a text
// given as UTF-8 bytes reads the same as the same text given as UTF-16.
NumericRead readUnits(const char16_t* s, int n)
{
    NumericRead out;
    int i = 0;
    if (n >= 2 && s[0] == u'&') {
        const char16_t k = upper(s[1]);
        const int base = k == u'H' ? 16 : k == u'O' ? 8 : 0;
        if (base == 0)
            return out;
        double v = 0;
        for (i = 2; i < n; ++i) {
            const char16_t c = upper(s[i]);
            const int d =
                isAsciiDigit(c) ? c - u'0' : (base == 16 && c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1);
            if (d < 0 || d >= base)
                break;
            v = v * base + d;
        }
        out.value = v;
        out.overflow = !std::isfinite(v);
        if (out.overflow)
            out.value = 0;
        return out;
    }

    // The characters strtod reads, in a buffer of the text's length.
    QVarLengthArray<char, 64> num;
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        num.append(static_cast<char>(s[i++]));
    bool digits = false;
    bool point = false;
    while (i < n) {
        const char16_t c = s[i];
        if (isAsciiDigit(c))
            digits = true;
        else if (c == u'.' && !point)
            point = true;
        else
            break;
        num.append(static_cast<char>(c));
        ++i;
    }
    if (!digits)
        return out;
    if (i < n && (upper(s[i]) == u'E' || upper(s[i]) == u'D')) {
        int j = i + 1;
        QVarLengthArray<char, 16> exp;
        exp.append('e');
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            exp.append(static_cast<char>(s[j++]));
        bool expDigits = false;
        while (j < n && isAsciiDigit(s[j])) {
            exp.append(static_cast<char>(s[j++]));
            expDigits = true;
        }
        if (expDigits)
            num.append(exp.constData(), exp.size());
    }
    num.append('\0');
    const double v = std::strtod(num.constData(), nullptr);
    if (!std::isfinite(v)) {
        out.overflow = true;
        return out;
    }
    out.value = v;
    return out;
}

bool isSkipped(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

} // namespace

NumericRead readNumber(const QString& text)
{
    // Drop the characters that are ignored wherever they stand.
    QVarLengthArray<char16_t, 64> s;
    for (QChar c : text)
        if (!isSkipped(c.unicode()))
            s.append(c.unicode());
    return readUnits(s.constData(), static_cast<int>(s.size()));
}

namespace {

// The common shapes (an optional sign, at most 15 digits with one point,
// then nothing that could continue the number) without a copy or strtod:
// the digits form an exact whole number and one division by an exact power
// of ten rounds correctly, so the result is strtod's. Anything else: nullopt.
std::optional<double> plainDecimal(QByteArrayView t)
{
    static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    qsizetype i = 0;
    const qsizetype n = t.size();
    while (i < n && isSkipped(static_cast<unsigned char>(t[i])))
        ++i;
    bool negative = false;
    if (i < n && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    if (i < n && t[i] == '&')
        return std::nullopt;
    qint64 mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 15)
                return std::nullopt;
            mantissa = mantissa * 10 + (c - '0');
            if (point)
                ++decimals;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (i < n) {
        const char c = t[i];
        if (isSkipped(static_cast<unsigned char>(c)) || c == 'e' || c == 'E' || c == 'd' || c == 'D')
            return std::nullopt;
    }
    const double v = static_cast<double>(mantissa) / kTens[decimals];
    return negative ? -v : v;
}

} // namespace

NumericRead readNumberUtf8(QByteArrayView utf8)
{
    if (const auto v = plainDecimal(utf8)) {
        NumericRead out;
        out.value = *v;
        return out;
    }
    // Bytes of multi-byte characters are all above 0x7F: none fits a number.
    QVarLengthArray<char16_t, 64> s;
    for (char b : utf8) {
        const auto c = static_cast<char16_t>(static_cast<unsigned char>(b));
        if (!isSkipped(c))
            s.append(c >= 0x80 ? char16_t(0xFFFD) : c);
    }
    return readUnits(s.constData(), static_cast<int>(s.size()));
}

double numericValueUtf8(QByteArrayView utf8)
{
    return readNumberUtf8(utf8).value;
}

double numericValue(const QString& text)
{
    return readNumber(text).value;
}

QString numberText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == 0)
        return QStringLiteral("0"); // also folds -0
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", value);
    QString s = QString::fromLatin1(buf);
    // "%G" writes the exponent with at least two digits and a sign: 1E+15,
    // 1.5E-07; keep that form.
    return s;
}

QString signedNumberText(double value)
{
    const QString s = numberText(value);
    return s.startsWith(u'-') ? s : QStringLiteral(" ") + s;
}

std::optional<qint64> roundWhole(double value)
{
    // 2^63 is exactly representable; every double below it converts safely.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(value))
        return std::nullopt;
    // Nearest with halves to even is the default mode; set it only when
    // something changed it (setting the mode is the costly part).
    const int old = std::fegetround();
    if (old != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    if (old != FE_TONEAREST)
        std::fesetround(old);
    if (r >= kLimit || r < -kLimit)
        return std::nullopt;
    return static_cast<qint64>(r);
}

} // namespace shop

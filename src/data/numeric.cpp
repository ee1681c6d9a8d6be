#include "numeric.h"

#include <QVarLengthArray>

#include <cmath>
#include <cstdlib>
#include <cfenv>

namespace shop {

namespace {
bool isSkipped(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
} // namespace

NumericRead readNumberUtf8(QByteArrayView text)
{
    // Every character the rule looks for is ASCII, so the UTF-8 bytes are
    // read as they are: a byte of any other character ends the number.
    // Drop the characters that are ignored wherever they stand.
    QVarLengthArray<char, 64> s;
    for (char c : text)
        if (!isSkipped(c))
            s.append(c);

    NumericRead out;
    qsizetype i = 0;
    const qsizetype n = s.size();

    if (n >= 2 && s[0] == '&') {
        const char k = upper(s[1]);
        const int base = k == 'H' ? 16 : k == 'O' ? 8 : 0;
        if (base == 0)
            return out;
        double v = 0;
        for (i = 2; i < n; ++i) {
            const char c = upper(s[i]);
            const int d =
                isAsciiDigit(c) ? c - '0' : (base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1);
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

    QVarLengthArray<char, 64> num;
    if (i < n && (s[i] == '+' || s[i] == '-'))
        num.append(s[i++]);
    bool digits = false;
    bool point = false;
    // The digits as a whole number and how many follow the point, for the
    // exact shortcut below.
    quint64 mantissa = 0;
    int digitCount = 0;
    int decimals = 0;
    while (i < n) {
        const char c = s[i];
        if (isAsciiDigit(c)) {
            digits = true;
            if (++digitCount <= 15)
                mantissa = mantissa * 10 + static_cast<quint64>(c - '0');
            decimals += point ? 1 : 0;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        num.append(c);
        ++i;
    }
    if (!digits)
        return out;
    const bool exponent = i < n && (upper(s[i]) == 'E' || upper(s[i]) == 'D');
    if (!exponent && digitCount <= 15) {
        // Up to 15 digits the whole number and the power of ten are both
        // exact doubles, so one division is the correctly rounded value,
        // as strtod gives it, without its cost (totals read every row).
        static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double v = static_cast<double>(mantissa) / kPowers[decimals];
        out.value = num[0] == '-' ? -v : v;
        return out;
    }
    if (exponent) {
        qsizetype j = i + 1;
        QVarLengthArray<char, 16> exp;
        exp.append('e');
        if (j < n && (s[j] == '+' || s[j] == '-'))
            exp.append(s[j++]);
        bool expDigits = false;
        while (j < n && isAsciiDigit(s[j])) {
            exp.append(s[j++]);
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

NumericRead readNumber(const QString& text)
{
    return readNumberUtf8(text.toUtf8());
}

double numericValue(const QString& text)
{
    return readNumber(text).value;
}

double numericValueUtf8(QByteArrayView utf8)
{
    return readNumberUtf8(utf8).value;
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

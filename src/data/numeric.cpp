#include "numeric.h"

#include <QVarLengthArray>

#include <charconv>
#include <cmath>
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
    // Where the first significant digit stands: the count of whole digits
    // from it on, or minus the zeros after the point before it. With the
    // exponent it tells a number too large from one too small.
    qint64 magnitude = 0;
    bool significant = false;
    while (i < n) {
        const char c = s[i];
        if (isAsciiDigit(c)) {
            digits = true;
            if (++digitCount <= 15)
                mantissa = mantissa * 10 + static_cast<quint64>(c - '0');
            decimals += point ? 1 : 0;
            significant = significant || c != '0';
            if (!point && significant)
                ++magnitude;
            else if (point && !significant)
                --magnitude;
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
        qint64 expValue = 0;
        while (j < n && isAsciiDigit(s[j])) {
            expValue = qMin<qint64>(expValue * 10 + (s[j] - '0'), 1'000'000'000);
            exp.append(s[j++]);
            expDigits = true;
        }
        if (expDigits) {
            num.append(exp.constData(), exp.size());
            magnitude += exp.size() > 1 && exp[1] == '-' ? -expValue : expValue;
        }
    }
    // from_chars reads a full stop whatever the locale; strtod would follow
    // LC_NUMERIC, which a Qt program on Unix takes from the environment.
    const char* first = num.constData();
    const char* last = first + num.size();
    if (*first == '+')
        ++first; // from_chars takes no plus sign
    double v = 0;
    const auto read = std::from_chars(first, last, v, std::chars_format::general);
    if (read.ec == std::errc::result_out_of_range) {
        if (magnitude > 0) {
            out.overflow = true;
            return out;
        }
        v = 0; // closer to zero than any double
    }
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

QString numberText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == 0)
        return QStringLiteral("0"); // also folds -0
    // As "%.15G" in the C locale (a full stop whatever the system's locale):
    // the exponent with a sign and at least two digits, 1E+15, 1.5E-07.
    char buf[64];
    const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return QString::fromLatin1(buf, written.ptr - buf).toUpper();
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

#include "numeric.h"

#include <cmath>
#include <cstdlib>
#include <cfenv>

namespace shop {

namespace {
bool isSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}
} // namespace

NumericRead readNumber(const QString& text)
{
    // Drop the characters that are ignored wherever they stand.
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (!isSkipped(c))
            s.append(c);

    NumericRead out;
    int i = 0;
    const int n = static_cast<int>(s.size());

    if (n >= 2 && s.at(0) == u'&') {
        const QChar k = s.at(1).toUpper();
        const int base = k == u'H' ? 16 : k == u'O' ? 8 : 0;
        if (base == 0)
            return out;
        double v = 0;
        for (i = 2; i < n; ++i) {
            const int d = s.at(i).isDigit() && isAsciiDigit(s.at(i))
                              ? s.at(i).unicode() - u'0'
                              : (base == 16 && s.at(i).toUpper() >= u'A' && s.at(i).toUpper() <= u'F'
                                     ? s.at(i).toUpper().unicode() - u'A' + 10
                                     : -1);
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

    QByteArray num;
    if (i < n && (s.at(i) == u'+' || s.at(i) == u'-'))
        num.append(static_cast<char>(s.at(i++).unicode()));
    bool digits = false;
    bool point = false;
    while (i < n) {
        const QChar c = s.at(i);
        if (isAsciiDigit(c)) {
            digits = true;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
        num.append(static_cast<char>(c.unicode()));
        ++i;
    }
    if (!digits)
        return out;
    if (i < n && (s.at(i).toUpper() == u'E' || s.at(i).toUpper() == u'D')) {
        int j = i + 1;
        QByteArray exp("e");
        if (j < n && (s.at(j) == u'+' || s.at(j) == u'-'))
            exp.append(static_cast<char>(s.at(j++).unicode()));
        bool expDigits = false;
        while (j < n && isAsciiDigit(s.at(j))) {
            exp.append(static_cast<char>(s.at(j++).unicode()));
            expDigits = true;
        }
        if (expDigits)
            num.append(exp);
    }
    const double v = std::strtod(num.constData(), nullptr);
    if (!std::isfinite(v)) {
        out.overflow = true;
        return out;
    }
    out.value = v;
    return out;
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
    const int old = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(old);
    if (r >= kLimit || r < -kLimit)
        return std::nullopt;
    return static_cast<qint64>(r);
}

} // namespace shop

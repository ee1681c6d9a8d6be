#include "clock.h"

namespace shop {

QString dateText(const QDate& d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

bool isDateText(const QString& text)
{
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return date.isValid() && dateText(date) == text;
}

QString dateTimeText(const QDateTime& t)
{
    // Every ledger row is stamped with it: written digit by digit, as the
    // format parser took a good part of writing a row.
    const QDate d = t.date();
    const QTime time = t.time();
    if (!d.isValid() || !time.isValid() || d.year() < 1000 || d.year() > 9999)
        return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    char16_t text[19];
    const auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char16_t(u'0' + value % 10);
    };
    put(0, d.year(), 4);
    text[4] = u'-';
    put(5, d.month(), 2);
    text[7] = u'-';
    put(8, d.day(), 2);
    text[10] = u' ';
    put(11, time.hour(), 2);
    text[13] = u':';
    put(14, time.minute(), 2);
    text[16] = u':';
    put(17, time.second(), 2);
    return QString(reinterpret_cast<const QChar*>(text), 19);
}

QString todayText(const Clock& c)
{
    return dateText(c.today());
}

QString thirtyDaysAgoText(const Clock& c)
{
    return dateText(c.today().addDays(-30));
}

} // namespace shop

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
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
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

#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace shop {

// Source of "now"; tests use a fixed one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime t) : t_(std::move(t)) {}
    QDateTime now() const override { return t_; }
    void set(const QDateTime& t) { t_ = t; }

private:
    QDateTime t_;
};

// The one date form of the program, zero-padded: yyyy-MM-dd.
QString dateText(const QDate& d);
// Whether `text` is a date in that form: only it compares as a date (2026-12-1
// would sort after 2026-12-10).
bool isDateText(const QString& text);
// Date and time: yyyy-MM-dd HH:mm:ss.
QString dateTimeText(const QDateTime& t);
// Today, and the day 30 days before today, as date texts.
QString todayText(const Clock& c);
QString thirtyDaysAgoText(const Clock& c);

} // namespace shop

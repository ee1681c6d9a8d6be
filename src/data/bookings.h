#pragma once

#include "database.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

// Appointments (yuyue): who comes when, for which service, to which
// employee. A booking is written whole in one transaction that first looks
// for the booking in its way; two tills booking one employee at once are
// served one after the other (on a server under a lock per employee), so
// one of them finds the other's booking.
namespace shop::bookings {

// Where a booking stands: 已预约 → 已到店 → 已完成, or 取消, or 未到.
enum class State { Booked, Arrived, Done, Cancelled, NoShow };
QString stateText(State s);
std::optional<State> stateOf(const QString& text);
// Whether a booking in this state holds its employee's time.
bool holdsTime(const QString& state);

// A time of day in its stored form, HH:mm (zero-padded, so that texts
// compare as the times do).
QString timeText(const QTime& t);
// The time of a text in that form; none for anything else (9:00, 24:00).
std::optional<QTime> timeOf(const QString& text);

// The shop's opening hours and the length of a slot of the day view.
struct Hours {
    QTime open{9, 0};
    QTime close{21, 0};
    int slot = 30;

    // The slots a person may choose.
    static const QList<int>& slotChoices();
    // Hours from their texts; none, with the reason in Chinese, when they
    // are not times, close before they open, or the slot is not a choice.
    static std::optional<Hours> from(const QString& open, const QString& close, const QString& slot,
                                     QString* why = nullptr);
    // The starts of the day's slots, as time texts.
    QStringList slotStarts() const;
    bool operator==(const Hours&) const = default;
};

// One stored booking.
struct Booking {
    qint64 rowid = 0;
    QString date, start, end, card, cardRow, name, phone, serviceItem, employee, state, reason, sale, remark,
        created, login;

    // From the values in the table's column order, and back.
    static Booking fromValues(qint64 rowid, const QStringList& values);
    QStringList values() const;
    // How long it lasts, in minutes.
    int minutes() const;
    // "10:00-10:30 李四（剪发）": how a booking is named to the person.
    QString describe() const;
};

// A booking as the person asks for it (rowid 0: a new one).
struct Request {
    qint64 rowid = 0;
    QString date;
    QString start;
    QString minutes;
    QString card; // empty for a customer without a card
    QString name;
    QString phone;
    QString serviceItem;
    QString employee; // empty: no employee chosen
    QString remark;
};

// Why a booking, or a change of its state, does not go ahead.
enum class Refusal {
    None,
    BadDate,
    BadStart,
    BadMinutes,
    EndBeforeStart,
    OutsideHours,
    NoCustomer,
    NoServiceItem,
    EmployeeGone,
    CardNotFound,
    // The card booked was deleted or renumbered since.
    CardChanged,
    Overlap,
    // The booking is no longer there.
    Gone,
    // Its state does not allow it (see Outcome::booking for the state).
    WrongState,
    NoReason,
};

struct Outcome {
    enum Kind { Saved, Refused, Failed } kind = Saved;
    Refusal refusal = Refusal::None;
    QString error;
    qint64 rowid = 0;
    // Overlap: the booking in the way; WrongState, CardChanged: the booking
    // as stored.
    std::optional<Booking> booking;
    bool ok() const { return kind == Saved; }
};

// Checks what needs no database: the date, the times, the hours, a
// customer and a service. The refusal, or None.
Refusal checkForm(const Request& r, const Hours& hours);

// Stores a new booking (已预约) or rewrites one (still 已预约 or 已到店),
// refusing bad input, an employee or card gone since, and a booking of the
// same employee in the way.
Outcome book(Database& db, const Request& r, const Hours& hours);

// Moves booking `rowid` to `to` (已到店, 取消 with a reason, 未到) from the
// states that lead there.
Outcome setState(Database& db, qint64 rowid, State to, const QString& reason = {});

// The card of booking `rowid` as stored now, for a sale: refused when it
// was deleted or renumbered since the booking (CardChanged), or when the
// booking has not arrived.
Outcome readyForSale(Database& db, qint64 rowid);

// For the sale's transaction: booking `rowid`, arrived, becomes 已完成
// with the sale's key (`keySql`, an expression of the same transaction).
Database::Write completeWrite(qint64 rowid, const QString& keySql);

// The stored booking; no value when it is gone.
DbValue<Booking> find(Database& db, qint64 rowid);
// A day's bookings, in time order.
DbValue<QList<Booking>> ofDay(Database& db, const QString& date);
// A member's bookings, newest first.
DbValue<QList<Booking>> ofCard(Database& db, const QString& card);
// The next bookings still to come from `date` `time` on (booked or
// arrived), at most `limit`.
DbValue<QList<Booking>> upcoming(Database& db, const QString& date, const QString& time, int limit);
// Whether a booking still 已预约 is over at `now`: offered as 未到.
bool isOverdue(const Booking& b, const QDateTime& now);
// The no-shows (未到) from `from` to `to`, dates included.
DbValue<qint64> noShows(Database& db, const QString& from, const QString& to);
// The bookings at a glance: today's (not cancelled), the next few still to
// come after `now` (a time text), and this month's no-shows.
struct Glance {
    qint64 today = 0;
    QList<Booking> next;
    qint64 monthNoShows = 0;
};
DbValue<Glance> glance(Database& db, const QDate& today, const QString& now, int next = 3);

// How long a service item was last booked for; none when never.
DbValue<int> usualMinutes(Database& db, const QString& serviceItem);

// The holder (顾客姓名) of the first card of this number; no value when
// no card has it.
DbValue<QString> cardHolder(Database& db, const QString& number);

// A member's visits: the day of the last sale on the card and the days
// with a sale in the 90 days up to `today`.
struct Visits {
    QString last;
    int inNinetyDays = 0;
};
DbValue<Visits> visitsOf(Database& db, const QString& card, const QDate& today);

} // namespace shop::bookings

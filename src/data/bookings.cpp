#include "bookings.h"

#include "clock.h"
#include "schema.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace shop::bookings {

namespace {

namespace y = schema::yuyue;
namespace card = schema::numbercard;

const QStringList& columns()
{
    static const QStringList c = schema::columnsOf(y::kTable);
    return c;
}

const QString& selectList()
{
    static const QString list = QStringLiteral("rowid, ") + quoteIdents(columns());
    return list;
}

QString q(const QString& name)
{
    return quoteIdent(name);
}

// SELECT rowid and every column FROM yuyue followed by `rest`.
QString selectSql(const QString& rest)
{
    return QStringLiteral("SELECT %1 FROM %2 %3").arg(selectList(), q(y::kTable), rest);
}

// A booking's texts in the table's column order.
std::array<QString*, 15> fieldsOf(Booking& b)
{
    return {&b.date,     &b.start, &b.end,    &b.card, &b.cardRow, &b.name,    &b.phone, &b.serviceItem,
            &b.employee, &b.state, &b.reason, &b.sale, &b.remark,  &b.created, &b.login};
}

DbValue<QList<Booking>> readAll(Database& db, const QString& sql, const QVariantList& binds)
{
    QList<Booking> out;
    // Each booking is filled in place from the engine's texts: a day on a
    // server is hundreds of rows, and a list of texts per row between them
    // cost more than the statement itself.
    const DbResult r = db.selectKeyedTexts(sql, binds, [&out](qint64 rowid, const Database::TextRow& row) {
        Booking& b = out.emplace_back();
        b.rowid = rowid;
        const int width = row.count();
        int i = 0;
        for (QString* f : fieldsOf(b)) {
            if (i < width)
                *f = row.text(i);
            ++i;
        }
        return true;
    });
    if (!r)
        return {r, std::nullopt};
    return DbValue<QList<Booking>>::of(out);
}

DbValue<Booking> rowToBooking(const DbValue<QVariantList>& row)
{
    if (!row.found())
        return {row.status, std::nullopt};
    QStringList values;
    for (qsizetype i = 1; i < row->size(); ++i)
        values << row->at(i).toString();
    return DbValue<Booking>::of(Booking::fromValues(row->value(0).toLongLong(), values));
}

DbValue<Booking> readForChange(Database& db, qint64 rowid)
{
    return rowToBooking(db.selectOneForUpdate(selectSql(QStringLiteral("WHERE rowid = ?")), {rowid}));
}

Outcome refused(Refusal why, std::optional<Booking> booking = std::nullopt)
{
    Outcome o;
    o.kind = Outcome::Refused;
    o.refusal = why;
    o.booking = std::move(booking);
    return o;
}

Outcome failed(const DbResult& r)
{
    Outcome o;
    o.kind = Outcome::Failed;
    o.error = r.error;
    return o;
}

bool conflicted(Database& db, const Outcome& o)
{
    return o.kind == Outcome::Failed && db.lastFailureWasConflict();
}

// Whether card row `cardRow` still holds number `number`.
DbValue<bool> cardStill(Database& db, const QString& cardRow, const QString& number)
{
    bool isNumber = false;
    const qint64 rowid = cardRow.toLongLong(&isNumber);
    if (!isNumber)
        return DbValue<bool>::of(false);
    const auto row = db.selectOne(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(q(card::kNumber), q(card::kTable)), {rowid});
    if (row.failed())
        return {row.status, std::nullopt};
    return DbValue<bool>::of(row.found() &&
                             row->value(0).toString().compare(number, Qt::CaseInsensitive) == 0);
}

int minutesOf(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,4}$"));
    const QString t = text.trimmed();
    return digits.match(t).hasMatch() ? t.toInt() : -1;
}

} // namespace

QString stateText(State s)
{
    switch (s) {
    case State::Booked:
        return QStringLiteral("已预约");
    case State::Arrived:
        return QStringLiteral("已到店");
    case State::Done:
        return QStringLiteral("已完成");
    case State::Cancelled:
        return QStringLiteral("取消");
    case State::NoShow:
        return QStringLiteral("未到");
    }
    return {};
}

std::optional<State> stateOf(const QString& text)
{
    for (State s : {State::Booked, State::Arrived, State::Done, State::Cancelled, State::NoShow})
        if (stateText(s) == text)
            return s;
    return std::nullopt;
}

bool holdsTime(const QString& state)
{
    const auto s = stateOf(state);
    return s == State::Booked || s == State::Arrived || s == State::Done;
}

QString timeText(const QTime& t)
{
    return t.toString(QStringLiteral("HH:mm"));
}

std::optional<QTime> timeOf(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    return QTime::fromString(text, QStringLiteral("HH:mm"));
}

const QList<int>& Hours::slotChoices()
{
    static const QList<int> choices = {15, 30};
    return choices;
}

std::optional<Hours> Hours::from(const QString& open, const QString& close, const QString& slot, QString* why)
{
    const auto say = [why](const QString& text) {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const auto o = timeOf(open.trimmed());
    const auto c = timeOf(close.trimmed());
    if (!o || !c)
        return say(QStringLiteral("营业时间请按“时:分”的形式输入，例如：09:00"));
    if (*c <= *o)
        return say(QStringLiteral("打烊时间必须晚于开门时间！"));
    const int s = minutesOf(slot);
    if (!slotChoices().contains(s))
        return say(QStringLiteral("预约时段只能是15或30分钟！"));
    return Hours{*o, *c, s};
}

QStringList Hours::slotStarts() const
{
    QStringList out;
    for (int m = open.msecsSinceStartOfDay() / 60000; m < close.msecsSinceStartOfDay() / 60000; m += slot)
        out << timeText(QTime(m / 60, m % 60));
    return out;
}

Booking Booking::fromValues(qint64 rowid, const QStringList& v)
{
    Booking b;
    b.rowid = rowid;
    int i = 0;
    for (QString* f : fieldsOf(b))
        *f = v.value(i++);
    return b;
}

QStringList Booking::values() const
{
    return {date,     start, end,    card, cardRow, name,    phone, serviceItem,
            employee, state, reason, sale, remark,  created, login};
}

int Booking::minutes() const
{
    const auto s = timeOf(start);
    const auto e = timeOf(end);
    return s && e ? s->secsTo(*e) / 60 : 0;
}

QString Booking::describe() const
{
    const QString who = name.isEmpty() ? card : name;
    return QStringLiteral("%1 %2-%3 %4（%5）").arg(date, start, end, who, serviceItem);
}

Refusal checkForm(const Request& r, const Hours& hours)
{
    if (!isDateText(r.date.trimmed()))
        return Refusal::BadDate;
    const auto start = timeOf(r.start.trimmed());
    if (!start)
        return Refusal::BadStart;
    const QString minutesText = r.minutes.trimmed();
    // A length of none or less ends the booking before it starts.
    if (minutesText.startsWith(QLatin1Char('-')) || minutesOf(minutesText) == 0)
        return Refusal::EndBeforeStart;
    const int minutes = minutesOf(minutesText);
    if (minutes < 0)
        return Refusal::BadMinutes;
    const int from = start->msecsSinceStartOfDay() / 60000;
    if (from < hours.open.msecsSinceStartOfDay() / 60000 ||
        from + minutes > hours.close.msecsSinceStartOfDay() / 60000)
        return Refusal::OutsideHours;
    if (r.card.trimmed().isEmpty() && (r.name.trimmed().isEmpty() || r.phone.trimmed().isEmpty()))
        return Refusal::NoCustomer;
    if (r.serviceItem.trimmed().isEmpty())
        return Refusal::NoServiceItem;
    return Refusal::None;
}

namespace {

// Reads booking `rowid` under lock for a change allowed only from the
// states `from`: no outcome when it may change (`out` holds it), else its
// refusal or failure.
std::optional<Outcome> readInState(Database& db, qint64 rowid, std::initializer_list<State> from,
                                   Booking& out)
{
    const auto stored = readForChange(db, rowid);
    if (stored.failed())
        return failed(stored.status);
    if (!stored.found())
        return refused(Refusal::Gone);
    if (std::ranges::find(from, stateOf(stored->state)) == from.end())
        return refused(Refusal::WrongState, *stored);
    out = *stored;
    return std::nullopt;
}

Outcome bookOnce(Database& db, const Request& r, const QString& start, const QString& end)
{
    Database::Transaction tx(db);
    if (!tx.active())
        return failed(DbResult::failure(tx.error()));
    const QString employee = r.employee.trimmed();
    const QString number = r.card.trimmed();
    // One employee's bookings are checked and written by one till at a
    // time: the one that waited sees the other's booking.
    if (!employee.isEmpty())
        if (DbResult l = db.holdKeysOf(y::kTable + QStringLiteral(" of ") + employee); !l)
            return failed(l);

    Booking b;
    if (r.rowid != 0) {
        if (auto no = readInState(db, r.rowid, {State::Booked, State::Arrived}, b))
            return *no;
    } else {
        b.state = stateText(State::Booked);
        b.created = db.writeTime();
        b.login = db.writerLogin();
    }

    if (!employee.isEmpty()) {
        const auto worker = db.selectOne(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1")
                                             .arg(q(schema::worker::kTable), q(schema::worker::kName)),
                                         {employee});
        if (worker.failed())
            return failed(worker.status);
        if (!worker.found())
            return refused(Refusal::EmployeeGone);
    }

    QString holder;
    if (number.isEmpty()) {
        b.cardRow.clear();
    } else if (r.rowid != 0 && number.compare(b.card, Qt::CaseInsensitive) == 0 && !b.cardRow.isEmpty()) {
        // The card booked: still the same row under the same number.
        const auto same = cardStill(db, b.cardRow, number);
        if (same.failed())
            return failed(same.status);
        if (!*same)
            return refused(Refusal::CardChanged, b);
    } else {
        const auto found =
            db.selectOne(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 = ? ORDER BY rowid LIMIT 1")
                             .arg(q(card::kHolder), q(card::kTable), q(card::kNumber)),
                         {number});
        if (found.failed())
            return failed(found.status);
        if (!found.found())
            return refused(Refusal::CardNotFound);
        b.cardRow = QString::number(found->value(0).toLongLong());
        holder = found->value(1).toString();
    }

    if (!employee.isEmpty()) {
        const auto inTheWay = rowToBooking(db.selectOne(
            selectSql(QStringLiteral("WHERE %1 = ? AND %2 = ? AND %3 < ? AND %4 > ? AND %5 IN (?, ?, ?) "
                                     "AND rowid <> ? ORDER BY %3 LIMIT 1")
                          .arg(q(y::kEmployee), q(y::kDate), q(y::kStart), q(y::kEnd), q(y::kState))),
            {employee, r.date.trimmed(), end, start, stateText(State::Booked), stateText(State::Arrived),
             stateText(State::Done), r.rowid}));
        if (inTheWay.failed())
            return failed(inTheWay.status);
        if (inTheWay.found())
            return refused(Refusal::Overlap, *inTheWay);
    }

    b.date = r.date.trimmed();
    b.start = start;
    b.end = end;
    b.card = number;
    b.name = r.name.trimmed().isEmpty() ? holder : r.name.trimmed();
    b.phone = r.phone.trimmed();
    b.serviceItem = r.serviceItem.trimmed();
    b.employee = employee;
    b.remark = r.remark;

    DbResult w;
    if (r.rowid == 0) {
        QVariantList binds;
        for (const QString& v : b.values())
            binds << textValue(v);
        w = db.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(q(y::kTable), quoteIdents(columns()),
                             QStringList(columns().size(), QStringLiteral("?")).join(QStringLiteral(", "))),
                    binds);
    } else {
        const Database::Statement update = rowUpdate(y::kTable, columns(), r.rowid, b.values());
        w = db.exec(update.sql, update.binds);
    }
    if (!w)
        return failed(w);
    qint64 rowid = r.rowid;
    if (rowid == 0) {
        const auto key = db.selectOne(QStringLiteral("SELECT ") + db.lastKeySql(y::kTable));
        if (!key.found())
            return failed(key.failed() ? key.status : DbResult::failure(QStringLiteral("no key")));
        rowid = key->value(0).toLongLong();
    }
    if (DbResult c = tx.commit(); !c)
        return failed(c);
    Outcome o;
    o.rowid = rowid;
    b.rowid = rowid;
    o.booking = b;
    return o;
}

} // namespace

Outcome book(Database& db, const Request& r, const Hours& hours)
{
    if (const Refusal why = checkForm(r, hours); why != Refusal::None)
        return refused(why);
    const QTime start = *timeOf(r.start.trimmed());
    const QString startText = timeText(start);
    const QString endText = timeText(start.addSecs(minutesOf(r.minutes) * 60));
    return Database::retryConflicts([&] { return bookOnce(db, r, startText, endText); },
                                    [&db](const Outcome& o) { return conflicted(db, o); });
}

namespace {

Outcome setStateOnce(Database& db, qint64 rowid, State to, const QString& reason)
{
    Database::Transaction tx(db);
    if (!tx.active())
        return failed(DbResult::failure(tx.error()));
    // Arrived and no-show from booked alone; cancelled from either.
    Booking stored;
    if (auto no =
            readInState(db, rowid,
                        to == State::Cancelled ? std::initializer_list<State>{State::Booked, State::Arrived}
                                               : std::initializer_list<State>{State::Booked},
                        stored))
        return *no;
    const DbResult w =
        db.exec(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ? WHERE rowid = ?")
                    .arg(q(y::kTable), q(y::kState), q(y::kReason)),
                {stateText(to), textValue(to == State::Cancelled ? reason.trimmed() : QString()), rowid});
    if (!w)
        return failed(w);
    if (DbResult c = tx.commit(); !c)
        return failed(c);
    Outcome o;
    o.rowid = rowid;
    o.booking = stored;
    o.booking->state = stateText(to);
    return o;
}

} // namespace

Outcome setState(Database& db, qint64 rowid, State to, const QString& reason)
{
    if (to == State::Cancelled && reason.trimmed().isEmpty())
        return refused(Refusal::NoReason);
    if (to != State::Arrived && to != State::Cancelled && to != State::NoShow)
        return refused(Refusal::WrongState);
    return Database::retryConflicts([&] { return setStateOnce(db, rowid, to, reason); },
                                    [&db](const Outcome& o) { return conflicted(db, o); });
}

Outcome readyForSale(Database& db, qint64 rowid)
{
    Database::Transaction tx(db);
    if (!tx.active())
        return failed(DbResult::failure(tx.error()));
    Booking b;
    if (auto no = readInState(db, rowid, {State::Booked, State::Arrived}, b))
        return *no;
    if (!b.card.isEmpty()) {
        const auto same = cardStill(db, b.cardRow, b.card);
        if (same.failed())
            return failed(same.status);
        if (!*same)
            return refused(Refusal::CardChanged, b);
    }
    if (stateOf(b.state) == State::Booked) {
        b.state = stateText(State::Arrived);
        const DbResult w =
            db.exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?").arg(q(y::kTable), q(y::kState)),
                    {b.state, rowid});
        if (!w)
            return failed(w);
    }
    if (DbResult c = tx.commit(); !c)
        return failed(c);
    Outcome o;
    o.rowid = rowid;
    o.booking = b;
    return o;
}

Database::Write completeWrite(qint64 rowid, const QString& keySql)
{
    return {y::kTable,
            {QStringLiteral("UPDATE %1 SET %2 = ?, %3 = CAST(%4 AS TEXT) WHERE rowid = ? AND %2 = ?")
                 .arg(q(y::kTable), q(y::kState), q(y::kSale), keySql),
             {stateText(State::Done), rowid, stateText(State::Arrived)}}};
}

DbValue<Booking> find(Database& db, qint64 rowid)
{
    return rowToBooking(db.selectOne(selectSql(QStringLiteral("WHERE rowid = ?")), {rowid}));
}

DbValue<QList<Booking>> ofDay(Database& db, const QString& date)
{
    return readAll(
        db, selectSql(QStringLiteral("WHERE %1 = ? ORDER BY %2, rowid").arg(q(y::kDate), q(y::kStart))),
        {date});
}

DbValue<QList<Booking>> ofCard(Database& db, const QString& number)
{
    return readAll(db,
                   selectSql(QStringLiteral("WHERE %1 = ? ORDER BY %2 DESC, %3 DESC, rowid DESC")
                                 .arg(q(y::kCard), q(y::kDate), q(y::kStart))),
                   {number});
}

DbValue<QList<Booking>> upcoming(Database& db, const QString& date, const QString& time, int limit)
{
    return readAll(
        db,
        selectSql(QStringLiteral("WHERE %1 = ? AND %2 > ? AND %3 IN (?, ?) ORDER BY %4, rowid LIMIT ?")
                      .arg(q(y::kDate), q(y::kEnd), q(y::kState), q(y::kStart))),
        {date, time, stateText(State::Booked), stateText(State::Arrived), limit});
}

bool isOverdue(const Booking& b, const QDateTime& now)
{
    if (stateOf(b.state) != State::Booked)
        return false;
    const QString today = dateText(now.date());
    return b.date < today || (b.date == today && b.end <= timeText(now.time()));
}

DbValue<qint64> noShows(Database& db, const QString& from, const QString& to)
{
    const auto row =
        db.selectOne(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 >= ? AND %2 <= ? AND %3 = ?")
                         .arg(q(y::kTable), q(y::kDate), q(y::kState)),
                     {from, to, stateText(State::NoShow)});
    return row.map([](const QVariantList& r) { return r.value(0).toLongLong(); });
}

DbValue<Glance> glance(Database& db, const QDate& today, const QString& now, int next)
{
    Glance g;
    const QString day = dateText(today);
    const auto count = db.selectOne(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ? AND %3 <> ?")
                                        .arg(q(y::kTable), q(y::kDate), q(y::kState)),
                                    {day, stateText(State::Cancelled)});
    if (!count.found())
        return {count.status, std::nullopt};
    g.today = count->value(0).toLongLong();
    const auto coming = upcoming(db, day, now, next);
    if (!coming.found())
        return {coming.status, std::nullopt};
    g.next = *coming;
    const auto missed = noShows(db, dateText(QDate(today.year(), today.month(), 1)), day);
    if (!missed.found())
        return {missed.status, std::nullopt};
    g.monthNoShows = *missed;
    return DbValue<Glance>::of(g);
}

DbValue<int> usualMinutes(Database& db, const QString& serviceItem)
{
    const auto row =
        db.selectOne(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ? ORDER BY rowid DESC LIMIT 1")
                         .arg(q(y::kStart), q(y::kEnd), q(y::kTable), q(y::kServiceItem)),
                     {serviceItem.trimmed()});
    if (!row.found())
        return {row.status, std::nullopt};
    Booking b;
    b.start = row->value(0).toString();
    b.end = row->value(1).toString();
    if (b.minutes() <= 0)
        return DbValue<int>::none();
    return DbValue<int>::of(b.minutes());
}

DbValue<QString> cardHolder(Database& db, const QString& number)
{
    const auto row = db.selectOne(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY rowid LIMIT 1")
                                      .arg(q(card::kHolder), q(card::kTable), q(card::kNumber)),
                                  {number.trimmed()});
    return row.map([](const QVariantList& r) { return r.value(0).toString(); });
}

DbValue<Visits> visitsOf(Database& db, const QString& number, const QDate& today)
{
    namespace s = schema::salse;
    const auto row = db.selectOne(
        QStringLiteral("SELECT max(%1), count(DISTINCT CASE WHEN %1 >= ? AND %1 <= ? THEN %1 END) FROM %2 "
                       "WHERE %3 = ?")
            .arg(q(s::kDate), q(s::kHistory), q(s::kCard)),
        {dateText(today.addDays(-89)), dateText(today), number.trimmed()});
    return row.map([](const QVariantList& r) {
        return Visits{r.value(0).toString(), static_cast<int>(r.value(1).toLongLong())};
    });
}

} // namespace shop::bookings

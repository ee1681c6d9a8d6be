#include "money.h"

#include "card_ledger.h"
#include "schema.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <type_traits>
#include <vector>

namespace shop::money {

namespace {

namespace k = schema::kawu;

template <typename T> DbValue<T> failedWith(const DbResult& r)
{
    return DbValue<T>{r, std::nullopt};
}

namespace s = schema::salse;

// Sales from `from` to `to` (dates), as the sales browser selects a range.
RecordSource salesBetween(const QString& from, const QString& to)
{
    return RecordSource::all(s::kTable).filter(s::kDate, Op::Ge, from).filter(s::kDate, Op::Le, to);
}

// The one reader of every figure here: reads `columns` of the rows of
// `source`, makes a row of each with `read` and hands them to `add` in the
// order they were written (rowid order), whatever order the engine found
// cheapest (the date index for a short period, the table for a long one);
// every total rounds after each row, so that order is part of its value.
// With `rowids`, also the rows' rowids in the order a grid of `source`
// lists them: only then does the engine sort.
template <typename Read, typename Add>
DbResult inStoredOrder(Database& db, const RecordSource& source, const QStringList& columns, Read read,
                       Add add, QVector<qint64>* rowids = nullptr)
{
    using Row = std::invoke_result_t<Read, const Database::TextRow&>;
    QStringList selected;
    for (const QString& c : columns)
        selected << quoteIdent(c);
    const bool gridOrder = rowids && !source.order.isEmpty();
    if (rowids)
        rowids->clear();
    QVariantList binds;
    const QString sql = QStringLiteral("SELECT rowid, %1 FROM %2%3%4")
                            .arg(selected.join(QStringLiteral(", ")), quoteIdent(source.table),
                                 source.whereSql(&binds), gridOrder ? rows::gridOrderSql(source) : QString());
    std::vector<std::pair<qint64, Row>> kept;
    bool ordered = true;
    const DbResult r = db.selectKeyedTexts(sql, binds, [&](qint64 rowid, const Database::TextRow& row) {
        ordered = ordered && (kept.empty() || kept.back().first < rowid);
        kept.emplace_back(rowid, read(row));
        return true;
    });
    if (!r)
        return r;
    if (rowids) {
        rowids->reserve(static_cast<qsizetype>(kept.size()));
        if (gridOrder)
            for (const auto& row : kept)
                rowids->append(row.first);
    }
    if (!ordered)
        std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& row : kept) {
        if (rowids && !gridOrder)
            rowids->append(row.first);
        add(row.second);
    }
    return r;
}

// Amounts of `columns` of the rows of `source`, one total each.
template <size_t N>
DbValue<std::array<RoundedTotal, N>> sumsIn(Database& db, const RecordSource& source,
                                            const std::array<QString, N>& columns, QVector<qint64>* rowids)
{
    std::array<RoundedTotal, N> out;
    const DbResult r = inStoredOrder(
        db, source, QStringList(columns.begin(), columns.end()),
        [](const Database::TextRow& row) {
            std::array<double, N> amounts;
            for (size_t i = 0; i < N; ++i)
                amounts[i] = rows::amountOf(row.utf8(static_cast<int>(i)));
            return amounts;
        },
        [&out](const std::array<double, N>& amounts) {
            for (size_t i = 0; i < N; ++i)
                rows::addRounded(out[i], amounts[i]);
        },
        rowids);
    if (!r)
        return failedWith<std::array<RoundedTotal, N>>(r);
    return DbValue<std::array<RoundedTotal, N>>::of(out);
}

// Figures kept per key in the order the keys first come.
template <typename T> class Tally {
public:
    explicit Tally(QList<T>& out) : out_(out) {}
    // The figures of `key`, made by `make` when the key is new.
    template <typename Make> T& of(const QString& key, Make make)
    {
        auto at = at_.constFind(key);
        if (at == at_.constEnd()) {
            at = at_.insert(key, out_.size());
            out_.append(make());
        }
        return out_[*at];
    }

private:
    QList<T>& out_;
    QHash<QString, qsizetype> at_;
};

// A goods sale: its type begins so (a goods sale with a service too counts
// for its goods, as the day's closing counts it).
bool isGoodsSale(QByteArrayView type)
{
    static const QByteArray goodsSale = QStringLiteral("商品销售").toUtf8();
    return type.startsWith(goodsSale);
}

} // namespace

RoundedTotal less(const RoundedTotal& whole, const RoundedTotal& part)
{
    RoundedTotal out;
    out.rows = whole.rows - part.rows;
    out.overflow = whole.overflow || part.overflow || qSubOverflow(whole.total, part.total, &out.total);
    return out;
}

Takings PeriodTakings::net() const
{
    Takings out;
    out.total = less(less(sales.total, voidsSame.total), voidsEarlier.total);
    out.cash = less(less(sales.cash, voidsSame.cash), voidsEarlier.cash);
    out.total.rows = out.cash.rows = sales.total.rows;
    return out;
}

namespace {

// One sale's or void's money in a group of takings.
void addTo(Takings& t, bool cash, double money)
{
    rows::addRounded(t.total, money);
    if (cash)
        rows::addRounded(t.cash, money);
}

} // namespace

DbValue<TakingsPer> takingsPer(Database& db, const QString& from, const QString& to)
{
    namespace v = schema::chexiao;
    struct Row {
        QString date; // of the sale, or of the void
        QString saleDate;
        bool cash;
        double money;
    };
    const QByteArray nonMember = QStringLiteral("非会员").toUtf8();
    TakingsPer out;
    const auto sale = [&](const Database::TextRow& row) {
        return Row{row.text(0), row.text(0), row.utf8(1) == nonMember, rows::amountOf(row.utf8(2))};
    };
    DbResult r = inStoredOrder(
        db, RecordSource::all(s::kHistory).filter(s::kDate, Op::Ge, from).filter(s::kDate, Op::Le, to),
        {s::kDate, s::kCard, s::kReceived}, sale, [&](const Row& row) {
            addTo(out.days[row.date].sales, row.cash, row.money);
            addTo(out.months[row.date.left(7)].sales, row.cash, row.money);
        });
    if (!r)
        return failedWith<TakingsPer>(r);
    r = inStoredOrder(
        db,
        RecordSource::all(v::kTable)
            .filter(v::kTime, Op::Ge, from + QStringLiteral(" 00:00:00"))
            .filter(v::kTime, Op::Le, to + QStringLiteral(" 23:59:59")),
        {v::kTime, v::kDate, v::kCard, v::kReceived},
        [&](const Database::TextRow& row) {
            return Row{row.text(0).left(10), row.text(1), row.utf8(2) == nonMember,
                       rows::amountOf(row.utf8(3))};
        },
        [&](const Row& row) {
            PeriodTakings& day = out.days[row.date];
            addTo(row.saleDate == row.date ? day.voidsSame : day.voidsEarlier, row.cash, row.money);
            PeriodTakings& month = out.months[row.date.left(7)];
            addTo(row.saleDate.left(7) == row.date.left(7) ? month.voidsSame : month.voidsEarlier, row.cash,
                  row.money);
        });
    if (!r)
        return failedWith<TakingsPer>(r);
    return DbValue<TakingsPer>::of(out);
}

DbValue<PeriodTakings> takingsOn(Database& db, const QString& date)
{
    return takingsPer(db, date, date).map([&date](const TakingsPer& per) { return per.days.value(date); });
}

DbValue<RoundedTotal> receivedIn(Database& db, const RecordSource& source, QVector<qint64>* rowids)
{
    return sumsIn<1>(db, source, {s::kReceived}, rowids).map([](const auto& t) { return t[0]; });
}

DbValue<RoundedTotal> receivedOn(Database& db, const QString& date)
{
    return receivedIn(db, RecordSource::all(s::kTable).filter(s::kDate, Op::Eq, date));
}

DbValue<RoundedTotal> commissionIn(Database& db, const RecordSource& source, QVector<qint64>* rowids)
{
    return sumsIn<1>(db, source, {s::kCommission}, rowids).map([](const auto& t) { return t[0]; });
}

DbValue<SalesTotals> salesIn(Database& db, const RecordSource& source, QVector<qint64>* rowids)
{
    return sumsIn<2>(db, source, {s::kReceived, s::kCommission}, rowids).map([](const auto& t) {
        return SalesTotals{t[0], t[1]};
    });
}

DbValue<CashTotals> cashIn(Database& db, const RecordSource& source)
{
    namespace c = schema::shouzhi;
    return sumsIn<2>(db, source, {c::kExpense, c::kIncome}, nullptr).map([](const auto& t) {
        return CashTotals{t[0], t[1]};
    });
}

DbValue<QList<ItemFigures>> receivedPerItem(Database& db, const QString& from, const QString& to)
{
    struct Row {
        bool goods;
        QString key;
        QString name;
        double money;
    };
    QList<ItemFigures> out;
    Tally<ItemFigures> tally(out);
    const DbResult r = inStoredOrder(
        db, salesBetween(from, to),
        {s::kType, s::kProductCode, s::kProductName, s::kServiceItem, s::kReceived},
        [](const Database::TextRow& row) {
            const bool goods = isGoodsSale(row.utf8(0));
            return Row{goods, goods ? row.text(1) : row.text(3), goods ? row.text(2) : row.text(3),
                       rows::amountOf(row.utf8(4))};
        },
        [&](const Row& row) {
            // A goods code and a service item of the same text are two things.
            const QString key = (row.goods ? QLatin1Char('g') : QLatin1Char('s')) + row.key;
            ItemFigures& item = tally.of(key, [&] {
                return ItemFigures{row.name, row.goods ? row.key : QString(), row.goods, {}};
            });
            rows::addRounded(item.received, row.money);
        });
    if (!r)
        return failedWith<QList<ItemFigures>>(r);
    // Most first; a total beyond range is more than any; ties in first-sold order.
    std::stable_sort(out.begin(), out.end(), [](const ItemFigures& a, const ItemFigures& b) {
        if (a.received.overflow != b.received.overflow)
            return a.received.overflow;
        return a.received.total > b.received.total;
    });
    return DbValue<QList<ItemFigures>>::of(out);
}

DbValue<QList<EmployeeFigures>> perEmployee(Database& db, const QString& from, const QString& to)
{
    struct Row {
        QString name;
        double money;
        double commission;
    };
    QList<EmployeeFigures> out;
    Tally<EmployeeFigures> tally(out);
    const DbResult r = inStoredOrder(
        db, salesBetween(from, to), {s::kEmployee, s::kReceived, s::kCommission},
        [](const Database::TextRow& row) {
            return Row{row.text(0), rows::amountOf(row.utf8(1)), rows::amountOf(row.utf8(2))};
        },
        [&](const Row& row) {
            EmployeeFigures& e = tally.of(row.name, [&] { return EmployeeFigures{row.name, {}, {}}; });
            rows::addRounded(e.received, row.money);
            rows::addRounded(e.commission, row.commission);
        });
    if (!r)
        return failedWith<QList<EmployeeFigures>>(r);
    return DbValue<QList<EmployeeFigures>>::of(out);
}

DbValue<CardsOwed> cardsOwed(Database& db)
{
    namespace c = schema::numbercard;
    struct Row {
        bool value;
        bool uses;
        double balance;
        double left;
    };
    CardsOwed out;
    const DbResult r = inStoredOrder(
        db, RecordSource::all(c::kTable), {c::kType, c::kBalance, c::kUses},
        [](const Database::TextRow& row) {
            const QString type = row.text(0);
            return Row{cards::isValueCard(type), cards::isUseCard(type), rows::amountOf(row.utf8(1)),
                       rows::amountOf(row.utf8(2))};
        },
        [&](const Row& row) {
            if (row.value)
                rows::addRounded(out.balance, row.balance);
            if (row.uses)
                rows::addRounded(out.uses, row.left);
        });
    if (!r)
        return failedWith<CardsOwed>(r);
    return DbValue<CardsOwed>::of(out);
}

RecordSource ledgerDays(const QString& from, const QString& to)
{
    return RecordSource::all(k::kTable)
        .filter(k::kTime, Op::Ge, from + QStringLiteral(" 00:00:00"))
        .filter(k::kTime, Op::Le, to + QStringLiteral(" 23:59:59"));
}

RecordSource ledgerDay(const QString& date)
{
    return ledgerDays(date, date);
}

DbValue<LedgerTotals> ledgerTotals(Database& db, const RecordSource& source)
{
    // A card's change: an opening, a sale's charge, a void's give-back, a
    // change of its figures by hand (a top-up, 修改, a grid edit), or none
    // that adds (a deletion, the ledger's first row).
    enum Kind { Open, Charge, Back, ByHand, NoAddition };
    struct Row {
        Kind kind;
        std::optional<double> received; // none: no money received
        double balance, uses;           // added (less than 0: taken)
    };
    const auto kindOf = [](QByteArrayView kind) {
        static const QList<std::pair<QByteArray, Kind>> kinds = {
            {cards::changeText(cards::Change::Open).toUtf8(), Open},
            {cards::changeText(cards::Change::Charge).toUtf8(), Charge},
            {cards::changeText(cards::Change::Void).toUtf8(), Back},
            {cards::changeText(cards::Change::Delete).toUtf8(), NoAddition},
            {cards::changeText(cards::Change::Begin).toUtf8(), NoAddition},
            // A card brought from a file keeps what it had: nothing given here.
            {cards::changeText(cards::Change::Import).toUtf8(), NoAddition}};
        for (const auto& [text, k] : kinds)
            if (kind == text)
                return k;
        return ByHand;
    };
    LedgerTotals out;
    // In the order the rows were written, whatever order a grid shows.
    const DbResult r = inStoredOrder(
        db, source,
        {k::kKind, k::kReceived, k::kBalanceBefore, k::kBalanceAfter, k::kUsesBefore, k::kUsesAfter},
        [&](const Database::TextRow& row) {
            return Row{kindOf(row.utf8(0)),
                       row.utf8(1).isEmpty() ? std::nullopt : std::optional(rows::amountOf(row.utf8(1))),
                       rows::amountOf(row.utf8(3)) - rows::amountOf(row.utf8(2)),
                       rows::amountOf(row.utf8(5)) - rows::amountOf(row.utf8(4))};
        },
        [&](const Row& row) {
            if (row.received) {
                rows::addRounded(out.received, *row.received);
                if (row.kind == Open)
                    rows::addRounded(out.opened, *row.received);
            }
            switch (row.kind) {
            case Charge:
                rows::addRounded(out.charged, -row.balance);
                rows::addRounded(out.uses, -row.uses);
                break;
            case Back:
                rows::addRounded(out.chargedBack, row.balance);
                rows::addRounded(out.usesBack, row.uses);
                break;
            case Open:
            case ByHand:
                // Added with no money: none given, or 0.
                if (row.received.value_or(0) == 0) {
                    if (row.balance > 0)
                        rows::addRounded(out.freeBalance, row.balance);
                    if (row.uses > 0)
                        rows::addRounded(out.freeUses, row.uses);
                }
                break;
            case NoAddition:
                break;
            }
        });
    if (!r)
        return failedWith<LedgerTotals>(r);
    return DbValue<LedgerTotals>::of(out);
}

DbValue<DayClosing> dayClosing(Database& db, const QString& date)
{
    DayClosing out;
    out.date = date;
    const auto takings = takingsOn(db, date);
    if (!takings)
        return failedWith<DayClosing>(takings.status);
    out.takings = *takings;

    // The day's sales once more, in the order they were written, for the
    // figures by goods line and by employee.
    struct Row {
        bool goods;
        QString code, name, employee;
        double quantity, money, commission;
    };
    Tally<GoodsFigures> goods(out.goods);
    Tally<EmployeeFigures> employees(out.employees);
    const DbResult r = inStoredOrder(
        db, RecordSource::all(s::kHistory).filter(s::kDate, Op::Eq, date),
        {s::kType, s::kProductCode, s::kProductName, s::kQuantity, s::kReceived, s::kEmployee,
         s::kCommission},
        [](const Database::TextRow& row) {
            return Row{isGoodsSale(row.utf8(0)),
                       row.text(1),
                       row.text(2),
                       row.text(5),
                       rows::amountOf(row.utf8(3)),
                       rows::amountOf(row.utf8(4)),
                       rows::amountOf(row.utf8(6))};
        },
        [&](const Row& row) {
            if (row.goods) {
                GoodsFigures& g = goods.of(row.code, [&] { return GoodsFigures{row.code, row.name, 0, {}}; });
                g.quantity += row.quantity;
                rows::addRounded(g.received, row.money);
            }
            EmployeeFigures& e = employees.of(row.employee, [&] {
                return EmployeeFigures{row.employee, {}, {}};
            });
            rows::addRounded(e.received, row.money);
            rows::addRounded(e.commission, row.commission);
        });
    if (!r)
        return failedWith<DayClosing>(r);

    const auto cards = ledgerTotals(db, ledgerDay(date));
    if (!cards)
        return failedWith<DayClosing>(cards.status);
    out.cards = *cards;

    namespace c = schema::shouzhi;
    const auto cash = cashIn(db, RecordSource::all(c::kTable).filter(c::kDate, Op::Eq, date));
    if (!cash)
        return failedWith<DayClosing>(cash.status);
    out.expense = cash->expense;
    out.income = cash->income;
    return DbValue<DayClosing>::of(out);
}

} // namespace shop::money

#include "overview_figures.h"

#include "data/clock.h"
#include "data/schema.h"
#include "data/table_rows.h"

namespace shop::overview {

namespace {
template <typename T> DbValue<Figures> failedWith(const DbValue<T>& v)
{
    return DbValue<Figures>{v.status, std::nullopt};
}

QString dateText(const QDate& d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}
} // namespace

QString firstDayShown(const QDate& today)
{
    return dateText(today.addDays(-29));
}

QString firstMonthShown(const QDate& today)
{
    return dateText(QDate(today.year(), today.month(), 1).addMonths(-11));
}

QString monthStart(const QDate& today)
{
    return dateText(QDate(today.year(), today.month(), 1));
}

DbValue<QList<StockLine>> lowStock(Database& db, double threshold)
{
    namespace g = schema::jinhuo;
    QList<StockLine> out;
    const DbResult r = db.selectKeyedTexts(
        QStringLiteral("SELECT rowid, %1, %2, %3 FROM %4 ORDER BY rowid")
            .arg(quoteIdent(g::kCode), quoteIdent(g::kName), quoteIdent(g::kStock), quoteIdent(g::kTable)),
        {}, [&](qint64, const Database::TextRow& row) {
            // A stock beyond any number is never low.
            if (rows::amountOf(row.utf8(2)) <= threshold)
                out.append(StockLine{row.text(0), row.text(1), row.text(2)});
            return true;
        });
    if (!r)
        return {r, std::nullopt};
    return DbValue<QList<StockLine>>::of(out);
}

const QStringList& sources()
{
    // takingsPer: sales and voids; receivedPerItem, perEmployee: sales;
    // cardsOwed: the cards; ledgerTotals: the card ledger; lowStock: the goods;
    // bookings::glance: the bookings; marginsPerMonth: the sales, whose cost
    // is written with them.
    static const QStringList tables{schema::salse::kTable,      schema::chexiao::kTable,
                                    schema::numbercard::kTable, schema::kawu::kTable,
                                    schema::jinhuo::kTable,     schema::yuyue::kTable};
    return tables;
}

DbValue<Figures> read(Database& db, const QDate& today, bool withMoney, std::optional<double> lowStockAt,
                      const QString& now)
{
    Figures f;
    f.today = dateText(today);
    f.money = withMoney;
    f.stock = lowStockAt.has_value();
    f.threshold = lowStockAt.value_or(0);
    const QString weekBefore = dateText(today.addDays(-7));
    // A day's or a month's figure is its takings as the day's closing
    // counts them: its sales less the voids made in it.
    const auto net = [](const money::PeriodTakings& t) { return t.net().total; };
    if (!withMoney) {
        const auto sales = money::takingsOn(db, f.today);
        if (!sales)
            return failedWith(sales);
        f.todaySales.rows = sales->sales.total.rows;
    } else {
        const auto per = money::takingsPer(db, firstMonthShown(today), f.today);
        if (!per)
            return failedWith(per);
        f.todaySales = net(per->days.value(f.today));
        f.lastWeekSales = net(per->days.value(weekBefore));
        for (QDate d = today.addDays(-29); d <= today; d = d.addDays(1))
            f.days.append(DayFigure{dateText(d), net(per->days.value(dateText(d)))});
        for (int i = 11; i >= 0; --i) {
            const QString month = dateText(today.addMonths(-i)).left(7);
            f.months.append(DayFigure{month, net(per->months.value(month))});
        }
        const QString from = monthStart(today);
        const auto items = money::receivedPerItem(db, from, f.today);
        if (!items)
            return failedWith(items);
        f.topItems = items->mid(0, 10);
        const auto employees = money::perEmployee(db, from, f.today);
        if (!employees)
            return failedWith(employees);
        f.employees = *employees;
        const auto cards = money::cardsOwed(db);
        if (!cards)
            return failedWith(cards);
        f.cards = *cards;
        const auto ledger = money::ledgerTotals(db, money::ledgerDays(from, f.today));
        if (!ledger)
            return failedWith(ledger);
        f.cardMoney = *ledger;
        // This month's goods alone: the overview shows no services' margin.
        const auto margin = money::marginsPerMonth(db, from, f.today);
        if (!margin)
            return failedWith(margin);
        f.monthMargin = margin->value(f.today.left(7));
    }
    const auto booked = bookings::glance(db, today, now);
    if (!booked)
        return failedWith(booked);
    f.bookings = *booked;
    if (!f.stock)
        return DbValue<Figures>::of(f);
    const auto low = lowStock(db, f.threshold);
    if (!low)
        return failedWith(low);
    f.lowStock = *low;
    return DbValue<Figures>::of(f);
}

DbValue<QList<MonthMargin>> monthMargins(Database& db, const QDate& today)
{
    const auto margins = money::marginsPerMonth(db, firstMonthShown(today), dateText(today));
    if (!margins)
        return {margins.status, std::nullopt};
    QList<MonthMargin> out;
    for (int i = 11; i >= 0; --i) {
        const QString month = dateText(today.addMonths(-i)).left(7);
        out.append(MonthMargin{month, margins->value(month)});
    }
    return DbValue<QList<MonthMargin>>::of(out);
}

} // namespace shop::overview

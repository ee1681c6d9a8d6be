#pragma once

#include "database.h"
#include "record_source.h"
#include "table_rows.h"

#include <QList>
#include <QMap>
#include <QString>

// The shop's figures of money, each defined once: every window, report and
// document that shows one calls these. Money is summed row by row, rounded
// half to even after each addition, in the order the rows were written.
namespace shop::money {

using rows::RoundedTotal;

// `whole` less `part` (rows and money): the rest of a whole split in two.
RoundedTotal less(const RoundedTotal& whole, const RoundedTotal& part);

// Money received on a day: the day's 实收金额 in salse (the daily total).
DbValue<RoundedTotal> receivedOn(Database& db, const QString& date);

// Money received from `from` to `to` (dates), per day and per month
// (yyyy-MM): each period's rows summed in stored order, so a day holds its
// daily total and a month the sales browser's total over that month's days
// within the span. Periods without sales are absent.
struct ReceivedPer {
    QMap<QString, RoundedTotal> days;
    QMap<QString, RoundedTotal> months;
};
DbValue<ReceivedPer> receivedPer(Database& db, const QString& from, const QString& to);

// The card ledger's figures over some of its rows.
struct LedgerTotals {
    RoundedTotal received; // money received (openings and top-ups)
    RoundedTotal charged;  // amount charged to cards by sales, less what voids gave back
    RoundedTotal uses;     // uses charged by sales, less what voids gave back
};
// Over the rows of `source` (a source on the card ledger), in its order.
DbValue<LedgerTotals> ledgerTotals(Database& db, const RecordSource& source);
// The ledger's rows of one day.
RecordSource ledgerDay(const QString& date);

struct EmployeeFigures {
    QString name;
    RoundedTotal received; // rows: the employee's sales
    RoundedTotal commission;
};

struct GoodsFigures {
    QString code;
    QString name; // as the first sale of the day wrote it
    double quantity = 0;
    RoundedTotal received;
};

// Goods and services by money received from `from` to `to`, most first:
// a goods sale counts for its goods (by product code) as in the day's
// closing, any other sale for its service item.
struct ItemFigures {
    QString name; // the goods name the first sale wrote, or the service item
    QString code; // the goods' product code (empty for a service)
    bool goods = false;
    RoundedTotal received;
};
DbValue<QList<ItemFigures>> receivedPerItem(Database& db, const QString& from, const QString& to);

// Money received and commission per employee from `from` to `to`, in
// first-sale order: each the rows the salary window totals for that
// employee and period.
DbValue<QList<EmployeeFigures>> perEmployee(Database& db, const QString& from, const QString& to);

// What the shop owes on its cards: the balances of stored-value cards and
// the uses left on use-based cards, in stored order.
struct CardsOwed {
    RoundedTotal balance;
    RoundedTotal uses;
};
DbValue<CardsOwed> cardsOwed(Database& db);
// The card ledger's rows from `from` to `to` (dates).
RecordSource ledgerDays(const QString& from, const QString& to);

// A day's closing.
struct DayClosing {
    QString date;
    RoundedTotal received; // every sale of the day (rows: the count)
    RoundedTotal cash;     // of them, non-member sales
    RoundedTotal card;     // of them, sales to a card: the rest, so cash + card = received
    LedgerTotals cards;    // the card ledger's rows of the day
    RoundedTotal expense;  // the income and expense ledger's day
    RoundedTotal income;
    QList<GoodsFigures> goods;        // goods sold, by product code, in first-sold order
    QList<EmployeeFigures> employees; // by employee, in first-sale order
    RoundedTotal voids;               // sales voided that day (rows) and their money received
};
DbValue<DayClosing> dayClosing(Database& db, const QString& date);

} // namespace shop::money

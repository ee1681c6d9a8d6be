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

// Money taken by some sales: the whole (rows: the sales) and the part paid
// in cash by customers without a card; the rest was paid by card.
struct Takings {
    RoundedTotal total;
    RoundedTotal cash;
    RoundedTotal card() const { return less(total, cash); }
};

// The takings of a period (a day, a month): every sale counts in the period
// it was made, and every void in the period it was made, as a deduction
// in cash or by card as the sale was paid. The sales are salse_history's,
// which keeps them all: a closing, once its period is over, never changes.
struct PeriodTakings {
    Takings sales;
    Takings voidsSame;    // voids of the period's own sales
    Takings voidsEarlier; // voids of sales made before the period
    // The sales less both voids; its rows are the sales'.
    Takings net() const;
};
DbValue<PeriodTakings> takingsOn(Database& db, const QString& date);
// From `from` to `to` (dates), per day and per month (yyyy-MM) within the
// span; periods without sales or voids are absent.
struct TakingsPer {
    QMap<QString, PeriodTakings> days;
    QMap<QString, PeriodTakings> months;
};
DbValue<TakingsPer> takingsPer(Database& db, const QString& from, const QString& to);

// Money received in the rows of `source` (a source on salse): the sales
// records browser's total of a range. With `rowids`, the rows' rowids in
// the order a grid of `source` lists them, so the grid shows exactly the
// rows totalled (the same for every figure below that takes them).
DbValue<RoundedTotal> receivedIn(Database& db, const RecordSource& source, QVector<qint64>* rowids = nullptr);
// Money received on a day: the day's rows of salse (the daily total).
DbValue<RoundedTotal> receivedOn(Database& db, const QString& date);
// The commission of the rows of `source` (on salse): the salary window's
// 提成总额 of an employee's period.
DbValue<RoundedTotal> commissionIn(Database& db, const RecordSource& source,
                                   QVector<qint64>* rowids = nullptr);
// Both of the rows of `source` (on salse): the salary window's totals of
// one service item.
struct SalesTotals {
    RoundedTotal received;
    RoundedTotal commission;
};
DbValue<SalesTotals> salesIn(Database& db, const RecordSource& source, QVector<qint64>* rowids = nullptr);

// Expense and income of the rows of `source` (on shouzhi): the income and
// expense ledger's 统计 over a period.
struct CashTotals {
    RoundedTotal expense;
    RoundedTotal income;
};
DbValue<CashTotals> cashIn(Database& db, const RecordSource& source);

// The card ledger's figures over some of its rows.
struct LedgerTotals {
    // Money received (openings and top-ups); of it at openings, and the
    // rest (top-ups and 修改).
    RoundedTotal received;
    RoundedTotal opened;
    RoundedTotal toppedUp() const { return less(received, opened); }
    // Balances and uses added without money received (openings, top-ups,
    // changes and grid edits whose money was 0 or not given).
    RoundedTotal freeBalance;
    RoundedTotal freeUses;
    RoundedTotal charged;     // amount charged to cards by sales
    RoundedTotal uses;        // uses charged by sales
    RoundedTotal chargedBack; // amount given back by voids
    RoundedTotal usesBack;    // uses given back by voids
    // What the cards paid: the charges less what voids gave back.
    RoundedTotal netCharged() const { return less(charged, chargedBack); }
    RoundedTotal netUses() const { return less(uses, usesBack); }
};
// Over the rows of `source` (a source on the card ledger), in the order they
// were written, whatever order the source gives a grid.
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

// A day's closing: the day's takings, the card ledger's and the income and
// expense ledger's rows of the day, and the goods and employees of the
// sales made that day.
struct DayClosing {
    QString date;
    PeriodTakings takings;
    LedgerTotals cards;
    RoundedTotal expense;
    RoundedTotal income;
    QList<GoodsFigures> goods;        // goods sold, by product code, in first-sold order
    QList<EmployeeFigures> employees; // by employee, in first-sale order
};
DbValue<DayClosing> dayClosing(Database& db, const QString& date);

} // namespace shop::money

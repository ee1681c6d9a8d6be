#pragma once

#include "database.h"
#include "record_source.h"
#include "table_rows.h"

#include <QList>
#include <QString>

// The shop's figures of money, each defined once: every window, report and
// document that shows one calls these. Money is summed row by row, rounded
// half to even after each addition, in the order the rows were written.
namespace shop::money {

using rows::RoundedTotal;

// Money received on a day: the day's 实收金额 in salse (the daily total).
DbValue<RoundedTotal> receivedOn(Database& db, const QString& date);

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

// A day's closing.
struct DayClosing {
    QString date;
    RoundedTotal received; // every sale of the day (rows: the count)
    RoundedTotal cash;     // of them, non-member sales
    RoundedTotal card;     // of them, sales to a card
    LedgerTotals cards;    // the card ledger's rows of the day
    RoundedTotal expense;  // the income and expense ledger's day
    RoundedTotal income;
    QList<GoodsFigures> goods;        // goods sold, by product code, in first-sold order
    QList<EmployeeFigures> employees; // by employee, in first-sale order
    RoundedTotal voids;               // sales voided that day (rows) and their money received
};
DbValue<DayClosing> dayClosing(Database& db, const QString& date);

} // namespace shop::money

#pragma once

#include "database.h"
#include "record_source.h"

#include <QStringList>

#include <functional>

// Writes to numbercard go through cards:: (card_ledger.h), which keeps
// each change of a card's amount or uses in the card ledger; writes to
// jinhuo through stock:: (stock_ledger.h), which keeps each change of stock.
namespace shop::rows {

// Binds every value as text, in the order given.
QVariantList textBinds(const QStringList& values);

// One new row; `values` in the table's column order.
DbResult insert(Database& db, const QString& table, const QStringList& values);

// One new row unless a stored row matches every condition of `key`: the
// check and the insert are one transaction that another connection saving
// the same key waits for, so two tills never both store it. The rowid of
// the row already there, or no value when the row was inserted. `write`,
// when given, inserts the row in place of insert().
using RowWrite = std::function<DbResult(Database& db, const QStringList& values)>;
DbValue<qint64> insertUnlessFound(Database& db, const QString& table, const QStringList& values,
                                  const QList<Condition>& key, const RowWrite& write = {});

// Every column of exactly one stored row.
DbResult updateRowid(Database& db, const QString& table, qint64 rowid, const QStringList& values);

// Exactly one stored row.
DbResult deleteRowid(Database& db, const QString& table, qint64 rowid);

// Every row of the table, in one transaction.
DbResult emptyTable(Database& db, const QString& table);

// The rowid of the first row, in stored order, of the whole table that
// matches every condition; no value when none matches.
DbValue<qint64> firstRowid(Database& db, const QString& table, const QList<Condition>& where);

// " ORDER BY ..." as a grid pages a source: its keys (text in pinyin order,
// see orderTerm), then the rowid
// (descending only when every key is), so each row has one place.
// SortKeys orders text by sort keys (orderKeyTerm): the same order, faster
// for a whole result that is sorted anyway, never served by an index.
enum class TextSort { Collation, SortKeys };
QString gridOrderSql(const RecordSource& source, TextSort text = TextSort::Collation);

// The first row a grid showing `source` lists among those that also match
// `where`: the source's order, the rowid breaking ties as the grid does.
DbValue<qint64> firstRowidIn(Database& db, const RecordSource& source, const QList<Condition>& where);

// `rowid` while that row still matches every condition; no value when it
// is gone or no longer matches.
DbValue<qint64> rowidIfMatches(Database& db, const QString& table, qint64 rowid,
                               const QList<Condition>& where);

// The stored values of one row (every column, in order), read afresh:
// another window may have changed it since a grid read its page.
DbValue<QStringList> storedRow(Database& db, const QString& table, qint64 rowid);

// The employee names of `worker`, in stored order (the com_name lists).
DbValue<QStringList> workerNames(Database& db);

// A column's amounts summed row by row, rounded half to even after each
// addition (the figures of money.h).
// `overflow` is set (and `total` meaningless) when the sum leaves the range
// of a whole number, so no figure ever wraps.
struct RoundedTotal {
    qint64 rows = 0;
    qint64 total = 0;
    bool overflow = false;
};
// One row's value added to a total so (a value beyond any number, given as
// an infinity, leaves the total beyond range).
void addRounded(RoundedTotal& total, double value);
// A stored amount's value, as the totals read it: beyond any number is an
// infinity, never 0.
double amountOf(QByteArrayView utf8);

} // namespace shop::rows

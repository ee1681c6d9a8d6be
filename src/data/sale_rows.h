#pragma once

#include "database.h"

#include <QStringList>

// A sale's rows and its key. The key is the rowid of the sale's
// salse_history row, which is never deleted; its salse row is written under
// the same rowid, so the row a grid shows names its sale. A voided sale
// keeps its key: its salse row goes, its history row and the void record
// stay.
namespace shop::sales {

// The queries that give a new sale its key inside the sale's transaction
// (the last one's single value): beyond every row of both tables, so the
// salse row can take it too. A file's transaction holds the write lock; on a
// server the first query takes the lock under which the sales of every till
// take their keys, held until the transaction ends, and the key is read in a
// statement of its own after it, so that it sees the sales committed while
// it waited. They name no table of their own, so they may be read with the
// rows read for update.
QList<Database::Statement> nextKey(const Database& db);
// The statements that append a sale (the thirteen values in column order)
// to salse_history and salse under `key`, read by nextKey() in the same
// transaction.
QList<Database::Statement> appendStatements(const Database& db, qint64 key, const QStringList& values);

// The key of salse row `rowid` holding `values`: the history row of the same
// rowid and values, or, for a sale saved before sales had keys, the first
// history row with the same values that no void names. Empty when there is
// none.
DbValue<QString> keyOf(Database& db, qint64 rowid, const QStringList& values);

// Whether a void names the sale.
DbValue<bool> isVoided(Database& db, const QString& key);

// The void record of a sale (its thirteen values), stamped with the
// writer's login and time.
Database::Statement voidRecord(const Database& db, const QString& key, const QStringList& values);

} // namespace shop::sales

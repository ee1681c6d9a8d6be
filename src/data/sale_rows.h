#pragma once

#include "database.h"

#include <QStringList>

// A sale's rows and its key. The key is the rowid of the sale's
// salse_history row, which is never deleted; its salse row is written under
// the same rowid, so the row a grid shows names its sale. A voided sale
// keeps its key: its salse row goes, its history row and the void record
// stay.
namespace shop::sales {

// The statements that append a sale (the thirteen values in column order)
// to salse_history and salse under a new key.
QList<Database::Statement> appendStatements(const Database& db, const QStringList& values);
// An expression for the key of the sale appended last in this transaction.
QString lastKeySql(const Database& db);

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

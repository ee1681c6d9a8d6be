#pragma once

#include "database.h"

#include <QStringList>

// A sale's rows and its key. The key is the rowid of the sale's
// salse_history row, which is never deleted; its salse row is written under
// the same rowid, so the row a grid shows names its sale. A voided sale
// keeps its key: its salse row goes, its history row and the void record
// stay.
namespace shop::sales {

// A sale's thirteen values by name; their stored order (salse's columns)
// comes from the schema alone.
struct SaleRow {
    QString date, type, card, productCode, productName, quantity, retailPrice, purchaseDate, received,
        serviceItem, employee, remark, commission;
    static SaleRow fromValues(const QStringList& values);
    QStringList values() const;
    bool operator==(const SaleRow&) const = default;
};

// The statements that append a sale (the thirteen values in column order)
// to salse_history and salse under a new key, inside the sale's transaction;
// the first one gives the key back, so a server sends it with the other
// writes and the commit, in one round trip. The key lies beyond every row of
// both tables, so the salse row can take it too: in a file the next after
// them (the transaction holds the write lock), on a server the next value of
// the history's counter, which no two tills draw alike and none waits for.
QList<Database::Write> appendWrites(const Database& db, const QStringList& values);
// The same statements alone.
QList<Database::Statement> appendStatements(const Database& db, const QStringList& values);
// An expression for the key of the sale appended earlier in the same
// transaction, for the statements after it.
QString keySql(const Database& db);
// The queries (the last one's single value) that give a key beyond every
// key given so far, for a mark of where something began. A file's
// transaction holds the write lock already; on a server the first query
// takes a lock held until the transaction ends, at which two such marks
// meet (sales draw their keys without it), and the key is read in a
// statement of its own after it, so that it sees what was committed while it
// waited.
QList<Database::Statement> nextKey(const Database& db);

// The key of salse row `rowid` holding `values`: the history row of the same
// rowid and values, or, for a sale saved before sales had keys, the first
// history row with the same values that no void names. Empty when there is
// none.
DbValue<QString> keyOf(Database& db, qint64 rowid, const QStringList& values);

// Whether a void names the sale.
DbValue<bool> isVoided(Database& db, const QString& key);

// The void record of a sale (its thirteen values), stamped with the
// writer's login and time.
Database::Write voidRecord(const Database& db, const QString& key, const QStringList& values);

} // namespace shop::sales

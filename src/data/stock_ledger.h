#pragma once

#include "database.h"
#include "record_source.h"

#include <QStringList>

#include <functional>
#include <optional>

// The one write path of the goods lines' stock (jinhuo.库存数量): every
// change is written together with its row in the stock ledger, in one
// transaction, so neither exists without the other. The row writers of
// table_rows and the grid model send their writes to jinhuo here; the
// sale, the void, the purchase tab and the stocktaking build on it.
namespace shop::stock {

// The kinds of change the ledger keeps (its 类别 texts). Opening is a line's
// first row when the ledger began after the line was stored; Import, the
// first row of a line brought in from a file.
enum class Change { Purchase, Restock, Sale, Void, Modify, GridEdit, Count, Delete, Empty, Opening, Import };
QString changeText(Change c);

// Whether writes to `table` are the goods lines' own.
bool isGoodsTable(const QString& table);

// A line's stored values (jinhuo's columns in stored order) read and
// written by column name (schema::jinhuo).
QString valueOf(const QStringList& line, const QString& column);
void setValue(QStringList& line, const QString& column, const QString& value);
// A line with every value empty, to be filled by setValue.
QStringList blankLine();

// The line a row names: the rowid bound, or an SQL expression for a rowid
// given earlier in the same transaction (see Database::lastKeySql).
struct LineKey {
    qint64 rowid = 0;
    QString sql;
};

// What a ledger row says besides the line and its stock.
struct Note {
    QString sale;    // the sale's key (销售, 撤销)
    QString saleSql; // or an expression for a key given earlier in the same transaction
    QString reason;
};

// The statement that appends one ledger row for the line holding `line`
// (its stored values: name, code, date and unit cost are taken from them),
// stamped with the writer's login and time. A sale's row carries its cost:
// the quantity taken times the unit cost.
Database::Statement ledgerRow(const Database& db, Change kind, const LineKey& key, const QStringList& line,
                              const QString& before, const QString& after, const Note& note);

// Sets the stock of line `rowid`, whose stored values `stored` were read
// inside the caller's transaction under lock, and appends its ledger row:
// for the caller's writes of a sale or a void.
QList<Database::Write> setStock(const Database& db, qint64 rowid, const QStringList& stored,
                                const QString& after, Change kind, const Note& note);

// The stored values of line `rowid` (in column order), read for a change
// inside a transaction: locked on a server until it ends. No value when the
// row is gone.
DbValue<QStringList> readForChange(Database& db, qint64 rowid);

// What a change did: the line before and after; no values when its row was
// gone (nothing written) or `compute` refused.
struct Changed {
    QStringList before;
    QStringList after;
    bool refused = false;
    bool gone() const { return before.isEmpty() && !refused; }
};

// Rewrites line `rowid`: `compute` gets its stored values and gives the new
// ones (no value: nothing is written). The row and, when its stock, name,
// code, date or unit cost change, its ledger row are written in one
// transaction: the caller's, or one of its own.
using Compute = std::function<std::optional<QStringList>(const QStringList& stored)>;
DbValue<Changed> change(Database& db, qint64 rowid, Change kind, const Note& note, const Compute& compute);

// Inserts a line (values in column order) with its ledger row.
DbResult add(Database& db, const QStringList& values, Change kind = Change::Purchase, const Note& note = {});

// The rows that insert lines brought in by an import, each under the rowid
// given with it (Database::newKeys), and their first ledger rows (导入, from
// nothing to the line's stock): for Database::insertRows in the import's
// own transaction, lines first. Empty when a line's values do not fill one.
using KeyedLine = std::pair<qint64, QStringList>;
QList<Database::Rows> importRows(const Database& db, const QList<KeyedLine>& lines, const QString& reason);

// Deletes line `rowid` with its 删除 row; rowsAffected 0 when it was gone.
DbResult remove(Database& db, qint64 rowid, const QString& reason = {});

// Empties jinhuo, every line with its 清空 row: in the caller's transaction,
// or one of its own.
DbResult removeAll(Database& db, const QString& reason);

// Gives every line an opening row (期初, its stock as it stands) when the
// ledger is empty and lines exist: a file or server from before the ledger.
// Inside the caller's transaction; on a server under a lock, so that two
// tills opening at once write them once.
DbResult writeOpeningRows(Database& db);
// Whether writeOpeningRows() has work to do (false when the ledger is not there).
DbValue<bool> openingRowsDue(Database& db);

// The line's last ledger row: its rowid and the stock after it; no value
// when the line has none.
struct LastRow {
    qint64 rowid = 0;
    QString after;
};
DbValue<LastRow> lastRowOf(Database& db, qint64 lineRow);

// Stock added and taken over the rows of `source` (a source on the ledger),
// opening rows not counted: they record what was there, not a movement.
struct Movements {
    qint64 rows = 0;
    double in = 0;
    double out = 0; // as a positive figure
};
DbValue<Movements> movementsIn(Database& db, const RecordSource& source);

} // namespace shop::stock

#pragma once

#include "database.h"

#include <QStringList>

#include <functional>
#include <optional>

// The one write path of the member cards (numbercard): every change of a
// card's amount or uses is written together with its row in the card
// ledger (kawu), in one transaction, so neither exists without the other.
// The row writers of table_rows and the grid model send their writes to
// numbercard here; the services build on it.
namespace shop::cards {

// The kinds of change the ledger keeps (its 类别 texts).
// Begin is the ledger's first row: it names the last sale stored before
// the ledger existed. Import: a card brought from a file, with the balance
// and uses it had (no money received here).
enum class Change { Open, TopUp, Charge, Modify, GridEdit, Delete, Void, Begin, Import };
QString changeText(Change c);

// Whether writes to `table` are the cards' own.
bool isCardTable(const QString& table);

// A card of uses (月卡, 季卡, 年卡, 其它: a sale takes one use) and a
// stored-value card (钻石卡: a sale takes the amount received). Other types
// are never charged.
bool isUseCard(const QString& type);
bool isValueCard(const QString& type);

// A card's stored values (numbercard's columns in stored order) read and
// written by column name (schema::numbercard).
QString valueOf(const QStringList& card, const QString& column);
void setValue(QStringList& card, const QString& column, const QString& value);

// A card's amount (金额) and uses (次数), as stored texts.
struct Figures {
    QString balance;
    QString uses;
    bool operator==(const Figures&) const = default;
    static Figures of(const QStringList& card);
};

// A key bound as text, or an SQL expression for a key given earlier in the
// same transaction (see Database::lastKeySql).
struct Key {
    QString text;
    QString sql;
};

// What a ledger row says besides the card and its figures.
struct Note {
    QString received; // money received (an opening or a top-up)
    QString handler;  // the employee (经手人)
    QString remark;
    Key sale; // the sale's key (消费, 撤销消费)
};

// The statement that appends one ledger row, stamped with the writer's
// login and time.
Database::Statement ledgerRow(const Database& db, Change kind, const QString& number, const Key& cardRow,
                              const Figures& before, const Figures& after, const Note& note);

// Sets the amount and uses of card `rowid` (read inside the caller's
// transaction, under lock) and appends the ledger row: for the caller's
// writes of a sale or a void.
QList<Database::Write> setFigures(const Database& db, qint64 rowid, const QString& number, Change kind,
                                  const Figures& before, const Figures& after, const Note& note);

// The stored values of card `rowid` (in column order), read for a change
// inside a transaction: locked on a server until it ends. No value when
// the row is gone.
DbValue<QStringList> readForChange(Database& db, qint64 rowid);

// What the ledger kept of sale `key`'s charge: the card's row and its
// figures before and after. No value for a sale never charged to a card or
// stored before the ledger.
struct Charge {
    qint64 cardRow = 0;
    Figures before;
    Figures after;
};
DbValue<Charge> chargeOf(Database& db, const QString& key);

// Where the ledger began, written once in the transaction that makes or
// upgrades the tables (on a server under the keys' lock, see
// sales::nextKey): the last key given before it. A ledger made by an
// earlier version without this row began before its first charge.
DbResult markBeginning(Database& db);
// Whether the beginning is marked (false when the ledger is not there).
DbValue<bool> beginningMarked(Database& db);

// Whether sale `key` was stored while the ledger was kept, so that a sale
// without a charge row was never charged. No for a sale without a key and
// for every sale when the beginning is not marked.
DbValue<bool> keptByLedger(Database& db, const QString& key);

// What a change did: the card before and after; no values when its row
// was gone (nothing written) or `compute` refused.
struct Changed {
    QStringList before;
    QStringList after;
    bool refused = false;
    bool gone() const { return before.isEmpty() && !refused; }
};

// Rewrites card `rowid`: `compute` gets its stored values and gives the new
// ones (no value: nothing is written). The row and, when its number, amount
// or uses change, its ledger row are written in one transaction: the
// caller's, or one of its own.
using Compute = std::function<std::optional<QStringList>(const QStringList& stored)>;
DbValue<Changed> change(Database& db, qint64 rowid, Change kind, const Note& note, const Compute& compute);

// Rewrites card `rowid` with `values` (column order) as change `kind`, with
// its ledger row; rowsAffected 0 when the card was gone.
DbResult modify(Database& db, qint64 rowid, Change kind, const QStringList& values, const Note& note);

// Inserts a card (values in column order) with its 开卡 row, which says
// `note` (the money received, when any was).
DbResult open(Database& db, const QStringList& values, const Note& note);
// The writes that insert a card (values in column order) with its ledger
// row of change `kind`, for the caller's transaction; none when the values
// do not fit the table.
QList<Database::Write> openWrites(const Database& db, const QStringList& values, Change kind,
                                  const Note& note);

// Deletes card `rowid` with its 删除卡 row; rowsAffected 0 when it was gone.
DbResult remove(Database& db, qint64 rowid, const QString& remark = {});

// The statements that empty numbercard, every card with its 删除卡 row (for
// the caller's transaction).
QList<Database::Statement> removeAllStatements(const Database& db, const QString& remark);

} // namespace shop::cards

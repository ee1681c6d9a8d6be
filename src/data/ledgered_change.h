#pragma once

#include "database.h"
#include "transaction_scope.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace shop {

// Rewrites row `rowid` of `table` (its `columns`, in order) with the rows a
// ledger keeps of the change, together: in the caller's transaction or one
// of its own. `read` reads the row under lock; `compute` gives the new
// values from the stored ones (no value: refused, nothing written);
// `ledgerRows` the ledger's statements for the change (none when the ledger
// keeps no trace of it). `Changed` has before, after and refused; a row gone
// leaves it empty.
template <typename Changed>
DbValue<Changed> ledgeredChange(
    Database& db, const QString& table, const QStringList& columns, qint64 rowid,
    const std::function<DbValue<QStringList>(Database&, qint64)>& read,
    const std::function<std::optional<QStringList>(const QStringList&)>& compute,
    const std::function<QList<Database::Statement>(const QStringList& before, const QStringList& after)>&
        ledgerRows)
{
    TransactionScope tx(db);
    if (!tx.active())
        return DbValue<Changed>::failure(tx.error());
    const auto stored = read(db, rowid);
    if (stored.failed())
        return {stored.status, std::nullopt};
    Changed out;
    if (!stored.found())
        return DbValue<Changed>::of(out);
    const std::optional<QStringList> next = compute(*stored);
    if (!next) {
        out.refused = true;
        return DbValue<Changed>::of(out);
    }
    if (next->size() != columns.size())
        return DbValue<Changed>::failure(
            QStringLiteral("%1: %2 values for %3 columns").arg(table).arg(next->size()).arg(columns.size()));
    QList<Database::Statement> writes{rowUpdate(table, columns, rowid, *next)};
    writes += ledgerRows(*stored, *next);
    if (DbResult r = db.execEach(writes); !r)
        return {r, std::nullopt};
    if (DbResult r = tx.commit(); !r)
        return {r, std::nullopt};
    out.before = *stored;
    out.after = *next;
    return DbValue<Changed>::of(out);
}

} // namespace shop

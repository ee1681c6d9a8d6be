#include "table_rows.h"

#include "card_ledger.h"
#include "numeric.h"
#include "schema.h"
#include "stock_ledger.h"

#include <QSqlQuery>

#include <limits>

namespace shop::rows {

QVariantList textBinds(const QStringList& values)
{
    QVariantList binds;
    binds.reserve(values.size());
    for (const QString& v : values)
        binds << textValue(v);
    return binds;
}

DbResult insert(Database& db, const QString& table, const QStringList& values)
{
    if (cards::isCardTable(table)) {
        cards::Note note;
        note.handler = cards::valueOf(values, schema::numbercard::kHandler);
        return cards::open(db, values, note);
    }
    if (stock::isGoodsTable(table))
        return stock::add(db, values);
    const int n = static_cast<int>(db.columns(table).size());
    if (n == 0 || n != values.size())
        return DbResult::failure(
            QStringLiteral("%1: %2 values for %3 columns").arg(table).arg(values.size()).arg(n));
    QStringList marks;
    for (int i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    return db.exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quoteIdent(table), marks.join(", ")),
                   textBinds(values));
}

DbValue<qint64> insertUnlessFound(Database& db, const QString& table, const QStringList& values,
                                  const QList<Condition>& key, const RowWrite& write)
{
    Database::Transaction tx(db);
    if (!tx.active())
        return DbValue<qint64>::failure(tx.error());
    if (DbResult r = db.holdKeysOf(table); !r)
        return {r, std::nullopt};
    const auto existing = firstRowid(db, table, key);
    if (existing.failed() || existing.found())
        return existing;
    if (DbResult r = write ? write(db, values) : insert(db, table, values); !r)
        return {r, std::nullopt};
    if (DbResult r = tx.commit(); !r)
        return {r, std::nullopt};
    return DbValue<qint64>::none();
}

DbResult updateRowid(Database& db, const QString& table, qint64 rowid, const QStringList& values)
{
    if (cards::isCardTable(table)) {
        cards::Note note;
        note.handler = cards::valueOf(values, schema::numbercard::kHandler);
        return cards::modify(db, rowid, cards::Change::Modify, values, note);
    }
    if (stock::isGoodsTable(table)) {
        const auto changed = stock::change(db, rowid, stock::Change::Modify, {},
                                           [&values](const QStringList&) { return values; });
        if (!changed)
            return changed.status;
        DbResult r;
        r.rowsAffected = changed->gone() ? 0 : 1;
        return r;
    }
    const QStringList columns = db.columns(table);
    if (columns.isEmpty() || columns.size() != values.size())
        return DbResult::failure(
            QStringLiteral("%1: %2 values for %3 columns").arg(table).arg(values.size()).arg(columns.size()));
    const Database::Statement update = rowUpdate(table, columns, rowid, values);
    return db.exec(update.sql, update.binds);
}

DbResult deleteRowid(Database& db, const QString& table, qint64 rowid)
{
    if (cards::isCardTable(table))
        return cards::remove(db, rowid);
    if (stock::isGoodsTable(table))
        return stock::remove(db, rowid);
    return db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteIdent(table)), {rowid});
}

DbResult emptyTable(Database& db, const QString& table)
{
    QList<Database::Statement> writes{{QStringLiteral("DELETE FROM %1").arg(quoteIdent(table)), {}}};
    if (cards::isCardTable(table))
        writes = cards::removeAllStatements(db, QStringLiteral("数据删除"));
    Database::Transaction tx(db);
    if (!tx.active())
        return DbResult::failure(tx.error());
    if (stock::isGoodsTable(table)) {
        if (DbResult r = stock::removeAll(db, QStringLiteral("数据删除")); !r)
            return r;
        return tx.commit();
    }
    return tx.commitAfter(writes);
}

namespace {

DbValue<qint64> firstKey(Database& db, const QString& sql, const QVariantList& binds)
{
    return db.selectOne(sql, binds).map([](const QVariantList& row) { return row.value(0).toLongLong(); });
}

} // namespace

QString gridOrderSql(const RecordSource& source, TextSort text)
{
    QStringList parts;
    bool allDesc = !source.order.isEmpty();
    for (const SortKey& k : source.order) {
        parts << (text == TextSort::SortKeys ? orderKeyTerm(k.column) : orderTerm(k.column)) +
                     (k.descending ? " DESC" : "");
        allDesc = allDesc && k.descending;
    }
    parts << (allDesc ? QStringLiteral("rowid DESC") : QStringLiteral("rowid"));
    return QStringLiteral(" ORDER BY ") + parts.join(", ");
}

DbValue<qint64> firstRowid(Database& db, const QString& table, const QList<Condition>& where)
{
    return firstRowidIn(db, RecordSource::all(table), where);
}

DbValue<qint64> firstRowidIn(Database& db, const RecordSource& source, const QList<Condition>& where)
{
    QVariantList binds;
    const QString sql =
        QStringLiteral("SELECT rowid FROM %1%2%3 LIMIT 1")
            .arg(quoteIdent(source.table), source.whereSql(&binds, where), gridOrderSql(source));
    return firstKey(db, sql, binds);
}

DbValue<qint64> rowidIfMatches(Database& db, const QString& table, qint64 rowid,
                               const QList<Condition>& where)
{
    QVariantList binds;
    const QString conditions = RecordSource::all(table).whereSql(&binds, where);
    binds << rowid;
    const QString sql =
        QStringLiteral("SELECT rowid FROM %1%2 rowid = ?")
            .arg(quoteIdent(table),
                 conditions.isEmpty() ? QStringLiteral(" WHERE") : conditions + QStringLiteral(" AND"));
    return firstKey(db, sql, binds);
}

DbValue<QStringList> storedRow(Database& db, const QString& table, qint64 rowid)
{
    QStringList cols;
    for (const QString& c : db.columns(table))
        cols << quoteIdent(c);
    if (cols.isEmpty())
        return DbValue<QStringList>::failure(QStringLiteral("no such table: %1").arg(table));
    return db
        .selectOne(
            QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(cols.join(", "), quoteIdent(table)),
            {rowid})
        .map([](const QVariantList& row) {
            QStringList out;
            for (const QVariant& v : row)
                out << v.toString();
            return out;
        });
}

DbValue<QStringList> workerNames(Database& db)
{
    QStringList names;
    const DbResult r =
        db.select(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                      .arg(quoteIdent(schema::worker::kName), quoteIdent(schema::worker::kTable)),
                  {}, [&names](const QSqlQuery& q) {
                      names << q.value(0).toString();
                      return true;
                  });
    if (!r)
        return {r, std::nullopt};
    return DbValue<QStringList>::of(names);
}

void addRounded(RoundedTotal& t, double value)
{
    ++t.rows;
    if (t.overflow)
        return;
    if (const auto next = roundWhole(static_cast<double>(t.total) + value))
        t.total = *next;
    else
        t.overflow = true;
}

double amountOf(QByteArrayView utf8)
{
    // Carried as an infinity, which the rounding refuses.
    const NumericRead n = readNumberUtf8(utf8);
    return n.overflow ? std::numeric_limits<double>::infinity() : n.value;
}

} // namespace shop::rows

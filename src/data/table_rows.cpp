#include "table_rows.h"

#include "numeric.h"

#include <QSqlQuery>

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

DbResult updateRowid(Database& db, const QString& table, qint64 rowid, const QStringList& values)
{
    const QStringList columns = db.columns(table);
    if (columns.isEmpty() || columns.size() != values.size())
        return DbResult::failure(
            QStringLiteral("%1: %2 values for %3 columns").arg(table).arg(values.size()).arg(columns.size()));
    QStringList sets;
    for (const QString& c : columns)
        sets << quoteIdent(c) + QStringLiteral(" = ?");
    QVariantList binds = textBinds(values);
    binds << rowid;
    return db.exec(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(quoteIdent(table), sets.join(", ")),
                   binds);
}

DbResult deleteRowid(Database& db, const QString& table, qint64 rowid)
{
    return db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteIdent(table)), {rowid});
}

namespace {

DbValue<qint64> firstKey(Database& db, const QString& sql, const QVariantList& binds)
{
    const auto row = db.selectOne(sql, binds);
    if (!row.found())
        return {row.status, std::nullopt};
    return DbValue<qint64>::of(row->value(0).toLongLong());
}

} // namespace

QString gridOrderSql(const RecordSource& source)
{
    QStringList parts;
    bool allDesc = !source.order.isEmpty();
    for (const SortKey& k : source.order) {
        parts << quoteIdent(k.column) + (k.descending ? " DESC" : "");
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
    const auto row = db.selectOne(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(cols.join(", "), quoteIdent(table)), {rowid});
    if (!row.found())
        return {row.status, std::nullopt};
    QStringList out;
    for (const QVariant& v : *row)
        out << v.toString();
    return DbValue<QStringList>::of(out);
}

DbValue<QStringList> workerNames(Database& db)
{
    QStringList names;
    const DbResult r =
        db.select(QStringLiteral("SELECT 姓名 FROM worker ORDER BY rowid"), {}, [&names](const QSqlQuery& q) {
            names << q.value(0).toString();
            return true;
        });
    if (!r)
        return {r, std::nullopt};
    return DbValue<QStringList>::of(names);
}

DbValue<RoundedTotal> sumRounded(Database& db, const RecordSource& source, const QString& column)
{
    QVariantList binds;
    // In the order a grid of the source lists the rows: the rounding after
    // each row makes the total depend on it. Read forward once, straight
    // from the engine (a total may pass over every row of the table).
    const QString sql =
        QStringLiteral("SELECT rowid, %1 FROM %2%3%4")
            .arg(quoteIdent(column), quoteIdent(source.table), source.whereSql(&binds), gridOrderSql(source));
    RoundedTotal t;
    const DbResult r = db.selectKeyedTexts(sql, binds, [&t](qint64, const Database::TextRow& row) {
        ++t.rows;
        const auto next = roundWhole(static_cast<double>(t.total) + numericValueUtf8(row.utf8(0)));
        if (!next) {
            t.overflow = true;
            return false;
        }
        t.total = *next;
        return true;
    });
    if (!r)
        return {r, std::nullopt};
    return DbValue<RoundedTotal>::of(t);
}

} // namespace shop::rows

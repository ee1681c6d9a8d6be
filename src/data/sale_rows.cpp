#include "sale_rows.h"

#include "schema.h"

namespace shop::sales {

namespace {

namespace v = schema::chexiao;

const QString kSales = QStringLiteral("salse");
const QString kHistory = QStringLiteral("salse_history");

// Positions of the thirteen values.
enum { Date = 0, Card = 2, Received = 8, Employee = 10 };

QStringList quoted(const QStringList& columns)
{
    QStringList out;
    for (const QString& c : columns)
        out << quoteIdent(c);
    return out;
}

QString marks(qsizetype n)
{
    return QStringList(n, QStringLiteral("?")).join(QStringLiteral(", "));
}

} // namespace

QList<Database::Statement> nextKey(const Database& db)
{
    const QString next = QStringLiteral(
        "SELECT %1(coalesce((SELECT max(rowid) FROM salse_history), 0), coalesce((SELECT max(rowid) FROM "
        "salse), 0)) + 1");
    if (db.onServer())
        return {{QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('keys of salse'))"), {}},
                {next.arg(QStringLiteral("greatest")), {}}};
    return {{next.arg(QStringLiteral("max")), {}}};
}

namespace {

struct AppendTexts {
    QString history;
    QString sales;
    QString counters;
};

AppendTexts buildAppendTexts()
{
    const QString names = quoted(schema::columnsOf(kSales)).join(QStringLiteral(", "));
    const QString values = marks(schema::columnsOf(kSales).size() + 1);
    AppendTexts t;
    t.history = QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (%3)").arg(kHistory, names, values);
    t.sales = QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (%3)").arg(kSales, names, values);
    // The server's own counters of both tables move past the key, so that a
    // row added without one (a copy, a repair by hand) never meets it.
    t.counters =
        QStringLiteral("SELECT setval(pg_get_serial_sequence(t, 'rowid'), greatest(CAST(? AS bigint), "
                       "coalesce(pg_sequence_last_value(CAST(pg_get_serial_sequence(t, 'rowid') AS "
                       "regclass)), 0))) FROM (VALUES ('salse'), ('salse_history')) AS tables(t)");
    return t;
}

} // namespace

QList<Database::Statement> appendStatements(const Database& db, qint64 key, const QStringList& values)
{
    // Every sale writes the same texts: built once, they were a fifth of a
    // sale's own work when built each time.
    static const AppendTexts texts = buildAppendTexts();
    QVariantList binds;
    binds.reserve(values.size() + 1);
    binds << key;
    for (const QString& value : values)
        binds << textValue(value);
    QList<Database::Statement> out;
    out.append({texts.history, binds});
    out.append({texts.sales, binds});
    if (db.onServer())
        out.append({texts.counters, {key}});
    return out;
}

DbValue<QString> keyOf(Database& db, qint64 rowid, const QStringList& values)
{
    const QStringList columns = quoted(schema::columnsOf(kHistory));
    const auto twin = db.selectOne(QStringLiteral("SELECT %1 FROM salse_history WHERE rowid = ?")
                                       .arg(columns.join(QStringLiteral(", "))),
                                   {rowid});
    if (twin.failed())
        return {twin.status, std::nullopt};
    if (twin.found()) {
        QStringList stored;
        for (const QVariant& x : *twin)
            stored << x.toString();
        if (stored == values)
            return DbValue<QString>::of(QString::number(rowid));
    }
    // Saved before sales had keys: the salse row's own rowid says nothing.
    QStringList where;
    QVariantList binds;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        where << columns.at(i) + QStringLiteral(" = ?");
        binds << textValue(values.value(i));
    }
    const auto first = db.selectOne(
        QStringLiteral("SELECT rowid FROM salse_history WHERE %1 AND CAST(rowid AS TEXT) NOT IN (SELECT %2 "
                       "FROM chexiao) ORDER BY rowid LIMIT 1")
            .arg(where.join(QStringLiteral(" AND ")), quoteIdent(v::kSale)),
        binds);
    if (first.failed())
        return {first.status, std::nullopt};
    return DbValue<QString>::of(first.found() ? first->value(0).toString() : QString());
}

DbValue<bool> isVoided(Database& db, const QString& key)
{
    const auto row =
        db.selectOne(QStringLiteral("SELECT 1 FROM chexiao WHERE %1 = ? LIMIT 1").arg(quoteIdent(v::kSale)),
                     {textValue(key)});
    if (row.failed())
        return {row.status, std::nullopt};
    return DbValue<bool>::of(row.found());
}

Database::Statement voidRecord(const Database& db, const QString& key, const QStringList& values)
{
    const QStringList columns = quoted(schema::columnsOf(v::kTable));
    const QStringList record = {db.writeTime(),         key,
                                values.value(Date),     values.value(Card),
                                values.value(Received), values.value(Employee),
                                db.writerLogin()};
    QVariantList binds;
    for (const QString& value : record)
        binds << textValue(value);
    return {QStringLiteral("INSERT INTO chexiao (%1) VALUES (%2)")
                .arg(columns.join(QStringLiteral(", ")), marks(record.size())),
            binds};
}

} // namespace shop::sales

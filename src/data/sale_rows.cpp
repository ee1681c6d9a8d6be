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

struct AppendTexts {
    QString history;
    QString sales;
    QString counter;
};

AppendTexts buildAppendTexts(const Database& db)
{
    const QString names = quoted(schema::columnsOf(kSales)).join(QStringLiteral(", "));
    const QString values = marks(schema::columnsOf(kSales).size());
    const QString beyond = QStringLiteral("%1(coalesce((SELECT max(rowid) FROM salse_history), 0), "
                                          "coalesce((SELECT max(rowid) FROM salse), 0))");
    const QString key = keySql(db);
    AppendTexts t;
    if (db.onServer()) {
        // The next value of the history's own counter: no two tills ever
        // draw the same, and none waits for another's sale to end, so their
        // commits share the disk's flushes. A row written beyond the counter
        // (by hand, or copied in) is stepped over, the counter moved past it.
        const QString counter = QStringLiteral("pg_get_serial_sequence('salse_history', 'rowid')");
        const QString next =
            QStringLiteral("(SELECT CASE WHEN n.v > n.m THEN n.v ELSE setval(%1, n.m + 1) END FROM (SELECT "
                           "nextval(%1) AS v, %2 AS m) AS n)")
                .arg(counter, beyond.arg(QStringLiteral("greatest")));
        t.history = QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (%3, %4) RETURNING rowid")
                        .arg(kHistory, names, next, values);
        // The counter of salse moves past the key too, so that a row added
        // there without one (a repair by hand) does not meet a sale's key.
        t.counter = QStringLiteral("SELECT setval(pg_get_serial_sequence('salse', 'rowid'), greatest(%1, "
                                   "coalesce(pg_sequence_last_value(CAST(pg_get_serial_sequence('salse', "
                                   "'rowid') AS regclass)), 0)))")
                        .arg(key);
    } else {
        // The file's transaction holds the write lock: one sale at a time.
        t.history = QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES ((SELECT %3 + 1), %4) RETURNING rowid")
                        .arg(kHistory, names, beyond.arg(QStringLiteral("max")), values);
    }
    t.sales = QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (%3, %4)").arg(kSales, names, key, values);
    return t;
}

// Every sale writes the same texts: built once, they were a fifth of a
// sale's own work when built each time.
const AppendTexts& appendTexts(const Database& db)
{
    if (db.onServer()) {
        static const AppendTexts server = buildAppendTexts(db);
        return server;
    }
    static const AppendTexts file = buildAppendTexts(db);
    return file;
}

} // namespace

QString keySql(const Database& db)
{
    // On a server the value the history's counter gave this connection
    // last; in a file the newest history row (one sale at a time).
    return db.onServer() ? db.lastKeySql(kHistory) : QStringLiteral("(SELECT max(rowid) FROM salse_history)");
}

QList<Database::Statement> nextKey(const Database& db)
{
    const QString beyond = QStringLiteral("SELECT %1(coalesce((SELECT max(rowid) FROM salse_history), 0), "
                                          "coalesce((SELECT max(rowid) FROM salse), "
                                          "0)%2) + 1");
    if (!db.onServer())
        return {{beyond.arg(QStringLiteral("max"), QString()), {}}};
    // Every key a sale has drawn from the history's counter, stored yet or not.
    return {{QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('keys of salse'))"), {}},
            {beyond.arg(QStringLiteral("greatest"),
                        QStringLiteral(
                            ", coalesce(pg_sequence_last_value(CAST(pg_get_serial_sequence('salse_history', "
                            "'rowid') AS regclass)), 0)")),
             {}}};
}

QList<Database::Statement> appendStatements(const Database& db, const QStringList& values)
{
    const AppendTexts& texts = appendTexts(db);
    QVariantList binds;
    binds.reserve(values.size());
    for (const QString& value : values)
        binds << textValue(value);
    QList<Database::Statement> out{{texts.history, binds}, {texts.sales, binds}};
    if (!texts.counter.isEmpty())
        out.append({texts.counter, {}});
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

#include "sale_rows.h"

#include "schema.h"

namespace shop::sales {

namespace {

namespace v = schema::chexiao;
namespace s = schema::salse;

const QString& kSales = s::kTable;
const QString& kHistory = s::kHistory;

// SaleRow's fields in salse's stored order.
const QList<QString SaleRow::*>& fieldsInOrder()
{
    static const QList<QString SaleRow::*> fields = [] {
        const QHash<QString, QString SaleRow::*> byName{
            {s::kDate, &SaleRow::date},
            {s::kType, &SaleRow::type},
            {s::kCard, &SaleRow::card},
            {s::kProductCode, &SaleRow::productCode},
            {s::kProductName, &SaleRow::productName},
            {s::kQuantity, &SaleRow::quantity},
            {s::kRetailPrice, &SaleRow::retailPrice},
            {s::kPurchaseDate, &SaleRow::purchaseDate},
            {s::kReceived, &SaleRow::received},
            {s::kServiceItem, &SaleRow::serviceItem},
            {s::kEmployee, &SaleRow::employee},
            {s::kRemark, &SaleRow::remark},
            {s::kCommission, &SaleRow::commission},
        };
        QList<QString SaleRow::*> out;
        for (const QString& c : schema::columnsOf(kSales))
            out << byName.value(c);
        return out;
    }();
    return fields;
}

// The highest key a table holds (0 when empty).
QString maxKey(const QString& table)
{
    return QStringLiteral("coalesce((SELECT max(rowid) FROM %1), 0)").arg(table);
}

// A server table's counter of rowids.
QString counterOf(const QString& table)
{
    return QStringLiteral("pg_get_serial_sequence('%1', 'rowid')").arg(table);
}

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
    const QString beyond =
        QStringLiteral("%1(%2, %3)").arg(QStringLiteral("%1"), maxKey(kHistory), maxKey(kSales));
    const QString key = keySql(db);
    AppendTexts t;
    if (db.onServer()) {
        // The next value of the history's own counter: no two tills ever
        // draw the same, and none waits for another's sale to end, so their
        // commits share the disk's flushes. A row written beyond the counter
        // (by hand, or copied in) is stepped over, the counter moved past it.
        const QString counter = counterOf(kHistory);
        const QString next =
            QStringLiteral("(SELECT CASE WHEN n.v > n.m THEN n.v ELSE setval(%1, n.m + 1) END FROM (SELECT "
                           "nextval(%1) AS v, %2 AS m) AS n)")
                .arg(counter, beyond.arg(QStringLiteral("greatest")));
        t.history = QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (%3, %4) RETURNING rowid")
                        .arg(kHistory, names, next, values);
        // The counter of salse moves past the key too, so that a row added
        // there without one (a repair by hand) does not meet a sale's key.
        t.counter =
            QStringLiteral("SELECT setval(%1, greatest(%2, coalesce(pg_sequence_last_value(CAST(%1 AS "
                           "regclass)), 0)))")
                .arg(counterOf(kSales), key);
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

SaleRow SaleRow::fromValues(const QStringList& values)
{
    SaleRow row;
    const auto& fields = fieldsInOrder();
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (fields.at(i))
            row.*fields.at(i) = values.value(i);
    return row;
}

QStringList SaleRow::values() const
{
    QStringList out;
    for (QString SaleRow::*field : fieldsInOrder())
        out << (field ? this->*field : QString());
    return out;
}

QString keySql(const Database& db)
{
    // On a server the value the history's counter gave this connection
    // last; in a file the newest history row (one sale at a time). Each
    // sale names it twice: built once.
    if (db.onServer()) {
        static const QString server = db.lastKeySql(kHistory);
        return server;
    }
    static const QString file = QStringLiteral("(SELECT max(rowid) FROM %1)").arg(kHistory);
    return file;
}

QList<Database::Statement> nextKey(const Database& db)
{
    const QString beyond =
        QStringLiteral("SELECT %1(%2, %3%4) + 1")
            .arg(QStringLiteral("%1"), maxKey(kHistory), maxKey(kSales), QStringLiteral("%2"));
    if (!db.onServer())
        return {{beyond.arg(QStringLiteral("max"), QString()), {}}};
    // Every key a sale has drawn from the history's counter, stored yet or not.
    return {{QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('keys of %1'))").arg(kSales), {}},
            {beyond.arg(QStringLiteral("greatest"),
                        QStringLiteral(", coalesce(pg_sequence_last_value(CAST(%1 AS regclass)), 0)")
                            .arg(counterOf(kHistory))),
             {}}};
}

QList<Database::Write> appendWrites(const Database& db, const QStringList& values)
{
    const AppendTexts& texts = appendTexts(db);
    QVariantList binds;
    binds.reserve(values.size());
    for (const QString& value : values)
        binds << textValue(value);
    QList<Database::Write> out{{kHistory, {texts.history, binds}}, {kSales, {texts.sales, binds}}};
    // The counter moves, no row is written.
    if (!texts.counter.isEmpty())
        out.append(Database::Write{{}, {texts.counter, {}}});
    return out;
}

QList<Database::Statement> appendStatements(const Database& db, const QStringList& values)
{
    return Database::statementsOf(appendWrites(db, values));
}

DbValue<QString> keyOf(Database& db, qint64 rowid, const QStringList& values)
{
    const QStringList columns = quoted(schema::columnsOf(kHistory));
    const auto twin = db.selectOne(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(columns.join(QStringLiteral(", ")), kHistory),
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
        QStringLiteral("SELECT rowid FROM %1 WHERE %2 AND CAST(rowid AS TEXT) NOT IN (SELECT %3 FROM %4) "
                       "ORDER BY rowid LIMIT 1")
            .arg(kHistory, where.join(QStringLiteral(" AND ")), quoteIdent(v::kSale), v::kTable),
        binds);
    if (first.failed())
        return {first.status, std::nullopt};
    return DbValue<QString>::of(first.found() ? first->value(0).toString() : QString());
}

DbValue<bool> isVoided(Database& db, const QString& key)
{
    const auto row = db.selectOne(
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1").arg(v::kTable, quoteIdent(v::kSale)),
        {textValue(key)});
    if (row.failed())
        return {row.status, std::nullopt};
    return DbValue<bool>::of(row.found());
}

Database::Write voidRecord(const Database& db, const QString& key, const QStringList& values)
{
    const QStringList columns = quoted(schema::columnsOf(v::kTable));
    const SaleRow sale = SaleRow::fromValues(values);
    const QHash<QString, QString> byName{{v::kTime, db.writeTime()},    {v::kSale, key},
                                         {v::kDate, sale.date},         {v::kCard, sale.card},
                                         {v::kReceived, sale.received}, {v::kEmployee, sale.employee},
                                         {v::kLogin, db.writerLogin()}};
    QStringList record;
    for (const QString& c : schema::columnsOf(v::kTable))
        record << byName.value(c);
    QVariantList binds;
    for (const QString& value : record)
        binds << textValue(value);
    return {v::kTable,
            {QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                 .arg(v::kTable, columns.join(QStringLiteral(", ")), marks(record.size())),
             binds}};
}

} // namespace shop::sales

#include "member_rows.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>

namespace shop::members {

std::optional<qint64> firstRowid(Database& db, const QString& table, const QList<Condition>& where,
                                 QString* error)
{
    QVariantList binds;
    const QString sql = QStringLiteral("SELECT rowid FROM %1%2 ORDER BY rowid LIMIT 1")
                            .arg(quoteIdent(table), RecordSource::all(table).whereSql(&binds, where));
    auto row = db.selectOne(sql, binds);
    if (error)
        *error = row.error();
    if (!row.found())
        return std::nullopt;
    return row->value(0).toLongLong();
}

std::optional<QStringList> storedRow(Database& db, const QString& table, qint64 rowid)
{
    QStringList cols;
    for (const QString& c : db.columns(table))
        cols << quoteIdent(c);
    if (cols.isEmpty())
        return std::nullopt;
    auto row = db.selectOne(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(cols.join(", "), quoteIdent(table)), {rowid});
    if (!row.found())
        return std::nullopt;
    QStringList out;
    for (const QVariant& v : *row)
        out << v.toString();
    return out;
}

QVariantList textBinds(const QStringList& values)
{
    QVariantList binds;
    for (const QString& v : values)
        binds << textValue(v);
    return binds;
}

QString insertSql(Database& db, const QString& table)
{
    QStringList qs;
    for (int i = 0; i < db.columns(table).size(); ++i)
        qs << QStringLiteral("?");
    return QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quoteIdent(table), qs.join(", "));
}

QString updateAllSql(Database& db, const QString& table)
{
    QStringList sets;
    for (const QString& c : db.columns(table))
        sets << quoteIdent(c) + QStringLiteral(" = ?");
    return QStringLiteral("UPDATE %1 SET %2").arg(quoteIdent(table), sets.join(", "));
}

} // namespace shop::members

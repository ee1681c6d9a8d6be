#include "accounts.h"

#include "schema.h"

namespace shop::users {

namespace {
namespace u = schema::username;
} // namespace

DbValue<Account> find(Database& db, const QString& name)
{
    static const QString sql =
        QStringLiteral("SELECT rowid, %1, %2, %3 FROM %4 WHERE %1 = ? COLLATE NOCASE ORDER BY rowid LIMIT 1")
            .arg(quoteIdent(u::kName), quoteIdent(u::kPassword), quoteIdent(u::kKind), u::kTable);
    return db.selectOne(sql, {name}).map([](const QVariantList& row) {
        return Account{row.value(0).toLongLong(), row.value(1).toString(), row.value(2).toString(),
                       row.value(3).toString()};
    });
}

DbResult add(Database& db, const QString& name, const QString& passwordHash, const QString& kind)
{
    static const QString sql =
        QStringLiteral("INSERT INTO %1 (%2, %3, %4) VALUES (?, ?, ?)")
            .arg(u::kTable, quoteIdent(u::kName), quoteIdent(u::kPassword), quoteIdent(u::kKind));
    return db.exec(sql, {name, passwordHash, kind});
}

DbResult setPassword(Database& db, qint64 rowid, const QString& passwordHash)
{
    static const QString sql =
        QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?").arg(u::kTable, quoteIdent(u::kPassword));
    return db.exec(sql, {passwordHash, rowid});
}

} // namespace shop::users

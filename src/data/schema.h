#pragma once

#include <QString>
#include <QStringList>

#include "database.h"

namespace shop {

struct TableDef {
    QString name;
    QStringList columns;
};

namespace schema {

// The business tables in the business database, columns in stored order.
const QList<TableDef>& businessTables();
// The accounts table in the accounts database.
const TableDef& accountsTable();
// Columns of one table by name (empty when unknown).
QStringList columnsOf(const QString& table);
// The first of `tables` that the database lacks; empty when it has them all.
QString missingTable(Database& db, const QList<TableDef>& tables);

// Creates the tables and indexes of each database (idempotent).
bool createBusinessTables(Database& db, QString* error);
bool createAccountsTable(Database& db, QString* error);
// Brings a business file made by an earlier version up to date: adds the
// indexes it lacks, and rebuilds those that serve text sorts in pinyin
// order (one transaction).
bool upgradeBusinessTables(Database& db, QString* error);
// The same for an accounts file.
bool upgradeAccountsTable(Database& db, QString* error);

// Whether a header sort orders the column's text in pinyin order (the
// PINYIN collation). Columns of figures, dates and codes keep the order of
// their stored text; a column name means the same in every table.
bool sortsInPinyin(const QString& column);

// Creates both files with their tables; the accounts file gets the
// supervisor account "ZED" of kind "M" with the given password. Refuses to
// touch files that already exist.
bool createDatabaseFiles(const QString& businessPath, const QString& accountsPath, const QString& zedPassword,
                         QString* error);

// The program's tables that a database holds (by name).
DbValue<QStringList> presentTables(Database& db);

// Creates every table and index (business and accounts) on a server
// database, inside the caller's transaction; no account.
bool createServerTables(Database& db, QString* error);

// Creates every table (business and accounts) on an empty server database,
// with the supervisor account "ZED" of kind "M", in one transaction. Refuses
// a database that holds any of the program's tables already.
bool createServerSchema(Database& db, const QString& zedPassword, QString* error);

} // namespace schema
} // namespace shop

#pragma once

#include <QString>
#include <QStringList>

namespace shop {

class Database;

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

// Creates the tables and indexes of each database (idempotent).
bool createBusinessTables(Database& db, QString* error);
bool createAccountsTable(Database& db, QString* error);
// The upgrade of a business file made by an earlier version: the indexes it
// lacks (idempotent; an index already there costs nothing).
bool createBusinessIndexes(Database& db, QString* error);

// Creates both files with their tables; the accounts file gets the
// supervisor account "ZED" of kind "M" with the given password. Refuses to
// touch files that already exist.
bool createDatabaseFiles(const QString& businessPath, const QString& accountsPath, const QString& zedPassword,
                         QString* error);

} // namespace schema
} // namespace shop

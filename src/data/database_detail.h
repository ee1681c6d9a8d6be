#pragma once

#include "database.h"

#include <QString>
#include <QVariantList>

class QSqlError;
class QSqlDatabase;
struct pg_result;
struct sqlite3;
struct sqlite3_stmt;

// What the file and the server halves of Database share; nothing outside
// the two includes this.
namespace shop {

// A connection name no other Database uses.
QString newConnectionName();
// The driver's message for a failure, without its decorations.
QString errorText(const QSqlError& e);
// SQLSTATEs of a transaction the server gave up for another's sake.
bool isConflictState(const QString& state);
// One row of a server's result, every column typed as the Qt driver types it.
QVariantList serverRow(const ::pg_result* res, int row);
// A file connection's own handle (none for another driver).
::sqlite3* rawHandle(const QSqlDatabase& db);
// The current row of a file statement, typed as the Qt driver types them.
QVariantList rowValues(::sqlite3_stmt* stmt);

// Holds a Database's busy state for one call: when the call waited for
// another writer, the wait's end is announced as it returns.
class Database::BusyScope {
public:
    explicit BusyScope(Database& db) : db_(db) {}
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    Database& db_;
};

} // namespace shop

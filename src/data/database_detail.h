#pragma once

#include <QString>
#include <QVariantList>

class QSqlError;
struct pg_result;

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

} // namespace shop

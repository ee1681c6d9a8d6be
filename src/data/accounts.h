#pragma once

#include "database.h"

#include <QString>

namespace shop {

// One row of the accounts table.
struct Account {
    qint64 rowid = 0;
    QString name;
    QString passwordHash;
    QString kind;
};

// The accounts table's statements (the rules live with the account windows
// and the login).
namespace users {

// The login's lookup: the name compares without letter case, the first row
// holding it wins.
DbValue<Account> find(Database& db, const QString& name);
DbResult add(Database& db, const QString& name, const QString& passwordHash, const QString& kind);
DbResult setPassword(Database& db, qint64 rowid, const QString& passwordHash);

} // namespace users
} // namespace shop

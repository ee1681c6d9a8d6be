#pragma once

#include "data/database.h"
#include "first_start.h"

#include <QSettings>
#include <QString>

#include <optional>

namespace shop {

class AppContext;

// Which engine holds the shop's data, from group "database" of the per-user
// settings: "engine" is "files" (the default: the files in the database
// folder) or "postgresql", with "host", "port" (5432), "name", "user" and
// "sslmode" (prefer, the default, or one that requires TLS).
// No password is ever read from or written to the settings.
namespace database_settings {

inline constexpr const char* kEngineKey = "database/engine";
inline constexpr const char* kHostKey = "database/host";
inline constexpr const char* kPortKey = "database/port";
inline constexpr const char* kNameKey = "database/name";
inline constexpr const char* kUserKey = "database/user";
inline constexpr const char* kSslModeKey = "database/sslmode";

struct Choice {
    std::optional<DbServer> server; // no value: the local files
    QString error;                  // the settings cannot be used (why, in Chinese)
};
Choice read(QSettings& s);

} // namespace database_settings

// Start-up on a server: connects (asking for the password while the server
// wants one), offers to create the tables on an empty server database, and
// opens the context's databases there. End when the program is to end (the
// reason has been said, or the person cancelled); DatabaseSettings when the
// server could not be reached and the person chose to put the settings right.
StartStep startOnServer(AppContext& ctx, DbServer server);

} // namespace shop

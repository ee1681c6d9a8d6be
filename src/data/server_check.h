#pragma once

#include "database.h"

#include <QString>

namespace shop {

// What a trial connection to a server database found, told apart by what
// the server does rather than by the words of its messages (which follow
// the computer's language).
struct ServerCheck {
    enum class Result {
        Works,         // the program's tables are all there
        Empty,         // a database without any table: the first start makes them
        TablesMissing, // some of the program's tables are not there (detail: which)
        NotReached,    // nothing answers at the host and port
        Starting,      // the server answers but accepts no connection yet
        NeedsPassword, // the server wants a password and none was given
        WrongPassword,
        NoDatabase, // the server is there, the database is not
        TlsRefused, // the settings require TLS and the server offers none
        Refused,    // any other refusal (detail: the server's words)
    };
    Result result = Result::Refused;
    QString detail;
};

// Connects to `server` (on connections of its own, closed again) and says
// whether the shop could start there.
ServerCheck checkServer(const DbServer& server);

} // namespace shop

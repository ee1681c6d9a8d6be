#pragma once

#include "backup_files.h"
#include "database.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>

namespace shop {

// The server's client programs that copy a database out and back in.
struct ClientTools {
    QString dump;    // pg_dump
    QString restore; // pg_restore
    int major = 0;   // their version
    QString error;   // why they cannot be used (in Chinese); empty when they can
    bool usable() const { return error.isEmpty(); }
};

// The newest pg_dump and pg_restore on the PATH or in Debian's versioned
// folders (/usr/lib/postgresql/<version>/bin); `folders` stands for both
// where given (tests). A server of a newer version than the tools cannot be
// copied by them: said in `error`, as are missing tools.
ClientTools findClientTools(int serverMajor, const QStringList& folders = {});
// The major version of the server `db` is connected to (16 for 16.4); 0
// when it cannot be read.
int serverMajorVersion(Database& db);

// Copies the server database with pg_dump (one consistent snapshot) into a
// new folder under `backupRoot`, named as the file backups are. The copy is
// made in a ".partial" folder and renamed when complete; the password
// travels in a private password file, never on the command line. Once
// `*stop` becomes true the copy is given up, leaving no folder behind.
BackupOutcome dumpServerDatabase(const DbServer& server, const ClientTools& tools, const QString& backupRoot,
                                 const QDateTime& when, const QString& suffix = {},
                                 const std::atomic_bool* stop = nullptr);

// The day's automatic backup of the server database (on connections of its
// own, safe on another thread), keeping the newest `keep` automatic ones.
BackupOutcome takeAutoServerBackup(const DbServer& server, const QString& backupRoot, const QDateTime& when,
                                   int keep = 30, const std::atomic_bool* stop = nullptr);

// Puts the server backup in `backupFolder` in place of the server's
// database, in one step that completes or leaves it as it was: the current
// database is first backed up (into backup/<when>-before-restore), the
// backup is restored into a new database, its tables checked, then the two
// names are swapped in one transaction and the old database dropped. Every
// other connection to the database (the program's own must be closed) is
// ended just before the swap; the tills reconnect to the restored one.
RestoreOutcome restoreServerDatabase(const DbServer& server, const ClientTools& tools,
                                     const QString& backupFolder, const QString& backupRoot,
                                     const QDateTime& when);

} // namespace shop

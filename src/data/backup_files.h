#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace shop {

class Database;
struct ProgramPaths;

// One database file to copy, and the name of the copy.
struct BackupSource {
    Database* db = nullptr;
    QString fileName;
};

struct BackupOutcome {
    bool ok = false;
    QString folder; // the finished backup folder
    QString error;
};

// Writes a consistent copy of every source (VACUUM INTO, safe while the
// program runs) into a new folder under `backupRoot` named by `when`. The
// copies are made in a ".partial" folder that is renamed only when all of
// them are complete, so a failure leaves no half-written backup behind.
BackupOutcome backupDatabases(const QString& backupRoot, const QDateTime& when,
                              const QList<BackupSource>& sources);

// Both database files of the program into backup/<date_time> of its folder.
BackupOutcome backupProgramDatabases(const ProgramPaths& paths, const QDateTime& when, Database& business,
                                     Database& accounts);

} // namespace shop

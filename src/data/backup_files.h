#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>

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
                              const QList<BackupSource>& sources, const QString& suffix = {});

// The steps every backup shares: a new ".partial" folder (the owner's only)
// under `backupRoot` for a backup taken at `when`, and the backup's name
// (empty, with the reason in `error`, when it cannot be made); then, once
// everything is in it, the folder made private and renamed to that name.
QString startBackupFolder(const QString& backupRoot, const QDateTime& when, const QString& suffix,
                          QString* partial, QString* error);
BackupOutcome finishBackupFolder(const QString& backupRoot, const QString& name, const QString& partial);

// Both database files of the program into backup/<date_time> of its folder.
BackupOutcome backupProgramDatabases(const ProgramPaths& paths, const QDateTime& when, Database& business,
                                     Database& accounts);

// The file of a server database's backup inside its folder (pg_dump's
// custom format).
inline const QString kServerDumpFile = QStringLiteral("database.dump");

// The folder-name ending of the daily automatic backups.
inline const QString kAutoBackupSuffix = QStringLiteral("-auto");

// Today's automatic backup (of the files, or of the server's database) is
// not there yet.
bool autoBackupDue(const QString& backupRoot, const QDate& today, bool serverDumps = false);
// Takes the automatic backup on connections of its own (safe beside the
// program's, from another thread) and keeps the newest `keep` automatic
// backups; backups made by hand are never removed. Once `*stop` becomes
// true the copy is given up, leaving no folder of it behind.
BackupOutcome takeAutoBackup(const ProgramPaths& paths, const QDateTime& when, int keep = 30,
                             const std::atomic_bool* stop = nullptr);

// A finished backup folder (never a torn ".partial" one).
struct BackupInfo {
    QString folder;
    QString name;
    qint64 bytes = 0;
    bool beforeRestore = false; // the files a restore replaced
    bool automatic = false;     // a daily automatic backup
    // The time stamp the program named the folder by, as "2026-12-06
    // 09:00:00"; empty for a folder a person named otherwise.
    QString when;
    bool serverDump = false; // a copy of a server database, not the files
};
// The backups under `backupRoot` that hold both database files, or a server
// database's copy, newest first (folders not named by their time stamp last).
QList<BackupInfo> listBackups(const QString& backupRoot);
// Those of one kind: copies of a server database, or of the files.
QList<BackupInfo> listBackups(const QString& backupRoot, bool serverDumps);
// Removes all but the newest `keep` automatic backups of one kind; backups
// made by hand are never removed.
void pruneAutoBackups(const QString& backupRoot, int keep, bool serverDumps);

// "ok", or what SQLite's check found (quick: the fast check for start-up).
QString checkDatabaseFile(const QString& file, bool quick);

struct RestoreOutcome {
    bool ok = false;
    QString setAside; // where the files that were replaced now are
    QString error;
};
// Replaces both database files of the program by those of `backupFolder`.
// The backup must pass the integrity check; the current files (with their
// journals) are first moved aside into backup/<when>-before-restore, so the
// restore can itself be undone; on any failure the current files are put
// back as they were. The files must not be open.
RestoreOutcome restoreBackup(const ProgramPaths& paths, const QString& backupFolder, const QDateTime& when);

} // namespace shop

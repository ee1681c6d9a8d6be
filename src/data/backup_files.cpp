#include "backup_files.h"

#include "csv_export.h"
#include "database.h"
#include "private_files.h"
#include "program_paths.h"
#include "schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace shop {

namespace {
// Backup folders are named by the time they were taken.
const QString kStampFormat = QStringLiteral("yyyy-MM-dd_HH-mm-ss");
// A folder of one backup: made private from its first moment.
constexpr QFile::Permissions kOwnerOnlyFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// A server database has no file to copy: every table of the program is
// written as a CSV file instead, all read in one snapshot, so a person can
// still see and take back what was there.
QString backupServerTables(Database& db, const QString& folder)
{
    QList<TableDef> tables = schema::businessTables();
    tables << schema::accountsTable();
    if (DbResult r = db.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")); !r)
        return r.error;
    QString error;
    for (const TableDef& t : tables) {
        QList<CsvColumn> columns;
        for (const QString& c : t.columns)
            columns << CsvColumn{c, c};
        const QString file = QDir(folder).filePath(t.name + QStringLiteral(".csv"));
        const CsvResult r = exportCsv(db, RecordSource::all(t.name), columns, file);
        if (r.outcome != CsvOutcome::Written) {
            error = QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(file), r.error);
            break;
        }
    }
    db.exec(QStringLiteral("COMMIT"));
    return error;
}

} // namespace

QString startBackupFolder(const QString& backupRoot, const QDateTime& when, const QString& suffix,
                          QString* partial, QString* error)
{
    QDir root(backupRoot);
    if (!private_files::makeFolder(backupRoot)) {
        *error = QStringLiteral("无法创建文件夹 %1").arg(QDir::toNativeSeparators(backupRoot));
        return {};
    }
    // Two backups within one second get distinct folders.
    const QString stamp = when.toString(kStampFormat);
    QString name = stamp + suffix;
    for (int n = 2; root.exists(name) || root.exists(name + QStringLiteral(".partial")); ++n)
        name = QStringLiteral("%1_%2%3").arg(stamp).arg(n).arg(suffix);
    *partial = root.filePath(name + QStringLiteral(".partial"));
    if (!root.mkdir(name + QStringLiteral(".partial"), kOwnerOnlyFolder)) {
        *error = QStringLiteral("无法创建文件夹 %1").arg(QDir::toNativeSeparators(*partial));
        return {};
    }
    return name;
}

BackupOutcome finishBackupFolder(const QString& backupRoot, const QString& name, const QString& partial)
{
    BackupOutcome out;
    // The copies are the owner's only before the backup appears under its name.
    private_files::ownerOnlyTree(partial);
    const QString final = QDir(backupRoot).filePath(name);
    if (!QDir().rename(partial, final)) {
        QDir(partial).removeRecursively();
        out.error = QStringLiteral("无法创建文件夹 %1").arg(QDir::toNativeSeparators(final));
        return out;
    }
    out.ok = true;
    out.folder = final;
    return out;
}

BackupOutcome backupDatabases(const QString& backupRoot, const QDateTime& when,
                              const QList<BackupSource>& sources, const QString& suffix)
{
    BackupOutcome out;
    QString partial;
    const QString name = startBackupFolder(backupRoot, when, suffix, &partial, &out.error);
    if (name.isEmpty())
        return out;
    auto fail = [&](const QString& e) {
        QDir(partial).removeRecursively();
        out.error = e;
        return out;
    };
    for (const BackupSource& s : sources) {
        if (!s.db)
            return fail(QStringLiteral("数据库未打开：%1").arg(s.fileName));
        if (s.db->inTransaction())
            return fail(QStringLiteral("数据库正在写入：%1").arg(s.fileName));
        if (s.db->onServer()) {
            // Both connections reach the same database: one copy of it.
            if (const QString e = backupServerTables(*s.db, partial); !e.isEmpty())
                return fail(e);
            break;
        }
        const QString target = QDir(partial).filePath(s.fileName);
        DbResult r = s.db->exec(QStringLiteral("VACUUM INTO ?"), {target});
        if (!r)
            return fail(QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(target), r.error));
    }
    return finishBackupFolder(backupRoot, name, partial);
}

BackupOutcome backupProgramDatabases(const ProgramPaths& paths, const QDateTime& when, Database& business,
                                     Database& accounts)
{
    return backupDatabases(paths.backupDir(), when,
                           {{&business, QFileInfo(paths.businessDb()).fileName()},
                            {&accounts, QFileInfo(paths.accountsDb()).fileName()}});
}

bool autoBackupDue(const QString& backupRoot, const QDate& today, bool serverDumps)
{
    const QString prefix = today.toString(QStringLiteral("yyyy-MM-dd"));
    for (const BackupInfo& b : listBackups(backupRoot, serverDumps))
        if (b.name.startsWith(prefix) && b.name.endsWith(kAutoBackupSuffix))
            return false;
    return true;
}

BackupOutcome takeAutoBackup(const ProgramPaths& paths, const QDateTime& when, int keep,
                             const std::atomic_bool* stop)
{
    BackupOutcome out;
    auto stopped = [stop] { return stop && stop->load(); };
    QString err;
    auto business = stopped() ? nullptr : Database::open(paths.businessDb(), &err);
    auto accounts = business ? Database::open(paths.accountsDb(), &err) : nullptr;
    if (!business || !accounts) {
        out.error = stopped() ? QStringLiteral("备份已停止") : err;
        return out;
    }
    business->stopWhen(stop);
    accounts->stopWhen(stop);
    out = backupDatabases(paths.backupDir(), when,
                          {{business.get(), QFileInfo(paths.businessDb()).fileName()},
                           {accounts.get(), QFileInfo(paths.accountsDb()).fileName()}},
                          kAutoBackupSuffix);
    if (out.ok)
        pruneAutoBackups(paths.backupDir(), keep, false);
    return out;
}

void pruneAutoBackups(const QString& backupRoot, int keep, bool serverDumps)
{
    int kept = 0;
    for (const BackupInfo& b : listBackups(backupRoot, serverDumps))
        if (b.name.endsWith(kAutoBackupSuffix) && ++kept > keep)
            QDir(b.folder).removeRecursively();
}

QList<BackupInfo> listBackups(const QString& backupRoot, bool serverDumps)
{
    QList<BackupInfo> out = listBackups(backupRoot);
    out.removeIf([serverDumps](const BackupInfo& b) { return b.serverDump != serverDumps; });
    return out;
}

QList<BackupInfo> listBackups(const QString& backupRoot)
{
    QList<BackupInfo> out;
    const QDir root(backupRoot);
    for (const QString& name :
         root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed)) {
        if (name.endsWith(QStringLiteral(".partial")))
            continue;
        const QDir dir(root.filePath(name));
        const QFileInfo business(dir.filePath(QStringLiteral("database.db")));
        const QFileInfo accounts(dir.filePath(QStringLiteral("userid.db")));
        // A server database's copy is one file of pg_dump's.
        const QFileInfo dump(dir.filePath(kServerDumpFile));
        const bool serverDump = !business.isFile() && dump.isFile();
        if (!serverDump && (!business.isFile() || !accounts.isFile()))
            continue;
        // The names the program gives: stamp[_2][-auto|-before-restore][_2].
        static const QRegularExpression stamp(
            QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})_(\\d{2})-(\\d{2})-(\\d{2})"
                           "(?:_\\d+)?(-auto|-before-restore)?(?:_\\d+)?$"));
        const QRegularExpressionMatch m = stamp.match(name);
        out << BackupInfo{dir.path(),
                          name,
                          serverDump ? dump.size() : business.size() + accounts.size(),
                          name.contains(QStringLiteral("-before-restore")),
                          m.captured(5) == kAutoBackupSuffix,
                          m.hasMatch() ? QStringLiteral("%1 %2:%3:%4")
                                             .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4))
                                       : QString(),
                          serverDump};
    }
    // Only a folder named by its time stamp sorts by time; one a person
    // named otherwise ("旧数据") comes after them, never as the newest.
    std::stable_partition(out.begin(), out.end(), [](const BackupInfo& b) { return !b.when.isEmpty(); });
    return out;
}

namespace {
// "ok", or what SQLite's check of an open file found.
QString checkOpenFile(Database& db, bool quick)
{
    const auto r =
        db.selectOne(quick ? QStringLiteral("PRAGMA quick_check") : QStringLiteral("PRAGMA integrity_check"));
    if (r.failed())
        return r.error();
    return r.found() ? r->value(0).toString() : QStringLiteral("ok");
}
} // namespace

QString checkDatabaseFile(const QString& file, bool quick)
{
    QString err;
    auto db = Database::open(file, &err);
    return db ? checkOpenFile(*db, quick) : err;
}

RestoreOutcome restoreBackup(const ProgramPaths& paths, const QString& backupFolder, const QDateTime& when)
{
    RestoreOutcome out;
    const QStringList targets = {paths.businessDb(), paths.accountsDb()};
    const QList<QList<TableDef>> tablesOf = {schema::businessTables(), {schema::accountsTable()}};
    for (qsizetype i = 0; i < targets.size(); ++i) {
        const QString source = QDir(backupFolder).filePath(QFileInfo(targets.at(i)).fileName());
        QString check;
        auto db = Database::open(source, &check);
        if (db)
            check = checkOpenFile(*db, false);
        if (check != QStringLiteral("ok")) {
            out.error = QStringLiteral("备份文件 %1 已损坏（%2），不能用于恢复。")
                            .arg(QDir::toNativeSeparators(source), check);
            return out;
        }
        // A sound file without the program's tables (another file under the
        // same name) would leave a program that cannot start.
        if (const QString missing = schema::missingTable(*db, tablesOf.at(i)); !missing.isEmpty()) {
            out.error = QStringLiteral("备份文件 %1 缺少数据表 %2，不能用于恢复。")
                            .arg(QDir::toNativeSeparators(source), missing);
            return out;
        }
    }
    const QDir root(paths.backupDir());
    private_files::makeFolder(root.path());
    const QString stamp = when.toString(kStampFormat);
    QString name = stamp + QStringLiteral("-before-restore");
    for (int n = 2; root.exists(name); ++n)
        name = QStringLiteral("%1-before-restore_%2").arg(stamp).arg(n);
    if (!root.mkdir(name, kOwnerOnlyFolder)) {
        out.error = QStringLiteral("无法创建文件夹 %1").arg(QDir::toNativeSeparators(root.filePath(name)));
        return out;
    }
    const QDir aside(root.filePath(name));
    // The files and their journals, moved aside (and back on failure).
    QList<QPair<QString, QString>> moved;
    auto putBack = [&moved] {
        for (auto it = moved.crbegin(); it != moved.crend(); ++it) {
            QFile::remove(it->first);
            QFile::rename(it->second, it->first);
        }
    };
    for (const QString& target : targets)
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            const QString file = target + suffix;
            if (!QFileInfo::exists(file))
                continue;
            const QString to = aside.filePath(QFileInfo(file).fileName());
            if (!QFile::rename(file, to)) {
                putBack();
                out.error = QStringLiteral("无法移动文件 %1").arg(QDir::toNativeSeparators(file));
                return out;
            }
            moved << qMakePair(file, to);
        }
    for (const QString& target : targets) {
        const QString source = QDir(backupFolder).filePath(QFileInfo(target).fileName());
        if (!QFile::copy(source, target)) {
            for (const QString& t : targets)
                QFile::remove(t);
            putBack();
            out.error = QStringLiteral("无法复制备份文件 %1").arg(QDir::toNativeSeparators(source));
            return out;
        }
        // Writable again whatever the backup file was, and the owner's only.
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    }
    private_files::ownerOnlyTree(aside.path());
    out.ok = true;
    out.setAside = aside.path();
    return out;
}

} // namespace shop

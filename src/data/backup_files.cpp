#include "backup_files.h"

#include "database.h"
#include "program_paths.h"

#include <QDir>
#include <QFileInfo>

namespace shop {

BackupOutcome backupDatabases(const QString& backupRoot, const QDateTime& when,
                              const QList<BackupSource>& sources)
{
    BackupOutcome out;
    QDir root(backupRoot);
    if (!QDir().mkpath(backupRoot) || !root.exists()) {
        out.error = QStringLiteral("无法创建文件夹 %1").arg(QDir::toNativeSeparators(backupRoot));
        return out;
    }
    // Two backups within one second get distinct folders.
    const QString stamp = when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    QString name = stamp;
    for (int n = 2; root.exists(name) || root.exists(name + QStringLiteral(".partial")); ++n)
        name = QStringLiteral("%1_%2").arg(stamp).arg(n);
    const QString partial = root.filePath(name + QStringLiteral(".partial"));
    const QString final = root.filePath(name);
    if (!root.mkdir(name + QStringLiteral(".partial"))) {
        out.error = QStringLiteral("无法创建文件夹 %1").arg(QDir::toNativeSeparators(partial));
        return out;
    }
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
        const QString target = QDir(partial).filePath(s.fileName);
        DbResult r = s.db->exec(QStringLiteral("VACUUM INTO ?"), {target});
        if (!r)
            return fail(QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(target), r.error));
    }
    if (!QDir().rename(partial, final))
        return fail(QStringLiteral("无法创建文件夹 %1").arg(QDir::toNativeSeparators(final)));
    out.ok = true;
    out.folder = final;
    return out;
}

BackupOutcome backupProgramDatabases(const ProgramPaths& paths, const QDateTime& when, Database& business,
                                     Database& accounts)
{
    return backupDatabases(paths.backupDir(), when,
                           {{&business, QFileInfo(paths.businessDb()).fileName()},
                            {&accounts, QFileInfo(paths.accountsDb()).fileName()}});
}

} // namespace shop

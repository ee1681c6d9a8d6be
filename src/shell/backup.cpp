#include "backup.h"

#include "data/server_backup.h"
#include "ui/app_context.h"

#include <QApplication>

#include <QDir>

namespace shop {

BackupOutcome runBackup(AppContext& ctx)
{
    BackupOutcome out;
    if (!ctx.databasesOpen()) {
        out.error = QStringLiteral("数据库未打开");
    } else if (ctx.onServer()) {
        // A consistent copy of the server's database, by the server's own
        // client program, into the same folder as the files' backups.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        out = dumpServerDatabase(*ctx.server(), findClientTools(serverMajorVersion(ctx.business())),
                                 ctx.paths().backupDir(), ctx.clock().now());
        QApplication::restoreOverrideCursor();
    } else if (const QString refusal = ctx.backupRefusal(); !refusal.isEmpty()) {
        out.error = refusal;
    } else {
        out = backupProgramDatabases(ctx.paths(), ctx.clock().now(), ctx.business(), ctx.accounts());
    }
    if (out.ok)
        ctx.messages().information(
            QStringLiteral("数据已备份到：%1").arg(QDir::toNativeSeparators(out.folder)),
            QStringLiteral("数据备份"));
    else
        ctx.messages().critical(QStringLiteral("数据备份失败：%1").arg(out.error),
                                QStringLiteral("数据备份"));
    return out;
}

} // namespace shop

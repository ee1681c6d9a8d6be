#include "backup.h"

#include "ui/app_context.h"

#include <QDir>

namespace shop {

QString serverBackupText(AppContext& ctx)
{
    return QStringLiteral("数据库在数据库服务器 %1 上，由服务器备份和恢复（例如用 pg_dump 和 "
                          "pg_restore），本程序不复制它。")
        .arg(ctx.server() ? ctx.server()->display() : QString());
}

BackupOutcome runBackup(AppContext& ctx)
{
    BackupOutcome out;
    if (ctx.onServer()) {
        out.error = serverBackupText(ctx);
        ctx.messages().information(out.error, QStringLiteral("数据备份"));
        return out;
    }
    if (!ctx.databasesOpen())
        out.error = QStringLiteral("数据库未打开");
    else if (const QString refusal = ctx.backupRefusal(); !refusal.isEmpty())
        out.error = refusal;
    else
        out = backupProgramDatabases(ctx.paths(), ctx.clock().now(), ctx.business(), ctx.accounts());
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

#include "auto_backup.h"

#include "data/server_backup.h"
#include "ui/app_context.h"

namespace shop {

AutoBackup::AutoBackup(AppContext& ctx, QObject* parent)
    : QObject(parent), ctx_(ctx),
      copy_(
          [this] {
              return [paths = ctx_.paths(), when = ctx_.clock().now(), server = ctx_.server(), stop = stop_] {
                  return server ? takeAutoServerBackup(*server, paths.backupDir(), when, 30, stop.get())
                                : takeAutoBackup(paths, when, 30, stop.get());
              };
          },
          [this](const BackupOutcome& outcome) { done(outcome); })
{
}

AutoBackup::~AutoBackup()
{
    // The program ends at once: a copy still being written is given up
    // (its folder removed), and the next login of the day takes it again.
    stop_->store(true);
}

bool AutoBackup::startIfDue()
{
    if (running() || !autoBackupDue(ctx_.paths().backupDir(), ctx_.clock().today(), ctx_.onServer()))
        return false;
    // A server's database is copied by the server's client program; there
    // are no files to check first.
    if (ctx_.onServer()) {
        copy_.requestNow();
        return true;
    }
    FileCheck& check = ctx_.fileCheck();
    if (check.state() == FileCheck::State::Damaged)
        return false;
    // A copy of a damaged file would become the newest backup: the day's
    // backup waits for the files' check (the damage is said by the shell).
    if (check.state() == FileCheck::State::Running) {
        waiting_ = true;
        connect(&check, &FileCheck::finished, this, &AutoBackup::afterCheck, Qt::SingleShotConnection);
    } else {
        copy_.requestNow();
    }
    return true;
}

void AutoBackup::afterCheck()
{
    waiting_ = false;
    if (ctx_.fileCheck().state() == FileCheck::State::Damaged) {
        emit finished(BackupOutcome{false, {}, ctx_.backupRefusal()});
        return;
    }
    copy_.requestNow();
}

void AutoBackup::done(const BackupOutcome& outcome)
{
    if (!outcome.ok)
        ctx_.messages().critical(
            QStringLiteral("今天的自动备份没有完成：%1\n请用“备份数据”手动备份。").arg(outcome.error),
            QStringLiteral("数据备份"));
    emit finished(outcome);
}

} // namespace shop

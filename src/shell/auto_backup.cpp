#include "auto_backup.h"

#include "data/server_backup.h"
#include "ui/app_context.h"

#include <QThread>

namespace shop {

AutoBackup::~AutoBackup()
{
    // The program ends at once: a copy still being written is given up
    // (its folder removed), and the next login of the day takes it again.
    if (thread_) {
        stop_->store(true);
        thread_->wait();
    }
}

bool AutoBackup::startIfDue()
{
    if (running_ || !autoBackupDue(ctx_.paths().backupDir(), ctx_.clock().today(), ctx_.onServer()))
        return false;
    // A server's database is copied by the server's client program; there
    // are no files to check first.
    if (ctx_.onServer()) {
        running_ = true;
        startThread();
        return true;
    }
    FileCheck& check = ctx_.fileCheck();
    if (check.state() == FileCheck::State::Damaged)
        return false;
    running_ = true;
    // A copy of a damaged file would become the newest backup: the day's
    // backup waits for the files' check (the damage is said by the shell).
    if (check.state() == FileCheck::State::Running)
        connect(&check, &FileCheck::finished, this, &AutoBackup::afterCheck, Qt::SingleShotConnection);
    else
        startThread();
    return true;
}

void AutoBackup::afterCheck()
{
    if (ctx_.fileCheck().state() == FileCheck::State::Damaged) {
        running_ = false;
        emit finished(BackupOutcome{false, {}, ctx_.backupRefusal()});
        return;
    }
    startThread();
}

void AutoBackup::startThread()
{
    auto result = std::make_shared<BackupOutcome>();
    const ProgramPaths paths = ctx_.paths();
    const QDateTime when = ctx_.clock().now();
    auto stop = std::make_shared<std::atomic_bool>(false);
    stop_ = stop;
    const std::optional<DbServer> server = ctx_.server();
    QThread* thread = QThread::create([paths, when, result, stop, server] {
        *result = server ? takeAutoServerBackup(*server, paths.backupDir(), when, 30, stop.get())
                         : takeAutoBackup(paths, when, 30, stop.get());
    });
    thread_ = thread;
    connect(thread, &QThread::finished, this, [this, thread, result] {
        running_ = false;
        thread->deleteLater();
        if (!result->ok)
            ctx_.messages().critical(
                QStringLiteral("今天的自动备份没有完成：%1\n请用“备份数据”手动备份。").arg(result->error),
                QStringLiteral("数据备份"));
        emit finished(*result);
    });
    thread->start(QThread::LowPriority);
}

} // namespace shop

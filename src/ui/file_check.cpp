#include "file_check.h"

#include "data/backup_files.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <algorithm>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace shop {

bool FileCheck::isDamage(const QString& result)
{
    // A file that could not be read now (held by another program, no right
    // to it, the disk) is not said to be damaged.
    static const char* const notDamage[] = {"database is locked", "readonly database",
                                            "unable to open database file", "disk I/O error"};
    return result != QLatin1String("ok") &&
           std::none_of(std::begin(notDamage), std::end(notDamage),
                        [&result](const char* e) { return result.contains(QLatin1String(e)); });
}

FileCheck::FileCheck(QObject* parent) : QObject(parent) {}

FileCheck::~FileCheck()
{
    if (thread_)
        thread_->wait();
}

void FileCheck::start(const QStringList& files)
{
    if (state_ == State::Running)
        return;
    state_ = State::Running;
    damagedFile_.clear();
    damage_.clear();
    auto outcome = std::make_shared<Outcome>();
    outcome_ = outcome;
    QThread* thread = QThread::create([files, outcome] {
#ifdef Q_OS_LINUX
        // Behind the person's work: the window thread keeps its core when
        // the machine is busy (this thread alone, on Linux).
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
#endif
        for (const QString& file : files) {
            const QString result = checkDatabaseFile(file, true);
            if (isDamage(result)) {
                outcome->file = file;
                outcome->damage = result;
                return;
            }
        }
    });
    thread_ = thread;
    connect(thread, &QThread::finished, this, [this, thread] {
        thread->deleteLater();
        take();
        if (writesWaiting_ > 0)
            finishedHeld_ = true;
        else
            emit finished();
    });
    thread->start();
}

FileCheck::State FileCheck::wait()
{
    if (state_ == State::Running && thread_)
        thread_->wait();
    take();
    return state_;
}

FileCheck::State FileCheck::waitForWrite(int quietMs, const std::function<void(bool)>& saying)
{
    if (state_ == State::Running && thread_ && !thread_->wait(QDeadlineTimer(quietMs))) {
        ++writesWaiting_;
        saying(true);
        while (thread_ && !thread_->wait(QDeadlineTimer(50)))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        saying(false);
        --writesWaiting_;
    }
    const State verdict = wait();
    if (writesWaiting_ == 0 && std::exchange(finishedHeld_, false))
        QMetaObject::invokeMethod(this, &FileCheck::finished, Qt::QueuedConnection);
    return verdict;
}

QString FileCheck::refusedWriteText(const QString& file, const QString& damage)
{
    return QStringLiteral("数据库文件 %1 已损坏（%2），为免损坏扩大，本次操作没有保存。请停止录入，"
                          "按程序的提示从备份恢复数据。")
        .arg(QDir::toNativeSeparators(file), damage);
}

bool FileCheck::isRefusedWrite(const QString& error)
{
    return error.contains(QStringLiteral("为免损坏扩大，本次操作没有保存"));
}

void FileCheck::markSound()
{
    wait();
    if (state_ == State::NotRun)
        return;
    state_ = State::Sound;
    damagedFile_.clear();
    damage_.clear();
}

void FileCheck::take()
{
    if (state_ != State::Running || !outcome_)
        return;
    damagedFile_ = outcome_->file;
    damage_ = outcome_->damage;
    state_ = damagedFile_.isEmpty() ? State::Sound : State::Damaged;
    outcome_.reset();
}

} // namespace shop

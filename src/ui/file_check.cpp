#include "file_check.h"

#include "data/backup_files.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <utility>

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

FileCheck::FileCheck(QObject* parent)
    : QObject(parent),
      read_(
          [this] {
              return [files = files_] {
                  for (const QString& file : files)
                      if (const QString result = checkDatabaseFile(file, true); isDamage(result))
                          return Outcome{file, result};
                  return Outcome{};
              };
          },
          [this](const Outcome& outcome) { take(outcome); })
{
}

void FileCheck::start(const QStringList& files)
{
    if (state_ == State::Running)
        return;
    state_ = State::Running;
    damagedFile_.clear();
    damage_.clear();
    files_ = files;
    read_.requestNow();
}

FileCheck::State FileCheck::wait()
{
    read_.wait();
    return state_;
}

FileCheck::State FileCheck::waitForWrite(int quietMs, const std::function<void(bool)>& saying)
{
    if (!read_.wait(quietMs)) {
        ++writesWaiting_;
        saying(true);
        while (!read_.wait(50))
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

void FileCheck::take(const Outcome& outcome)
{
    if (state_ != State::Running)
        return;
    damagedFile_ = outcome.file;
    damage_ = outcome.damage;
    state_ = damagedFile_.isEmpty() ? State::Sound : State::Damaged;
    // Never in the middle of what took it (a write waiting for the verdict
    // takes it at once): from the event loop, after the writes waiting.
    if (writesWaiting_ > 0)
        finishedHeld_ = true;
    else
        QMetaObject::invokeMethod(this, &FileCheck::finished, Qt::QueuedConnection);
}

} // namespace shop

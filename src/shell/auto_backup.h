#pragma once

#include "data/backup_files.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>

namespace shop {

class AppContext;

// The daily automatic backup, taken at the first login of the day on a
// thread of its own so the login never waits for it. A failure is said
// once; it never stops the program.
class AutoBackup : public QObject {
    Q_OBJECT
public:
    explicit AutoBackup(AppContext& ctx, QObject* parent = nullptr) : QObject(parent), ctx_(ctx) {}
    ~AutoBackup() override;

    // Starts today's backup unless it is there or one is running, or the
    // files are found damaged; false when nothing was
    // started. While the files' check runs, the backup waits for it (and
    // is running()).
    bool startIfDue();
    bool running() const { return running_; }

signals:
    void finished(const shop::BackupOutcome& outcome);

private:
    void afterCheck();
    void startThread();

    AppContext& ctx_;
    QPointer<QThread> thread_;
    // Set when the program ends: a copy still running is given up.
    std::shared_ptr<std::atomic_bool> stop_;
    bool running_ = false;
};

} // namespace shop

#pragma once

#include "data/backup_files.h"
#include "ui/background_read.h"

#include <QObject>

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
    explicit AutoBackup(AppContext& ctx, QObject* parent = nullptr);
    ~AutoBackup() override;

    // Starts today's backup unless it is there or one is running, or the
    // files are found damaged; false when nothing was
    // started. While the files' check runs, the backup waits for it (and
    // is running()).
    bool startIfDue();
    bool running() const { return waiting_ || copy_.busy(); }

signals:
    void finished(const shop::BackupOutcome& outcome);

private:
    void afterCheck();
    void done(const BackupOutcome& outcome);

    AppContext& ctx_;
    // Set when the program ends: a copy still running is given up.
    std::shared_ptr<std::atomic_bool> stop_ = std::make_shared<std::atomic_bool>(false);
    bool waiting_ = false; // for the files' check
    BackgroundRead<BackupOutcome> copy_;
};

} // namespace shop

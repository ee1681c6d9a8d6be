#pragma once

#include "background_read.h"

#include <QObject>
#include <QStringList>

#include <functional>

namespace shop {

// SQLite's quick check of every page of the database files, on connections
// of its own, read in the background: it reads the whole file, which takes seconds with
// years of history, so the start does not wait for it. The outcome is known
// once finished() has been emitted, or after wait().
class FileCheck : public QObject {
    Q_OBJECT
public:
    enum class State { NotRun, Running, Sound, Damaged };

    // Whether what the check said means damage, not a file that could not
    // be read just now.
    static bool isDamage(const QString& result);

    // The program does not end under a running check: it waits for it.
    explicit FileCheck(QObject* parent = nullptr);

    // Checks the files in order; the first damaged one ends the check.
    void start(const QStringList& files);
    State state() const { return state_; }
    // Waits for a running check to end and takes its outcome (finished()
    // still follows from the event loop).
    State wait();
    // The same, for a write that must have the verdict first: silent for
    // `quietMs`, then `saying(true)` while the wait goes on (the windows
    // are painted meanwhile, no input is taken) and `saying(false)` at its
    // end. finished() follows only after the verdict is taken here, so
    // nothing it sets off runs in the middle of the write.
    State waitForWrite(int quietMs, const std::function<void(bool)>& saying);
    // The failure of a write refused because `file` was found damaged, and
    // whether a failure is one.
    static QString refusedWriteText(const QString& file, const QString& damage);
    static bool isRefusedWrite(const QString& error);
    // The files were replaced by ones that passed the full check.
    void markSound();
    // After a damaged outcome: the file, and what the check found in it.
    QString damagedFile() const { return damagedFile_; }
    QString damage() const { return damage_; }

signals:
    // The outcome is known (once per start, from the event loop).
    void finished();

private:
    // The damaged file and what was found; none when every file is sound.
    struct Outcome {
        QString file;
        QString damage;
    };
    void take(const Outcome& outcome);

    State state_ = State::NotRun;
    int writesWaiting_ = 0;
    bool finishedHeld_ = false;
    QStringList files_;
    BackgroundRead<Outcome> read_;
    QString damagedFile_;
    QString damage_;
};

} // namespace shop

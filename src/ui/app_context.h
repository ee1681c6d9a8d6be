#pragma once

#include "data/clock.h"
#include "data/database.h"
#include "data/program_paths.h"
#include "file_check.h"
#include "message_service.h"
#include "printing.h"
#include "shop_settings.h"
#include "window_registry.h"

#include <QObject>
#include <QSet>
#include <QSettings>
#include <QTimer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace shop {

// Says "table T changed" to every open view of T.
class TableNotifier : public QObject {
    Q_OBJECT
public:
    // Says it of each table in turn.
    void changed(const QStringList& tables)
    {
        for (const QString& t : tables)
            emit tableChanged(t);
    }
signals:
    void tableChanged(const QString& table);
};

// Says "the stored settings changed" to the windows that show them.
class ShellNotifier : public QObject {
    Q_OBJECT
signals:
    void settingsChanged();
    // Someone logged in (the rights may be others now).
    void loginChanged();
};

// What every window is handed: paths, the two databases, the login values,
// the clock, the settings store, the message and printing services, the
// table-changed and settings-changed notifiers and the quit hook.
class AppContext {
public:
    AppContext(ProgramPaths paths, std::unique_ptr<Clock> clock, std::unique_ptr<QSettings> settings,
               MessageService& messages, PrintService& printing);
    ~AppContext();

    const ProgramPaths& paths() const { return paths_; }
    const Clock& clock() const { return *clock_; }
    QSettings& settings() { return *settings_; }
    // The shop's settings (系统设置), typed.
    ShopSettings& shopSettings() { return shopSettings_; }
    MessageService& messages() { return messages_; }
    PrintService& printing() { return printing_; }
    TableNotifier& notifier() { return notifier_; }
    ShellNotifier& shellNotifier() { return shellNotifier_; }
    WindowRegistry& windows() { return windows_; }

    // The shop's data on a PostgreSQL server instead of the local files
    // (before openDatabases). No value: the files in the database folder.
    void useServer(const DbServer& server) { server_ = server; }
    const std::optional<DbServer>& server() const { return server_; }
    bool onServer() const { return server_.has_value(); }

    // Opens both database files (or both connections to the server); on
    // failure says which file (or server) and why.
    bool openDatabases(QString* error);
    Database& business() { return *business_; }
    Database& accounts() { return *accounts_; }
    bool databasesOpen() const { return business_ && accounts_; }
    // After openDatabases failed: the file found damaged (empty when it
    // failed for another reason), and what was found.
    QString damagedFile() const { return damagedFile_; }
    QString damage() const { return damage_; }
    // The full check of the open files' pages, behind the person's work;
    // NotRun on a server and until started.
    FileCheck& fileCheck() { return fileCheck_; }
    void startFileCheck();
    // Why nothing may be written to the files now (one was found damaged);
    // empty when it may. Waits for a running check, saying so when the wait
    // is noticeable.
    QString writeRefusal();
    // Why the files must not be backed up now (a backup of a damaged file
    // would become the newest backup); empty when they may. Waits for a
    // running check.
    QString backupRefusal();
    // The open files that cannot be written now (said at start; the program
    // reads on, and writes again without a restart once they can be).
    QStringList readOnlyFiles();
    // Closes both files (before they are replaced by a restore).
    void closeDatabases();
    // Replaces both open files by a backup's (see restoreBackup), or the
    // server's database by a server backup (see restoreServerDatabase), and
    // opens them again in place, so open windows keep working; they are told
    // that every table changed. On failure the files (or the database) that
    // were open stay.
    struct Restored {
        bool ok = false;
        QString setAside;
        QString error;
    };
    Restored restoreFromBackup(const QString& backupFolder);

    // Login values, set only by a successful login.
    QString curUser() const { return curUser_; }
    QString curKind() const { return curKind_; }
    void setLogin(const QString& user, const QString& kind)
    {
        curUser_ = user;
        curKind_ = kind;
        if (business_)
            business_->setWriter(curUser_, clock_.get());
        emit shellNotifier_.loginChanged();
    }
    // A supervisor account: the user name, upper-cased, is ZED or ADMINISTRATOR.
    bool isSupervisor() const { return isSupervisorName(curUser_); }
    static bool isSupervisorName(const QString& user);

    // Ends the program (tests replace it to observe the end).
    void quit() const;
    void setQuitHook(std::function<void()> hook) { quit_ = std::move(hook); }

    // "Today" as the program's date text.
    QString today() const { return todayText(*clock_); }

    // True the first time `what` is asked in this run of the program (a
    // notice said once after each start).
    bool firstTimeThisRun(const QString& what);

    // After a write: a failure is said (false returned); otherwise every
    // open view of `tables` re-reads.
    bool wrote(const DbResult& result, const QStringList& tables);

private:
    ProgramPaths paths_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<QSettings> settings_;
    MessageService& messages_;
    PrintService& printing_;
    TableNotifier notifier_;
    ShellNotifier shellNotifier_;
    ShopSettings shopSettings_;
    std::unique_ptr<Database> business_;
    std::unique_ptr<Database> accounts_;
    // Declared after the databases so open windows close before them.
    WindowRegistry windows_;
    QString curUser_;
    QString curKind_;
    std::function<void()> quit_;
    // Folds the write-ahead logs back into the files between user actions,
    // so no save pays for it.
    QTimer checkpointTimer_;
    QString damagedFile_;
    QString damage_;
    FileCheck fileCheck_;
    std::optional<DbServer> server_;
    bool rereadQueued_ = false;
    QSet<QString> saidThisRun_;

    bool openServerDatabases(QString* error);
    Restored restoreServerBackup(const QString& backupFolder);
    // Every open view of every table reads again.
    void everyTableChanged();
    // Whether both databases hold the program's tables; says which lacks one.
    bool tablesPresent(Database& business, Database& accounts, QString* error) const;
    // Keeps both opened databases once they hold the program's tables,
    // brought up to date.
    bool adopt(std::unique_ptr<Database> business, std::unique_ptr<Database> accounts, QString* error);
};

} // namespace shop

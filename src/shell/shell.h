#pragma once

#include "auto_backup.h"
#include "first_start.h"
#include "journal.h"
#include "login_window.h"
#include "main_window.h"
#include "single_instance.h"
#include "ui/window_registry.h"

#include <QObject>
#include <QPointer>

namespace shop {

class AppContext;

// Start-up and the login/main window pair: one copy per program folder,
// the first start, the databases, the login window, then the main window;
// ends the program when the person leaves it.
class Shell : public QObject {
    Q_OBJECT
public:
    explicit Shell(AppContext& ctx, QObject* parent = nullptr);

    // Runs the start-up steps and shows the login window. False when the
    // program is to end (the reason has been shown).
    bool start();

    // Shows the login window (switch user); brings it forward if open.
    LoginWindow* showLogin();

    LoginWindow* loginWindow() const { return login_; }
    MainWindow* mainWindow() const { return main_; }
    AutoBackup& autoBackup() { return autoBackup_; }
    LoginJournal& journal() { return journal_; }
    const LoginCounters& counters() const { return counters_; }

    // What start-up says when database files cannot be written.
    static QString readOnlyAtStartText(const QStringList& files);
    // What start-up says when files or folders of the shop stay open to
    // other accounts of the computer.
    static QString notPrivateText(const QStringList& paths);

signals:
    // The login window has been shown (start-up timing).
    void loginShown(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // The start-up after the program's own checks: the databases, then the
    // login window. False when the program is to end.
    bool continueStart();
    // The database settings window, at start-up; the start-up goes on when
    // it is closed. False when it cannot be opened.
    bool openDatabaseSettings();
    // The engine the settings name, its first start, then both databases:
    // Ready, End (said, or cancelled), or DatabaseSettings (chosen).
    StartStep openDatabases();
    // The shop's folders and files made the owner's only (those of an
    // earlier version, or copied in); the paths that stay open to others.
    QStringList makeShopFilesPrivate();
    // A damaged file: the newest backup offered; true when restored (into
    // the open files when `filesOpen`, else before they are opened).
    bool offerRestore(const QString& damagedFile, const QString& damage, bool filesOpen);
    // The full check behind the login has ended.
    void fileChecked();
    void loggedIn();
    void loginClosed();
    void endWhenNoWindowLeft();

    AppContext& ctx_;
    AutoBackup autoBackup_;
    LoginJournal journal_;
    LoginCounters counters_;
    SingleInstance instance_;
    // After the journal and the counters, so the windows go before them.
    WindowOwner windows_;
    QPointer<LoginWindow> login_;
    QPointer<MainWindow> main_;
    bool mainClosed_ = false;
    // The files were opened here: their full check runs behind the login.
    bool checkBehindLogin_ = false;
};

} // namespace shop

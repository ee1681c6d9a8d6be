#pragma once

#include "data/accounts.h"
#include "data/database.h"
#include "ui/message_service.h"

#include <QPointer>
#include <QVariantList>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace shop {

class AppContext;
class LoginJournal;

// Counters that outlive one showing of the login window.
struct LoginCounters {
    // Lookups of names without an account, over the whole run.
    int nameFail = 0;
};

// frmlogin: checks a user name and password against the accounts table,
// with three tries of each kind; on success sets the login values, writes
// the login entry and emits loggedIn().
class LoginWindow : public QWidget {
    Q_OBJECT
public:
    LoginWindow(AppContext& ctx, LoginJournal& journal, LoginCounters& counters, QWidget* parent = nullptr);

    // Wrong passwords during this showing.
    int passFail() const { return passFail_; }
    // The icon file `pic` shows ("key.ico", "startup.ico" or "err.ico").
    QString iconName() const { return iconName_; }

signals:
    void loggedIn();
    // Closed by cancel or its close box, without a login.
    void closedWithoutLogin();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void usernameEntered();
    void passwordEntered();
    void login();
    void lockOut(const QString& caption);
    // The first account row of that name (case ignored), or nullopt.
    DbValue<Account> findAccount(const QString& name);
    void say(const QString& text, MessageService::Icon icon, const QString& caption);
    void showIcon(const QString& file);

    AppContext& ctx_;
    LoginJournal& journal_;
    LoginCounters& counters_;
    int passFail_ = 0;
    QString iconName_;
    bool done_ = false;
    bool afterMessage_ = false;

    QLineEdit* username_;
    QLineEdit* password_;
    QLabel* pic_;
    QPushButton* cmok_;
    QPushButton* cmcancel_;
};

} // namespace shop

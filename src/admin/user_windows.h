#pragma once

#include "account_service.h"
#include "ui/app_context.h"

#include <QWidget>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace shop {

class RecordView;

// frmadduser: creates an account of kind "M" (普通用户) or "R" (受限制用户).
class AddUserWindow : public QWidget {
    Q_OBJECT
public:
    explicit AddUserWindow(AppContext& ctx, QWidget* parent = nullptr);

private:
    void nameEntered();
    void addUser();

    AppContext& ctx_;
    AccountService accounts_;
    QLineEdit* name_;     // user_txt
    QLineEdit* password_; // pass_txt
    QRadioButton* ordinary_;
    QRadioButton* restricted_;
    QPushButton* ok_; // cmok
};

// frmdeleuser: lists every account but the two supervisors and deletes the
// selected one. Passwords are never shown: their column holds a fixed mask.
class DeleteUserWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString kPasswordMask = QStringLiteral("******");

    explicit DeleteUserWindow(AppContext& ctx, QWidget* parent = nullptr);

    RecordView* grid() const { return grid_; }

private:
    void deleteUser();

    AppContext& ctx_;
    RecordView* grid_; // bg
};

// frmchange: changes the password of the logged-in user's own account.
class ChangePasswordWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChangePasswordWindow(AppContext& ctx, QWidget* parent = nullptr);

private:
    void oldEntered();
    void change();

    AppContext& ctx_;
    AccountService accounts_;
    QLineEdit* old_;  // txt_old
    QLineEdit* new_;  // txt_new
    QPushButton* ok_; // cmok
};

} // namespace shop

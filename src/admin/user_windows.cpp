#include "user_windows.h"

#include "ui/input_filters.h"
#include "ui/record_view.h"
#include "ui/widgets.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace shop {

namespace {
const QString kTable = QStringLiteral("username");
const QString kError = QStringLiteral("错误");
const QString kInfoCaption = QStringLiteral("系统信息");
const QString kNameExists = QStringLiteral("用户名已存在，请重新输入！");
const QString kEmptyPassword = QStringLiteral("用户密码不能为空，请重新输入！");
const QString kWrongPassword = QStringLiteral("密码错误，请重新输入！");
const QString kNameApostrophe = QStringLiteral("用户名不能包含单引号（'），登录时无法输入，请重新输入！");
const QString kPasswordApostrophe = QStringLiteral("密码不能包含单引号（'），登录时无法输入，请重新输入！");
const QString kNoAccount = QStringLiteral("找不到当前用户的帐户，无法更改密码！");

// The account dialogs are modal in use and centred on the screen.
void makeDialog(QWidget* w, const char* name, const QString& caption, int width, int height)
{
    w->setObjectName(QLatin1String(name));
    w->setWindowTitle(caption);
    w->setWindowModality(Qt::ApplicationModal);
    w->resize(width, height);
    centreOnScreen(w);
}

QLabel* buddyLabel(const QString& text, QWidget* field)
{
    auto* l = new QLabel(text);
    l->setBuddy(field);
    return l;
}
} // namespace

// ---------------------------------------------------------------- frmadduser

AddUserWindow::AddUserWindow(AppContext& ctx, QWidget* parent)
    : QWidget(parent), ctx_(ctx), accounts_(ctx.accounts())
{
    name_ = lineEdit("user_txt");
    password_ = passwordEdit("pass_txt");
    ordinary_ = new QRadioButton(QStringLiteral("普通用户"));
    ordinary_->setObjectName(QStringLiteral("modi"));
    restricted_ = new QRadioButton(QStringLiteral("受限制用户"));
    restricted_->setObjectName(QStringLiteral("read"));
    ordinary_->setChecked(true);
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(ordinary_);
    kinds->addButton(restricted_);
    ok_ = button("cmok", QStringLiteral("增加用户"));
    auto* cancel = button("cmcancel", QStringLiteral("取消增加"));

    auto* fields = new QGridLayout;
    fields->addWidget(buddyLabel(QStringLiteral("用户名(&U)"), name_), 0, 0);
    fields->addWidget(name_, 0, 1);
    fields->addWidget(buddyLabel(QStringLiteral("密  码(&P)"), password_), 1, 0);
    fields->addWidget(password_, 1, 1);
    auto* kindBox = new QHBoxLayout;
    kindBox->addWidget(ordinary_);
    kindBox->addWidget(restricted_);
    kindBox->addStretch();
    fields->addLayout(kindBox, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(name_, &QLineEdit::textChanged, this,
            [this](const QString& t) { ok_->setEnabled(!t.isEmpty()); });
    connect(name_, &QLineEdit::returnPressed, this, &AddUserWindow::nameEntered);
    connect(ok_, &QPushButton::clicked, this, &AddUserWindow::addUser);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    makeDialog(this, "frmadduser", QStringLiteral("增加用户名"), 320, 150);
    ok_->setEnabled(false);
    name_->setFocus();
}

bool AddUserWindow::report(const AccountService::Result& r)
{
    using O = AccountService::Outcome;
    switch (r.outcome) {
    case O::Done:
        return true;
    case O::EmptyPassword:
        ctx_.messages().critical(kEmptyPassword, QStringLiteral("系统警告"));
        password_->setFocus();
        break;
    case O::ApostropheInName:
        ctx_.messages().critical(kNameApostrophe, kError);
        name_->setFocus();
        break;
    case O::ApostropheInPassword:
        ctx_.messages().critical(kPasswordApostrophe, kError);
        password_->setFocus();
        break;
    case O::NameExists:
        ctx_.messages().critical(kNameExists, kError);
        name_->setFocus();
        break;
    case O::WrongPassword:
    case O::NoAccount:
    case O::Failed:
        ctx_.messages().databaseError(r.error);
        break;
    }
    return false;
}

void AddUserWindow::nameEntered()
{
    if (report(accounts_.checkNewName(name_->text())))
        password_->setFocus();
}

void AddUserWindow::addUser()
{
    if (name_->text().isEmpty())
        return;
    const QString kind = ordinary_->isChecked() ? AccountService::kOrdinary : AccountService::kRestricted;
    if (!report(accounts_.add(name_->text(), password_->text(), kind)))
        return;
    emit ctx_.notifier().tableChanged(kTable);
    ctx_.messages().information(QStringLiteral(" 用户名已成功增加! "), kInfoCaption);
    close();
}

// ---------------------------------------------------------------- frmdeleuser

DeleteUserWindow::DeleteUserWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    grid_ = new RecordView(ctx_, ctx_.accounts(), kTable);
    grid_->setObjectName(QStringLiteral("bg"));
    auto* remove = button("cmdele", QStringLiteral("删除"));
    auto* refresh = button("cmrefresh", QStringLiteral("刷新"));
    auto* quit = button("cmquit", QStringLiteral("退出"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(remove);
    buttons->addWidget(refresh);
    buttons->addWidget(quit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);

    QPalette blue = grid_->palette();
    blue.setColor(QPalette::Text, Qt::blue);
    grid_->setPalette(blue);
    // The same mask for every password, whatever the cell holds.
    grid_->maskColumn(1, kPasswordMask);

    connect(remove, &QPushButton::clicked, this, &DeleteUserWindow::deleteUser);
    connect(refresh, &QPushButton::clicked, grid_, &RecordView::rerun);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    grid_->addStateItem(remove);
    grid_->startItemStateTimer(100, "Timer1");

    makeDialog(this, "frmdeleuser", QStringLiteral("删除用户"), 420, 320);

    // The password column never reads the stored hashes: it repeats the
    // name under the mask. Text columns compare without letter case, so
    // the supervisors stay out whatever their case.
    RecordSource source{kTable, {QStringLiteral("username"), QStringLiteral("username")}, {}, {}};
    source.filter(QStringLiteral("username"), Op::Ne, QStringLiteral("ZED"))
        .filter(QStringLiteral("username"), Op::Ne, QStringLiteral("ADMINISTRATOR"));
    grid_->setSource(source);
    grid_->records()->setCaption(0, QStringLiteral("用户名"));
    grid_->records()->setCaption(1, QStringLiteral("密  码"));
    grid_->lock();
}

void DeleteUserWindow::deleteUser()
{
    const auto rec = grid_->currentRecord();
    if (rec && AccountService::isOwnAccount(rec->value(0), ctx_.curUser())) {
        ctx_.messages().critical(QStringLiteral("不能删除当前登录用户的帐户！"), kError);
        return;
    }
    grid_->deleteSelected(QStringLiteral("你真的要删除此记录吗？"), QString());
}

// ---------------------------------------------------------------- frmchange

ChangePasswordWindow::ChangePasswordWindow(AppContext& ctx, QWidget* parent)
    : QWidget(parent), ctx_(ctx), accounts_(ctx.accounts())
{
    old_ = passwordEdit("txt_old");
    new_ = passwordEdit("txt_new");
    ok_ = button("cmok", QStringLiteral("确定"));
    auto* quit = button("cmquit", QStringLiteral("退出"));

    auto* fields = new QGridLayout;
    fields->addWidget(buddyLabel(QStringLiteral("旧密码："), old_), 0, 0);
    fields->addWidget(old_, 0, 1);
    fields->addWidget(buddyLabel(QStringLiteral("新密码："), new_), 1, 0);
    fields->addWidget(new_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(quit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(old_, &QLineEdit::textChanged, this, [this](const QString& t) { ok_->setEnabled(!t.isEmpty()); });
    connect(old_, &QLineEdit::returnPressed, this, &ChangePasswordWindow::oldEntered);
    connect(new_, &QLineEdit::returnPressed, this, [this] {
        if (!old_->text().isEmpty())
            ok_->setFocus();
    });
    connect(ok_, &QPushButton::clicked, this, &ChangePasswordWindow::change);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);

    makeDialog(this, "frmchange", QStringLiteral("更改密码"), 300, 130);
    ok_->setEnabled(false);
    old_->setFocus();
}

bool ChangePasswordWindow::report(const AccountService::Result& r)
{
    using O = AccountService::Outcome;
    switch (r.outcome) {
    case O::Done:
        return true;
    case O::WrongPassword:
        ctx_.messages().critical(kWrongPassword, kError);
        old_->setFocus();
        break;
    case O::EmptyPassword:
        ctx_.messages().critical(kEmptyPassword, QStringLiteral("系统警告"));
        new_->setFocus();
        break;
    case O::ApostropheInPassword:
        ctx_.messages().critical(kPasswordApostrophe, kError);
        new_->setFocus();
        break;
    case O::NoAccount:
        ctx_.messages().critical(kNoAccount, kError);
        break;
    case O::ApostropheInName:
    case O::NameExists:
    case O::Failed:
        ctx_.messages().databaseError(r.error);
        break;
    }
    return false;
}

void ChangePasswordWindow::oldEntered()
{
    if (report(accounts_.checkPassword(ctx_.curUser(), old_->text())))
        new_->setFocus();
}

void ChangePasswordWindow::change()
{
    if (old_->text().isEmpty())
        return;
    if (!report(accounts_.changePassword(ctx_.curUser(), old_->text(), new_->text())))
        return;
    // The window goes before the message, as it unloads first.
    AppContext& ctx = ctx_;
    emit ctx.notifier().tableChanged(kTable);
    close();
    ctx.messages().information(QStringLiteral("你的密码已成功更改，并立即生效!"), kInfoCaption);
}

} // namespace shop

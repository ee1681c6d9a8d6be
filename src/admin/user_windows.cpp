#include "user_windows.h"

#include "data/schema.h"
#include "ui/record_view.h"
#include "ui/tab_order.h"
#include "ui/widgets.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace shop {

namespace {
const QString kError = QStringLiteral("错误");
const QString kInfoCaption = QStringLiteral("系统信息");

// The boxes where the outcomes of the account rules are mended.
struct AccountBoxes {
    QWidget* name = nullptr;
    QWidget* oldPassword = nullptr;
    QWidget* password = nullptr;
};

// Says what an outcome means and puts the focus where it is mended; false
// unless Done.
bool report(AppContext& ctx, const AccountService::Result& r, const AccountBoxes& boxes)
{
    using O = AccountService::Outcome;
    MessageService& m = ctx.messages();
    QWidget* focus = nullptr;
    switch (r.outcome) {
    case O::Done:
        return true;
    case O::EmptyPassword:
        m.critical(QStringLiteral("用户密码不能为空，请重新输入！"), QStringLiteral("系统警告"));
        focus = boxes.password;
        break;
    case O::ApostropheInName:
        m.critical(QStringLiteral("用户名不能包含单引号（'），登录时无法输入，请重新输入！"), kError);
        focus = boxes.name;
        break;
    case O::ApostropheInPassword:
        m.critical(QStringLiteral("密码不能包含单引号（'），登录时无法输入，请重新输入！"), kError);
        focus = boxes.password;
        break;
    case O::NameExists:
        m.critical(QStringLiteral("用户名已存在，请重新输入！"), kError);
        focus = boxes.name;
        break;
    case O::ReservedName:
        m.critical(QStringLiteral("此用户名是系统管理员的保留名称（不分大小写），不能使用，请重新输入！"),
                   kError);
        focus = boxes.name;
        break;
    case O::WrongPassword:
        m.critical(QStringLiteral("密码错误，请重新输入！"), kError);
        focus = boxes.oldPassword;
        break;
    case O::NoAccount:
        m.critical(QStringLiteral("找不到当前用户的帐户，无法更改密码！"), kError);
        break;
    case O::Failed:
        m.databaseError(r.error);
        break;
    }
    if (focus)
        focus->setFocus();
    return false;
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
    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(ordinary_);
    kindRow->addWidget(restricted_);
    kindRow->addStretch();
    dialogForm(this,
               {{QStringLiteral("用户名(&U)"), name_},
                {QStringLiteral("密  码(&P)"), password_},
                {QString(), nullptr, kindRow}},
               {ok_, cancel});

    connect(name_, &QLineEdit::textChanged, this,
            [this](const QString& t) { ok_->setEnabled(!t.isEmpty()); });
    connect(name_, &QLineEdit::returnPressed, this, &AddUserWindow::nameEntered);
    connect(ok_, &QPushButton::clicked, this, &AddUserWindow::addUser);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    dialogWindow(this, QStringLiteral("增加用户名"), 320, 150);
    ok_->setEnabled(false);
    name_->setFocus();
}

void AddUserWindow::nameEntered()
{
    if (report(ctx_, accounts_.checkNewName(name_->text()), {name_, nullptr, password_}))
        password_->setFocus();
}

void AddUserWindow::addUser()
{
    if (name_->text().isEmpty())
        return;
    const QString kind = ordinary_->isChecked() ? AccountService::kOrdinary : AccountService::kRestricted;
    if (!report(ctx_, accounts_.add(name_->text(), password_->text(), kind), {name_, nullptr, password_}))
        return;
    ctx_.notifier().changed({schema::username::kTable});
    ctx_.messages().information(QStringLiteral(" 用户名已成功增加! "), kInfoCaption);
    close();
}

// ---------------------------------------------------------------- frmdeleuser

DeleteUserWindow::DeleteUserWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    grid_ = namedGrid(ctx_, ctx_.accounts(), schema::username::kTable, "bg");
    auto* remove = button("cmdele", QStringLiteral("删除"));
    auto* refresh = button("cmrefresh", QStringLiteral("刷新"));
    auto* quit = button("cmquit", QStringLiteral("退出"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttonRow({remove, refresh, quit}, SpareWidth::Before));
    tabInReadingOrder(this);

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

    dialogWindow(this, QStringLiteral("删除用户"), 420, 320);

    // The password column never reads the stored hashes: it repeats the
    // name under the mask. Text columns compare without letter case, so
    // the supervisors stay out whatever their case.
    const QString name = schema::username::kName;
    RecordSource source{schema::username::kTable, {name, name}, {}, {}};
    for (const QString& supervisor : schema::username::kSupervisors)
        source.filter(name, Op::Ne, supervisor);
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
    dialogForm(this, {{QStringLiteral("旧密码："), old_}, {QStringLiteral("新密码："), new_}}, {ok_, quit});

    connect(old_, &QLineEdit::textChanged, this, [this](const QString& t) { ok_->setEnabled(!t.isEmpty()); });
    connect(old_, &QLineEdit::returnPressed, this, &ChangePasswordWindow::oldEntered);
    connect(new_, &QLineEdit::returnPressed, this, [this] {
        if (!old_->text().isEmpty())
            ok_->setFocus();
    });
    connect(ok_, &QPushButton::clicked, this, &ChangePasswordWindow::change);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);

    dialogWindow(this, QStringLiteral("更改密码"), 300, 130);
    ok_->setEnabled(false);
    old_->setFocus();
}

void ChangePasswordWindow::oldEntered()
{
    if (report(ctx_, accounts_.checkPassword(ctx_.curUser(), old_->text()), {nullptr, old_, new_}))
        new_->setFocus();
}

void ChangePasswordWindow::change()
{
    if (old_->text().isEmpty())
        return;
    if (!report(ctx_, accounts_.changePassword(ctx_.curUser(), old_->text(), new_->text()),
                {nullptr, old_, new_}))
        return;
    // The window goes before the message, as it unloads first.
    AppContext& ctx = ctx_;
    ctx.notifier().changed({schema::username::kTable});
    close();
    ctx.messages().information(QStringLiteral("你的密码已成功更改，并立即生效!"), kInfoCaption);
}

} // namespace shop

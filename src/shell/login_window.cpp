#include "login_window.h"

#include "ui/app_context.h"
#include "ui/input_filters.h"
#include "data/password.h"
#include "journal.h"
#include "ui/widgets.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace shop {

namespace {
const QString kKeyIcon = QStringLiteral("key.ico");
const QString kStartupIcon = QStringLiteral("startup.ico");
const QString kErrIcon = QStringLiteral("err.ico");

// Drawn when a picture file is missing, so the window never looks broken
// (painted, not looked up in an icon theme, which costs start-up time).
QPixmap fallbackIcon(const QString& file)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (file == kErrIcon) {
        p.setBrush(QColor(204, 0, 0));
        p.setPen(Qt::NoPen);
        p.drawEllipse(1, 1, 30, 30);
        p.setPen(pen);
        p.drawLine(10, 10, 22, 22);
        p.drawLine(22, 10, 10, 22);
    } else if (file == kStartupIcon) {
        p.setBrush(QColor(78, 154, 6));
        p.setPen(Qt::NoPen);
        p.drawEllipse(1, 1, 30, 30);
        p.setPen(pen);
        p.drawPolyline(QPolygon({QPoint(9, 16), QPoint(14, 21), QPoint(23, 11)}));
    } else {
        // A key: ring and shaft.
        p.setPen(QPen(QColor(196, 160, 0), 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(3, 9, 12, 12);
        p.drawLine(15, 15, 29, 15);
        p.drawLine(25, 15, 25, 21);
        p.drawLine(29, 15, 29, 20);
    }
    return pm;
}
} // namespace

LoginWindow::LoginWindow(AppContext& ctx, LoginJournal& journal, LoginCounters& counters, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), ctx_(ctx),
      journal_(journal), counters_(counters)
{
    setObjectName(QStringLiteral("frmlogin"));
    setWindowTitle(QStringLiteral("系统用户登录"));

    pic_ = new QLabel(this);
    pic_->setObjectName(QStringLiteral("pic"));
    pic_->setFixedSize(40, 40);
    pic_->setAlignment(Qt::AlignCenter);

    username_ = new QLineEdit(this);
    username_->setObjectName(QStringLiteral("username"));
    password_ = passwordEdit("password");
    ApostropheFilter::install(username_);
    ApostropheFilter::install(password_);

    cmok_ = button("cmok", QStringLiteral("确定(&O)"));
    cmcancel_ = button("cmcancel", QStringLiteral("取消(&C)"));

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("用户名："), this), 0, 0);
    fields->addWidget(username_, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("密  码："), this), 1, 0);
    fields->addWidget(password_, 1, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(pic_, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(fields, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmok_);
    buttons->addWidget(cmcancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    resize(340, 150);
    setTabOrder(username_, password_);
    setTabOrder(password_, cmok_);
    setTabOrder(cmok_, cmcancel_);

    // The window sees every key before the control with the focus.
    for (QWidget* w : {static_cast<QWidget*>(username_), static_cast<QWidget*>(password_),
                       static_cast<QWidget*>(cmok_), static_cast<QWidget*>(cmcancel_)})
        w->installEventFilter(this);

    connect(username_, &QLineEdit::textChanged, this, [this](const QString& t) {
        showIcon(t.isEmpty() ? kKeyIcon : kStartupIcon);
        cmok_->setEnabled(!t.isEmpty());
    });
    connect(password_, &QLineEdit::textChanged, this,
            [this](const QString& t) { showIcon(t.isEmpty() ? kKeyIcon : kStartupIcon); });
    connect(username_, &QLineEdit::returnPressed, this, &LoginWindow::usernameEntered);
    connect(password_, &QLineEdit::returnPressed, this, &LoginWindow::passwordEntered);
    connect(cmok_, &QPushButton::clicked, this, &LoginWindow::login);
    connect(cmcancel_, &QPushButton::clicked, this, &QWidget::close);

    // Loading: pass_fail starts at 0 each showing; name_fail is kept.
    passFail_ = 0;
    centreOnScreen(this);
    cmok_->setEnabled(false);
    showIcon(kKeyIcon);
}

void LoginWindow::showIcon(const QString& file)
{
    iconName_ = file;
    const QString path = ctx_.paths().picture(file);
    QPixmap pm;
    if (QFileInfo::exists(path))
        pm.load(path);
    if (pm.isNull())
        pm = fallbackIcon(file);
    pic_->setPixmap(pm);
}

void LoginWindow::say(const QString& text, MessageService::Icon icon, const QString& caption)
{
    ctx_.messages().message(text, icon, QMessageBox::Ok, caption);
    // The window is activated again when the box closes; that is not a new
    // activation of the login window (it keeps its picture).
    afterMessage_ = true;
    QTimer::singleShot(300, this, [this] { afterMessage_ = false; });
}

bool LoginWindow::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && !afterMessage_) {
        showIcon(kKeyIcon);
        username_->setFocus(Qt::ActiveWindowFocusReason);
    }
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        done_ = true;
        ctx_.quit();
        return true;
    }
    return QWidget::event(e);
}

bool LoginWindow::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Escape) {
            // Esc anywhere ends the program at once, without a message.
            done_ = true;
            ctx_.quit();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void LoginWindow::closeEvent(QCloseEvent* e)
{
    const bool emitClosed = !done_;
    done_ = true;
    e->accept();
    if (emitClosed)
        emit closedWithoutLogin();
}

DbValue<Account> LoginWindow::findAccount(const QString& name)
{
    // A name holding an apostrophe never logs in: it is an unknown name.
    if (name.contains(QLatin1Char('\'')) || !ctx_.databasesOpen())
        return DbValue<Account>::none();
    auto row = users::find(ctx_.accounts(), name);
    if (row.failed())
        say(QStringLiteral("无法读取用户数据：%1").arg(row.error()), QMessageBox::Critical,
            QStringLiteral("错误信息"));
    return row;
}

void LoginWindow::usernameEntered()
{
    const auto row = findAccount(username_->text());
    if (row.failed())
        return;
    if (!row.found()) {
        say(QStringLiteral("用户名不存在，请重输！"), QMessageBox::Critical, QStringLiteral("错误信息"));
        if (++counters_.nameFail >= 3) {
            lockOut(QStringLiteral("警告信息"));
            return;
        }
        username_->setFocus();
        return;
    }
    username_->setText(username_->text().toUpper());
    password_->setFocus();
}

void LoginWindow::passwordEntered()
{
    if (!username_->text().isEmpty())
        cmok_->setFocus();
    else
        username_->setFocus();
}

void LoginWindow::login()
{
    if (done_ || username_->text().isEmpty())
        return;
    const QString name = username_->text();
    const auto row = findAccount(name);
    if (row.failed())
        return;
    if (!row.found()) {
        say(QStringLiteral("用户名不存在，请重新输入！"), QMessageBox::Critical, QStringLiteral("错误信息 "));
        ++counters_.nameFail;
        username_->setFocus();
        if (counters_.nameFail >= 3)
            lockOut(QStringLiteral("错误信息"));
        return;
    }
    const QString stored = row->passwordHash;
    if (!verifyPassword(password_->text(), stored)) {
        showIcon(kErrIcon);
        say(QStringLiteral("密码错误，请重新输入！"), QMessageBox::Critical, QStringLiteral("错误信息"));
        if (++passFail_ >= 3) {
            lockOut(QStringLiteral("错误信息"));
            return;
        }
        username_->setFocus();
        return;
    }
    ctx_.setLogin(name, row->kind);
    hide();
    say(name + QStringLiteral(", 欢迎使用本系统!  "), QMessageBox::Information, QStringLiteral("系统信息"));
    done_ = true;
    close();
    journal_.writeLogin(name);
    emit loggedIn();
}

void LoginWindow::lockOut(const QString& caption)
{
    done_ = true;
    close();
    say(QStringLiteral("对不起,你未授予本系统的使用权,请与系统管理员联系!\n"
                       "系统设计：ZEDWARE 软件工作室  电话：(010) 6000 0000  邮箱：support@zedware.example"),
        QMessageBox::Critical, caption);
    ctx_.quit();
}

} // namespace shop

#include "database_window.h"

#include "data/server_check.h"
#include "server_start.h"
#include "ui/settings_store.h"
#include "ui/app_context.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace shop {

namespace {

namespace keys = database_settings;

// What a trial connection found, in the words of the person at the till.
std::pair<QMessageBox::Icon, QString> checkText(const ServerCheck& c, const DbServer& s)
{
    using R = ServerCheck::Result;
    const QString where = s.display();
    switch (c.result) {
    case R::Works:
        return {QMessageBox::Information,
                QStringLiteral("连接成功：数据库服务器 %1 上的数据库可以使用。").arg(where)};
    case R::Empty:
        return {QMessageBox::Information,
                QStringLiteral("连接成功，但数据库服务器 %1 上的数据库还没有本系统的数据表。\n"
                               "保存设置后，下次启动程序时将提出创建数据表。")
                    .arg(where)};
    case R::TablesMissing:
        return {QMessageBox::Critical,
                QStringLiteral("已连接数据库服务器 %1，但数据库缺少本系统的数据表 %2，不能使用。\n"
                               "请检查数据库名称，或用备份恢复这个数据库。")
                    .arg(where, c.detail)};
    case R::NotReached:
        return {QMessageBox::Critical,
                QStringLiteral("无法连接数据库服务器 %1：服务器没有响应。\n"
                               "请检查服务器地址和端口是否正确、服务器是否已经启动、网络是否正常。")
                    .arg(where)};
    case R::Starting:
        return {QMessageBox::Critical,
                QStringLiteral("数据库服务器 %1 正在启动或关闭，暂时不接受连接，请稍后再试。").arg(where)};
    case R::NeedsPassword:
        return {QMessageBox::Critical,
                QStringLiteral("数据库服务器 %1 要求输入密码，请在“密码”一栏输入后再测试。").arg(where)};
    case R::WrongPassword:
        return {QMessageBox::Critical,
                QStringLiteral("数据库服务器 %1 拒绝登录：用户 %2 的密码不正确。").arg(where, s.user)};
    case R::NoDatabase:
        return {QMessageBox::Critical, QStringLiteral("数据库服务器 %1 上没有名为“%2”的数据库。\n"
                                                      "请检查数据库名称，或请服务器管理员创建这个数据库。")
                                           .arg(where, s.name)};
    case R::TlsRefused:
        return {QMessageBox::Critical,
                QStringLiteral("数据库服务器 %1 不提供加密连接（TLS），而“加密连接”要求 %2。")
                    .arg(where, s.sslmode)};
    case R::Refused:
        break;
    }
    return {QMessageBox::Critical, QStringLiteral("数据库服务器 %1 拒绝连接：\n%2").arg(where, c.detail)};
}

} // namespace

QString DatabaseWindow::caption()
{
    return QStringLiteral("数据库设置");
}

DatabaseWindow::DatabaseWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmdatabase"));
    files_ = new QRadioButton(QStringLiteral("本机的数据文件（database 文件夹）"));
    files_->setObjectName(QStringLiteral("opt_files"));
    server_ = new QRadioButton(QStringLiteral("数据库服务器（PostgreSQL，多台收银机共用）"));
    server_->setObjectName(QStringLiteral("opt_server"));
    auto* engines = new QButtonGroup(this);
    engines->addButton(files_);
    engines->addButton(server_);
    auto* engineRows = new QVBoxLayout;
    engineRows->addWidget(files_);
    engineRows->addWidget(server_);
    host_ = lineEdit("txt_host");
    port_ = lineEdit("txt_port");
    database_ = lineEdit("txt_database");
    user_ = lineEdit("txt_user");
    password_ = passwordEdit("txt_password");
    sslmode_ = new QComboBox;
    sslmode_->setObjectName(QStringLiteral("cbo_sslmode"));
    sslmode_->addItems(DbServer::sslModes());
    auto* note = new QLabel(QStringLiteral("更改的设置在下次启动程序时生效。\n"
                                           "密码只用于“测试连接”，不会保存：每次启动程序时询问。"));
    note->setObjectName(QStringLiteral("lab_note"));
    test_ = button("cmd_test", QStringLiteral("测试连接(&T)"));
    auto* save = button("cmd_save", QStringLiteral("保存(&S)"));
    auto* exit = button("cmd_exit", QStringLiteral("退出(&E)"));
    dialogForm(this,
               {{QStringLiteral("数据位置："), nullptr, engineRows},
                {QStringLiteral("服务器地址(&H)："), host_},
                {QStringLiteral("端口(&O)："), port_},
                {QStringLiteral("数据库名称(&N)："), database_},
                {QStringLiteral("用户名(&U)："), user_},
                {QStringLiteral("密码(&P)："), password_},
                {QStringLiteral("加密连接(&L)："), sslmode_},
                {QString(), note}},
               {test_, save, exit});

    connect(files_, &QRadioButton::toggled, this, &DatabaseWindow::engineChosen);
    connect(test_, &QPushButton::clicked, this, &DatabaseWindow::testConnection);
    connect(save, &QPushButton::clicked, this, &DatabaseWindow::save);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);

    // What the settings hold now, as they are (even when they cannot be
    // used: this is where they are put right).
    QSettings& s = ctx_.settings();
    const auto value = [&s](const char* key) { return s.value(QLatin1String(key)).toString().trimmed(); };
    const bool onServer = value(keys::kEngineKey).toLower() == QLatin1String("postgresql");
    (onServer ? server_ : files_)->setChecked(true);
    host_->setText(value(keys::kHostKey));
    const QString port = value(keys::kPortKey);
    port_->setText(port.isEmpty() ? QStringLiteral("5432") : port);
    database_->setText(value(keys::kNameKey));
    user_->setText(value(keys::kUserKey));
    sslmode_->setCurrentIndex(qMax(0, DbServer::sslModes().indexOf(value(keys::kSslModeKey).toLower())));
    engineChosen();
    dialogWindow(this, caption(), 460, 320);
}

void DatabaseWindow::engineChosen()
{
    const bool server = server_->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{host_, port_, database_, user_, password_, sslmode_, test_})
        w->setEnabled(server);
}

std::optional<DbServer> DatabaseWindow::typedServer()
{
    DbServer s;
    s.host = host_->text().trimmed();
    s.name = database_->text().trimmed();
    s.user = user_->text().trimmed();
    s.password = password_->text();
    s.sslmode = sslmode_->currentText();
    bool portOk = false;
    s.port = port_->text().trimmed().toInt(&portOk);
    const struct {
        bool bad;
        QLineEdit* box;
        const char* text;
    } rules[] = {
        {s.host.isEmpty(), host_, "请输入数据库服务器的地址！"},
        {!portOk || s.port < 1 || s.port > 65535, port_, "端口应是 1 到 65535 的整数，请重新输入！"},
        {s.name.isEmpty(), database_, "请输入数据库名称！"},
        {s.user.isEmpty(), user_, "请输入用户名！"},
    };
    for (const auto& r : rules)
        if (r.bad) {
            ctx_.messages().critical(QString::fromUtf8(r.text), caption());
            r.box->setFocus();
            return std::nullopt;
        }
    return s;
}

void DatabaseWindow::testConnection()
{
    const std::optional<DbServer> s = typedServer();
    if (!s)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ServerCheck found = checkServer(*s);
    QApplication::restoreOverrideCursor();
    const auto [icon, text] = checkText(found, *s);
    ctx_.messages().message(text, icon, QMessageBox::Ok, caption());
}

void DatabaseWindow::save()
{
    QList<std::pair<QString, QVariant>> values;
    if (server_->isChecked()) {
        const std::optional<DbServer> s = typedServer();
        if (!s)
            return;
        values = {{QLatin1String(keys::kEngineKey), QStringLiteral("postgresql")},
                  {QLatin1String(keys::kHostKey), s->host},
                  {QLatin1String(keys::kPortKey), s->port},
                  {QLatin1String(keys::kNameKey), s->name},
                  {QLatin1String(keys::kUserKey), s->user},
                  {QLatin1String(keys::kSslModeKey), s->sslmode}};
    } else {
        // The server's values stay for the day the shop goes back to it.
        values = {{QLatin1String(keys::kEngineKey), QStringLiteral("files")}};
    }
    if (!storeSettings(ctx_.settings(), values)) {
        ctx_.messages().critical(QStringLiteral("设置没有保存：设置文件 %1 不能写入。")
                                     .arg(QDir::toNativeSeparators(ctx_.settings().fileName())),
                                 caption());
        return;
    }
    ctx_.messages().information(QStringLiteral("数据库设置已保存，下次启动程序时生效。"), caption());
    close();
}

} // namespace shop

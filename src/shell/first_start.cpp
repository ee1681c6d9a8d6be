#include "first_start.h"

#include "ui/app_context.h"
#include "data/schema.h"

#include <QDir>
#include <QFileInfo>

namespace shop {

namespace {
const QString kCreateCaption = QStringLiteral("创建数据库");

// ZED's password twice until both agree; empty on Cancel.
QString askZedPassword(MessageService& m)
{
    for (;;) {
        const QString password = m.secret(QStringLiteral("请输入系统管理员 ZED 的密码："), kCreateCaption);
        if (password.isEmpty())
            return {};
        const QString again = m.secret(QStringLiteral("请再次输入密码："), kCreateCaption);
        if (again.isEmpty())
            return {};
        if (again == password)
            return password;
        m.critical(QStringLiteral("两次输入的密码不一致，请重新输入！"), QStringLiteral("错误信息"));
    }
}
} // namespace

QString databaseSettingsButton()
{
    return QStringLiteral("数据库设置(&D)...");
}

QString confirmNewDatabase(MessageService& m, const QString& question)
{
    if (!m.question(question, kCreateCaption))
        return {};
    return askZedPassword(m);
}

StartStep runFirstStart(AppContext& ctx)
{
    const ProgramPaths& p = ctx.paths();
    if (QFileInfo::exists(p.databaseDir()))
        return StartStep::Ready;
    MessageService& m = ctx.messages();
    // A till of a shop whose data is on a server has no folder either.
    const auto answer =
        m.choose(QStringLiteral("没有找到数据库文件夹 %1。\n是否现在创建新的数据库文件？")
                     .arg(QDir::toNativeSeparators(p.databaseDir())),
                 QMessageBox::Question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Open,
                 kCreateCaption, {{QMessageBox::Open, databaseSettingsButton()}});
    if (answer == QMessageBox::Open)
        return StartStep::DatabaseSettings;
    const QString password = answer == QMessageBox::Yes ? askZedPassword(m) : QString();
    if (password.isEmpty())
        return StartStep::End;
    QString error;
    if (!schema::createDatabaseFiles(p.businessDb(), p.accountsDb(), password, &error)) {
        m.critical(QStringLiteral("无法创建数据库文件：%1").arg(error), QStringLiteral("错误信息"));
        return StartStep::End;
    }
    m.information(QStringLiteral("数据库文件已创建。请用用户名 ZED 登录。"), QStringLiteral("系统信息"));
    return StartStep::Ready;
}

} // namespace shop

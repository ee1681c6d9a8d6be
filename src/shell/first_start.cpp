#include "first_start.h"

#include "ui/app_context.h"
#include "data/schema.h"

#include <QDir>
#include <QFileInfo>

namespace shop {

QString confirmNewDatabase(MessageService& m, const QString& question)
{
    const QString caption = QStringLiteral("创建数据库");
    if (!m.question(question, caption))
        return {};
    for (;;) {
        const QString password = m.secret(QStringLiteral("请输入系统管理员 ZED 的密码："), caption);
        if (password.isEmpty())
            return {};
        const QString again = m.secret(QStringLiteral("请再次输入密码："), caption);
        if (again.isEmpty())
            return {};
        if (again == password)
            return password;
        m.critical(QStringLiteral("两次输入的密码不一致，请重新输入！"), QStringLiteral("错误信息"));
    }
}

bool runFirstStart(AppContext& ctx)
{
    const ProgramPaths& p = ctx.paths();
    if (QFileInfo::exists(p.databaseDir()))
        return true;
    MessageService& m = ctx.messages();
    const QString password =
        confirmNewDatabase(m, QStringLiteral("没有找到数据库文件夹 %1。\n是否现在创建新的数据库文件？")
                                  .arg(QDir::toNativeSeparators(p.databaseDir())));
    if (password.isEmpty())
        return false;
    QString error;
    if (!schema::createDatabaseFiles(p.businessDb(), p.accountsDb(), password, &error)) {
        m.critical(QStringLiteral("无法创建数据库文件：%1").arg(error), QStringLiteral("错误信息"));
        return false;
    }
    m.information(QStringLiteral("数据库文件已创建。请用用户名 ZED 登录。"), QStringLiteral("系统信息"));
    return true;
}

} // namespace shop

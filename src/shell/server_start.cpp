#include "server_start.h"

#include "first_start.h"
#include "ui/app_context.h"
#include "data/schema.h"

#include <QDir>

#include <utility>

namespace shop {

namespace database_settings {

Choice read(QSettings& s)
{
    Choice out;
    const QString engine = s.value(QLatin1String(kEngineKey)).toString().trimmed().toLower();
    if (engine.isEmpty() || engine == QLatin1String("files"))
        return out;
    if (engine != QLatin1String("postgresql")) {
        out.error =
            QStringLiteral("设置中的数据库类型“%1”无法识别：database/engine 只能是 files 或 postgresql。")
                .arg(s.value(QLatin1String(kEngineKey)).toString());
        return out;
    }
    DbServer server;
    server.host = s.value(QLatin1String(kHostKey)).toString().trimmed();
    server.name = s.value(QLatin1String(kNameKey)).toString().trimmed();
    server.user = s.value(QLatin1String(kUserKey)).toString().trimmed();
    for (const auto& [key, value] : {std::pair{kHostKey, server.host}, std::pair{kNameKey, server.name},
                                     std::pair{kUserKey, server.user}})
        if (value.isEmpty()) {
            out.error = QStringLiteral("设置中缺少数据库服务器的 %1。").arg(QLatin1String(key));
            return out;
        }
    const QString port = s.value(QLatin1String(kPortKey)).toString().trimmed();
    if (!port.isEmpty()) {
        bool ok = false;
        server.port = port.toInt(&ok);
        if (!ok || server.port < 1 || server.port > 65535) {
            out.error =
                QStringLiteral("设置中数据库服务器的端口“%1”不正确：database/port 应是 1 到 65535 的整数。")
                    .arg(port);
            return out;
        }
    }
    if (const QString mode = s.value(QLatin1String(kSslModeKey)).toString().trimmed().toLower();
        !mode.isEmpty()) {
        if (!DbServer::sslModes().contains(mode)) {
            out.error = QStringLiteral("设置中数据库服务器的 sslmode“%1”不正确：database/sslmode 只能是 %2。")
                            .arg(s.value(QLatin1String(kSslModeKey)).toString(),
                                 DbServer::sslModes().join(QStringLiteral("、")));
            return out;
        }
        server.sslmode = mode;
    }
    out.server = server;
    return out;
}

} // namespace database_settings

namespace {

// Connects, asking for the password while the server wants one; a wrong one
// is said and asked again. Null when the person cancelled or the server
// cannot be reached (said).
std::unique_ptr<Database> connectAsking(MessageService& m, DbServer& server, const QString& settingsFile,
                                        StartStep* step)
{
    *step = StartStep::End;
    for (;;) {
        QString error;
        if (auto db = Database::openServer(server, &error))
            return db;
        if (Database::tlsRefused(error)) {
            m.critical(QStringLiteral("数据库服务器 %1 不提供加密连接（TLS），而设置要求加密连接"
                                      "（database/sslmode=%2）。\n请在服务器上启用 TLS，或改正设置文件 %3 "
                                      "中的 [database] 一节。程序将退出。")
                           .arg(server.display(), server.sslmode, QDir::toNativeSeparators(settingsFile)),
                       QStringLiteral("错误信息"));
            return nullptr;
        }
        if (!Database::needsPassword(error)) {
            // The settings may be what is wrong: they can be put right here.
            if (m.choose(QStringLiteral("无法连接数据库服务器 %1：\n%2\n选择“数据库设置”可以改正连接设置；"
                                        "否则程序将退出。")
                             .arg(server.display(), error),
                         QMessageBox::Critical, QMessageBox::Ok | QMessageBox::Open,
                         QStringLiteral("错误信息"),
                         {{QMessageBox::Open, databaseSettingsButton()}}) == QMessageBox::Open)
                *step = StartStep::DatabaseSettings;
            return nullptr;
        }
        if (!server.password.isEmpty())
            m.critical(QStringLiteral("数据库服务器 %1 的密码不正确，请重新输入！").arg(server.display()),
                       QStringLiteral("错误信息"));
        server.password = m.secret(QStringLiteral("请输入数据库服务器 %1 的密码：").arg(server.display()),
                                   QStringLiteral("数据库服务器"));
        if (server.password.isEmpty())
            return nullptr;
    }
}

// The first start on a server: the tables of both databases and the account
// ZED, after a question and the password of ZED twice.
bool createOnServer(MessageService& m, Database& db, const DbServer& server)
{
    const QString password = confirmNewDatabase(
        m, QStringLiteral("数据库服务器 %1 上还没有本系统的数据表。\n是否现在创建新的数据表？")
               .arg(server.display()));
    if (password.isEmpty())
        return false;
    QString error;
    if (!schema::createServerSchema(db, password, &error)) {
        m.critical(QStringLiteral("无法在数据库服务器上创建数据表：%1").arg(error),
                   QStringLiteral("错误信息"));
        return false;
    }
    m.information(QStringLiteral("数据表已在数据库服务器上创建。请用用户名 ZED 登录。"),
                  QStringLiteral("系统信息"));
    return true;
}

} // namespace

StartStep startOnServer(AppContext& ctx, DbServer server)
{
    MessageService& m = ctx.messages();
    StartStep step = StartStep::End;
    auto db = connectAsking(m, server, ctx.settings().fileName(), &step);
    if (!db)
        return step;
    const auto present = schema::presentTables(*db);
    if (present.failed()) {
        m.critical(
            QStringLiteral("无法读取数据库服务器 %1 上的数据表：%2").arg(server.display(), present.error()),
            QStringLiteral("错误信息"));
        return StartStep::End;
    }
    QStringList missing;
    for (const TableDef& t : schema::businessTables() + QList<TableDef>{schema::accountsTable()})
        if (!t.addedLater && !present->contains(t.name, Qt::CaseInsensitive))
            missing << t.name;
    if (present->isEmpty()) {
        if (!createOnServer(m, *db, server))
            return StartStep::End;
    } else if (!missing.isEmpty()) {
        // As a damaged file is said; a server database is restored on the
        // server, so nothing is offered here.
        m.critical(
            QStringLiteral("数据库服务器 %1 上的数据库已损坏（缺少数据表 %2）。程序将退出，数据库保持原样。\n"
                           "请用服务器上的备份恢复。")
                .arg(server.display(), missing.join(QStringLiteral("、"))),
            QStringLiteral("数据库损坏"));
        return StartStep::End;
    }
    db.reset();
    // The password stays in memory only, for the context's connections.
    ctx.useServer(server);
    QString error;
    if (!ctx.openDatabases(&error)) {
        m.critical(QStringLiteral("无法打开数据库服务器上的数据库 %1").arg(error),
                   QStringLiteral("错误信息"));
        return StartStep::End;
    }
    return StartStep::Ready;
}

} // namespace shop

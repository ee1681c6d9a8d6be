// A shop on a server day to day: the database settings window (its test
// connection for each failure, saving, reached from the start-up).
#include "data/schema.h"
#include "shell/server_start.h"
#include "shell/shell.h"
#include "shell/window_table.h"
#include "support/pg_cluster.h"
#include "support/ui.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>

#include <array>


using namespace shop;
using namespace shop::test;

namespace {

const QString kRole = QStringLiteral("till");
const QString kRolePassword = QStringLiteral("till-secret");
const QString kCaption = QStringLiteral("数据库设置");
const std::array kServerFields = {"txt_host", "txt_port", "txt_database", "txt_user", "txt_password"};

PgCluster* cluster()
{
    QString err;
    PgCluster* c = PgCluster::shared(&err);
    if (!c)
        qFatal("no cluster: %s", qPrintable(err));
    return c;
}

std::unique_ptr<Database> connectTo(const DbServer& s)
{
    QString err;
    auto db = Database::openServer(s, &err);
    if (!db)
        qFatal("%s", qPrintable(err));
    return db;
}

QWidget* openWindow(AppContext& ctx, const char* name)
{
    QWidget* w = ctx.windows().open(ctx, QLatin1String(name));
    if (!w || !QTest::qWaitForWindowActive(w))
        qFatal("cannot open %s", name);
    return w;
}

// The server part of the settings window filled in as a person does.
void chooseServer(QWidget* w, const DbServer& s)
{
    QTest::mouseClick(child<QRadioButton>(w, "opt_server"), Qt::LeftButton);
    fillFields(w, kServerFields, {s.host, QString::number(s.port), s.name, s.user, s.password});
}

// A program folder without databases, with its own settings file.
struct Till {
    QTemporaryDir dir;
    ScriptedMessages messages;
    ScriptedPrinting printing;
    std::unique_ptr<AppContext> ctx;

    Till()
    {
        ctx = std::make_unique<AppContext>(
            ProgramPaths{dir.path()},
            std::make_unique<FixedClock>(QDateTime(QDate(2026, 12, 7), QTime(9, 0))),
            std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat), messages,
            printing);
        ctx->setQuitHook([] {});
        registerWindows(ctx->windows());
    }
};

} // namespace

class TstServerShop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void testConnection_data();
    void testConnection();
    void save_data();
    void save();
    void reachedAtStart_data();
    void reachedAtStart();
};

void TstServerShop::initTestCase()
{
    // TestEnv builds its shop on the cluster.
    qputenv("SHOP_TEST_ENGINE", "postgres");
    QString err;
    QVERIFY2(cluster()->addPasswordRole(kRole, kRolePassword, &err), qPrintable(err));
}

// "测试连接" tells each failure apart, and says what works.
void TstServerShop::testConnection_data()
{
    QTest::addColumn<QString>("database"); // shop, empty, lacking, or a name not there
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("said"); // %1 the server as named, %2 the user, %3 the database

    const QString works = info("连接成功：数据库服务器 %1 上的数据库可以使用。", kCaption);
    QTest::newRow("works") << "shop" << 5432 << "shop"
                           << "" << works;
    QTest::newRow("wrong port") << "shop" << 5433 << "shop"
                                << ""
                                << stop("无法连接数据库服务器 %1：服务器没有响应。\n"
                                        "请检查服务器地址和端口是否正确、服务器是否已经启动、网络是否正常。",
                                        kCaption);
    QTest::newRow("wrong password") << "shop" << 5432 << kRole << "wrong"
                                    << stop("数据库服务器 %1 拒绝登录：用户 %2 的密码不正确。", kCaption);
    QTest::newRow("no password") << "shop" << 5432 << kRole << ""
                                 << stop("数据库服务器 %1 要求输入密码，请在“密码”一栏输入后再测试。",
                                         kCaption);
    QTest::newRow("missing database")
        << "no_such_shop" << 5432 << "shop"
        << ""
        << stop(
               "数据库服务器 %1 上没有名为“%3”的数据库。\n请检查数据库名称，或请服务器管理员创建这个数据库。",
               kCaption);
    QTest::newRow("missing database, with the password")
        << "no_such_shop" << 5432 << kRole << kRolePassword
        << stop(
               "数据库服务器 %1 上没有名为“%3”的数据库。\n请检查数据库名称，或请服务器管理员创建这个数据库。",
               kCaption);
    QTest::newRow("database without the tables")
        << "empty" << 5432 << "shop"
        << ""
        << info("连接成功，但数据库服务器 %1 上的数据库还没有本系统的数据表。\n"
                "保存设置后，下次启动程序时将提出创建数据表。",
                kCaption);
    QTest::newRow("tables missing")
        << "lacking" << 5432 << "shop"
        << ""
        << stop("已连接数据库服务器 %1，但数据库缺少本系统的数据表 salse，不能使用。\n"
                "请检查数据库名称，或用备份恢复这个数据库。",
                kCaption);
}

void TstServerShop::testConnection()
{
    QFETCH(QString, database);
    QFETCH(int, port);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, said);

    QString err;
    std::optional<DbServer> made = database == "empty" ? cluster()->freshDatabase(&err)
                                                       : cluster()->shopDatabase(TestEnv::kZedPassword, &err);
    QVERIFY2(made, qPrintable(err));
    if (database == "lacking")
        QVERIFY(connectTo(*made)->exec("DROP TABLE salse").ok);
    DbServer typed = *made;
    if (database != "empty" && database != "lacking" && database != "shop")
        typed.name = database;
    typed.port = port;
    typed.user = user;
    typed.password = password;

    TestEnv env;
    registerWindows(env.ctx().windows());
    QWidget* w = openWindow(env.ctx(), window_name::database);
    chooseServer(w, typed);
    press(w, "cmd_test");
    said.replace("%1", typed.display()).replace("%2", typed.user).replace("%3", typed.name);
    QCOMPARE(shownAll(env), QStringList{said});
    // A test saves nothing.
    QVERIFY(env.ctx().settings().allKeys().isEmpty());
}

// Saving checks what a start needs, stores the choice where the start reads
// it, and never the password.
void TstServerShop::save_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QStringList>("typed"); // host, port, database, user, password
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("focus"); // after a refusal

    const QStringList good = {"db.example", "5440", "shop", "till", "secret-1"};
    auto with = [&good](int i, const QString& v) {
        QStringList t = good;
        t[i] = v;
        return t;
    };
    const QString saved = info("数据库设置已保存，下次启动程序时生效。", kCaption);
    QTest::newRow("server") << true << good << saved << "";
    QTest::newRow("the files") << false << QStringList{} << saved << "";
    QTest::newRow("no host") << true << with(0, " ") << stop("请输入数据库服务器的地址！", kCaption)
                             << "txt_host";
    for (const char* port : {"0", "65536", "abc", ""})
        QTest::addRow("port '%s'", port)
            << true << with(1, port) << stop("端口应是 1 到 65535 的整数，请重新输入！", kCaption)
            << "txt_port";
    QTest::newRow("no database") << true << with(2, "") << stop("请输入数据库名称！", kCaption)
                                 << "txt_database";
    QTest::newRow("no user") << true << with(3, "") << stop("请输入用户名！", kCaption) << "txt_user";
}

void TstServerShop::save()
{
    QFETCH(bool, server);
    QFETCH(QStringList, typed);
    QFETCH(QString, said);
    QFETCH(QString, focus);

    TestEnv env;
    registerWindows(env.ctx().windows());
    QSettings& s = env.ctx().settings();
    // The shop was on another server before.
    const QList<std::pair<QString, QString>> before = {{"database/engine", "postgresql"},
                                                       {"database/host", "old.example"},
                                                       {"database/port", "5432"},
                                                       {"database/name", "old"},
                                                       {"database/user", "old"}};
    for (const auto& [k, v] : before)
        s.setValue(k, v);
    s.sync();
    QPointer<QWidget> w = openWindow(env.ctx(), window_name::database);
    QCOMPARE(readFields(w, kServerFields), (QStringList{"old.example", "5432", "old", "old", ""}));
    if (server)
        fillFields(w.data(), kServerFields, typed);
    else
        QTest::mouseClick(child<QRadioButton>(w, "opt_files"), Qt::LeftButton);
    press(w, "cmd_save");

    QCOMPARE(shownAll(env), QStringList{said});
    s.sync();
    QFile file(s.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains("secret-1"));
    const database_settings::Choice read = database_settings::read(s);
    if (!focus.isEmpty()) {
        QVERIFY(w && w->isVisible());
        QCOMPARE(focusName(), focus);
        QCOMPARE(read.server->display(), QString("old@old.example:5432/old"));
        return;
    }
    QTRY_VERIFY(!w);
    QVERIFY(read.error.isEmpty());
    QCOMPARE(read.server.has_value(), server);
    if (server)
        QCOMPARE(QStringList({read.server->host, QString::number(read.server->port), read.server->name,
                              read.server->user, read.server->password}),
                 typed.mid(0, 4) << "");
    // The server's values stay for the day the shop goes back to it.
    QCOMPARE(s.value("database/host").toString(), server ? typed.at(0) : "old.example");
}

// The settings window is reached from the first start's question and from
// the start-up's "server cannot be reached"; once it is saved and closed,
// the start-up goes on with what was saved.
void TstServerShop::reachedAtStart_data()
{
    QTest::addColumn<bool>("firstStart"); // else a server that does not answer
    QTest::newRow("first start") << true;
    QTest::newRow("server not reached") << false;
}

void TstServerShop::reachedAtStart()
{
    QFETCH(bool, firstStart);

    QString err;
    const auto server = cluster()->shopDatabase(TestEnv::kZedPassword, &err);
    QVERIFY2(server, qPrintable(err));
    DbServer away = *server;
    away.port = 5433;
    Till t;
    QString first = ask(QString("没有找到数据库文件夹 %1。\n是否现在创建新的数据库文件？")
                            .arg(QDir::toNativeSeparators(t.ctx->paths().databaseDir())),
                        "创建数据库");
    if (!firstStart) {
        QSettings& s = t.ctx->settings();
        s.setValue("database/engine", "postgresql");
        s.setValue("database/host", away.host);
        s.setValue("database/port", away.port);
        s.setValue("database/name", away.name);
        s.setValue("database/user", away.user);
        s.sync();
        QVERIFY(!Database::openServer(away, &err));
        first =
            stop(QString("无法连接数据库服务器 %1：\n%2\n选择“数据库设置”可以改正连接设置；否则程序将退出。")
                     .arg(away.display(), err),
                 "错误信息");
    }
    t.messages.answer(QMessageBox::Open);
    Shell shell(*t.ctx);
    QVERIFY(shell.start());
    QCOMPARE(t.messages.count(), 1);
    QCOMPARE(shown(t.messages.last()), first);
    QVERIFY(!shell.loginWindow());
    QPointer<QWidget> w = t.ctx->windows().find(window_name::database);
    QVERIFY(w && QTest::qWaitForWindowActive(w));

    chooseServer(w, *server);
    press(w, "cmd_save");
    QTRY_VERIFY(shell.loginWindow());
    QVERIFY(!w);
    QCOMPARE(shown(t.messages.last()), info("数据库设置已保存，下次启动程序时生效。", kCaption));
    QVERIFY(t.ctx->onServer());
    QCOMPARE(t.ctx->server()->display(), server->display());
    // No files were made for a shop on a server.
    QVERIFY(!QFileInfo::exists(t.ctx->paths().databaseDir()));
    t.ctx->windows().closeAll();
}

QTEST_MAIN(TstServerShop)
#include "tst_server_shop.moc"

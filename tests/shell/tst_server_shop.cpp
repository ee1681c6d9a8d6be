// A shop on a server day to day: the database settings window (its test
// connection for each failure, saving, reached from the start-up), backups
// and restores with the server's client programs, and a till that goes on
// after the server went away and came back.
#include "data/backup_files.h"
#include "data/schema.h"
#include "data/server_backup.h"
#include "sales/business_window.h"
#include "shell/backup.h"
#include "shell/server_start.h"
#include "shell/shell.h"
#include "shell/window_table.h"
#include "support/pg_cluster.h"
#include "support/ui.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <array>

#include <sys/stat.h>

using namespace shop;
using namespace shop::test;

namespace {

const QString kRole = QStringLiteral("till");
const QString kRolePassword = QStringLiteral("till-secret");
const QString kCaption = QStringLiteral("数据库设置");
const std::array kServerFields = {"txt_host", "txt_port", "txt_database", "txt_user", "txt_password"};

PgCluster* cluster()
{
    return sharedCluster();
}

int modeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
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

// A program folder without databases, its windows registered.
struct Till : BareProgram {
    Till() { registerWindows(ctx->windows()); }
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
    void clientTools_data();
    void clientTools();
    void restore_data();
    void restore();
    void tillSurvivesTheServerGoingAway();
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
        QVERIFY(connectOrStop(*made)->exec("DROP TABLE salse").ok);
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
    for (const QString kv : {"engine=postgresql", "host=old.example", "port=5432", "name=old", "user=old"})
        s.setValue("database/" + kv.section('=', 0, 0), kv.section('=', 1));
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
    QString first = withButtons(ask(QString("没有找到数据库文件夹 %1。\n是否现在创建新的数据库文件？")
                                        .arg(QDir::toNativeSeparators(t.ctx->paths().databaseDir())),
                                    "创建数据库"),
                                {"数据库设置(&D)..."});
    if (!firstStart) {
        QSettings& s = t.ctx->settings();
        s.setValue("database/engine", "postgresql");
        s.setValue("database/host", away.host);
        s.setValue("database/port", away.port);
        s.setValue("database/name", away.name);
        s.setValue("database/user", away.user);
        s.sync();
        QVERIFY(!Database::openServer(away, &err));
        first = withButtons(
            stop(QString("无法连接数据库服务器 %1：\n%2\n选择“数据库设置”可以改正连接设置；否则程序将退出。")
                     .arg(away.display(), err),
                 "错误信息"),
            {"数据库设置(&D)..."});
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

// The client programs: the newest found serves; none, or only older than
// the server, is said.
void TstServerShop::clientTools_data()
{
    QTest::addColumn<QStringList>("versions"); // one folder each
    QTest::addColumn<int>("found");
    QTest::addColumn<QString>("error");

    QTest::newRow("none") << QStringList{} << 0
                          << "没有找到 PostgreSQL 的客户端程序 pg_dump 和 pg_restore。\n"
                             "请安装软件包 postgresql-client（版本 16 或更新）后再试。";
    QTest::newRow("older")
        << QStringList{"15.8", "9.6"} << 15
        << "本机的 PostgreSQL 客户端程序 pg_dump 和 pg_restore 是版本 15，比数据库服务器的版本 "
           "16 旧，不能用来备份或恢复。\n请安装版本 16 或更新的 postgresql-client 后再试。";
    QTest::newRow("same") << QStringList{"16.4"} << 16 << "";
    QTest::newRow("newer among older") << QStringList{"15.8", "17.2", "16.1"} << 17 << "";
}

void TstServerShop::clientTools()
{
    QFETCH(QStringList, versions);
    QFETCH(int, found);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QStringList folders = {dir.filePath("empty")};
    QDir().mkpath(folders.first());
    for (const QString& v : versions) {
        const QString folder = dir.filePath(v);
        QDir().mkpath(folder);
        for (const char* tool : {"pg_dump", "pg_restore"}) {
            QFile f(QDir(folder).filePath(tool));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QString("#!/bin/sh\necho '%1 (PostgreSQL) %2 (Debian %2-1)'\n").arg(tool, v).toUtf8());
            f.close();
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        folders << folder;
    }
    const ClientTools t = findClientTools(16, folders);
    QCOMPARE(t.major, found);
    QCOMPARE(t.error, error);
    const QStringList chosen = versions.filter(QRegularExpression(QString("^%1\\.").arg(found)));
    QCOMPARE(t.dump, chosen.isEmpty() ? QString() : QDir(dir.filePath(chosen.first())).filePath("pg_dump"));
}

// A backup (private, in the backup folder), rows changed, a restore through
// the window: the rows are back, read through the program's own connections
// opened again, and the state before is kept as a backup of its own. A
// backup that cannot be used (it lacks a table) fails once restored into a
// database of its own: the shop's database stays as it was. Neither leaves
// a database behind.
void TstServerShop::restore_data()
{
    QTest::addColumn<bool>("usable");
    QTest::newRow("a backup of the shop") << true;
    QTest::newRow("a backup lacking a table") << false;
}

void TstServerShop::restore()
{
    QFETCH(bool, usable);

    TestEnv env;
    registerWindows(env.ctx().windows());
    env.insert("shouzhi", {"2026-12-01", "房租", "500", "0", "十二月"});
    const QString root = env.ctx().paths().backupDir();
    const QString taken = QDir(root).filePath("2026-12-07_10-00-00");
    const QString dump = QDir::toNativeSeparators(QDir(taken).filePath(kServerDumpFile));
    if (usable) {
        QVERIFY(runBackup(env.ctx()).ok);
        QCOMPARE(shownAll(env),
                 QStringList{info("数据已备份到：" + QDir::toNativeSeparators(taken), "数据备份")});
    } else {
        QString err;
        const auto other = cluster()->shopDatabase(TestEnv::kZedPassword, &err);
        QVERIFY2(other, qPrintable(err));
        QVERIFY(connectOrStop(*other)->exec("DROP TABLE jinhuo").ok);
        QVERIFY(
            dumpServerDatabase(*other, findClientTools(serverMajorVersion(env.db())), root, env.clock().now())
                .ok);
    }
    QCOMPARE((QList<int>{modeOf(root), modeOf(taken), modeOf(dump)}), (QList<int>{0700, 0700, 0600}));
    const QList<QStringList> backedUp = env.rows("shouzhi");
    env.insert("shouzhi", {"2026-12-02", "水电", "80", "0", ""});
    QVERIFY(env.db().exec("DELETE FROM shouzhi WHERE 事项 = ?", {"房租"}).ok);
    const QList<QStringList> changed = env.rows("shouzhi");

    env.messages().clear();
    env.clock().set(QDateTime(QDate(2026, 12, 7), QTime(11, 0)));
    QWidget* w = openWindow(env.ctx(), window_name::restore);
    auto* list = child<QTableWidget>(w, "backups");
    QCOMPARE(list->rowCount(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0, 0)).center());
    env.messages().answer(QMessageBox::Yes);
    press(w, "cmd_restore");

    const QString aside = QDir(root).filePath("2026-12-07_11-00-00-before-restore");
    QCOMPARE(shownAll(env),
             (QStringList{
                 ask("确定要用 2026-12-07 10:00:00 的备份恢复数据吗？\n数据库服务器上现在的数据将先备份到 "
                     "backup 文件夹；其他收银机的连接会断开一下。",
                     "数据恢复"),
                 usable ? info("数据已恢复到 2026-12-07 10:00:00 的备份。原来的数据已备份到：" +
                                   QDir::toNativeSeparators(aside),
                               "数据恢复")
                        : stop("恢复失败：备份文件 " + dump +
                                   " 缺少数据表 jinhuo，不能用于恢复。\n数据库服务器上的数据没有改变。",
                               "数据恢复")}));
    QCOMPARE(env.rows("shouzhi"), usable ? backedUp : changed);
    QCOMPARE(modeOf(QDir(aside).filePath(kServerDumpFile)), 0600);
    auto admin = connectOrStop(cluster()->server("postgres"));
    const auto left = admin->selectAll("SELECT datname FROM pg_database WHERE datname LIKE ?",
                                       {env.ctx().server()->name + "\\_%"});
    QVERIFY(left.found());
    QCOMPARE(left->size(), 0);
}

// The server stops under an open sale window: 保存 says the connection is
// lost (in Chinese, the engine's words only as detail), stores nothing and
// keeps the entry; once the server is back the same 保存 stores the sale.
void TstServerShop::tillSurvivesTheServerGoingAway()
{
    TestEnv env;
    registerWindows(env.ctx().windows());
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "12", "5", "供应商甲", "2026-11-01", ""});
    auto* w = qobject_cast<BusinessWindow*>(openWindow(env.ctx(), window_name::business));
    QVERIFY(w);
    QTest::mouseClick(child<QCheckBox>(w, "shangpin"), Qt::LeftButton);
    type(child<QWidget>(w, "txt_production_code"), "P1");
    QTest::keyClick(child<QWidget>(w, "txt_production_code"), Qt::Key_Return);
    const std::array entry = {"txt_quantily", "txt_money", "txt_remark"};
    fillFields(w, entry, {"2", "24", "午后"});
    env.messages().clear();

    QString err;
    QVERIFY2(cluster()->stop(&err), qPrintable(err));
    QVERIFY(!Database::openServer(*env.ctx().server(), &err));
    press(w, "cmd_save");
    QCOMPARE(shownAll(env), QStringList{stop(Database::connectionLostText(err), "错误")});
    QCOMPARE(readFields(w, entry), (QStringList{"2", "24", "午后"}));
    QCOMPARE(textOf(w, "txt_production_code"), QString("P1"));

    QVERIFY2(cluster()->startAgain(&err), qPrintable(err));
    // Once connected again, every open view reads afresh, those of tables
    // the sale does not write too.
    QSignalSpy reread(&env.ctx().notifier(), &TableNotifier::tableChanged);
    env.messages().clear();
    env.messages().answer(QMessageBox::Yes);
    press(w, "cmd_save");
    QCOMPARE(shownAll(env), QStringList{ask("请确认你输入的资料是否正确，然后再保存！ ", "保存")});
    QCOMPARE(env.rows("salse").size(), 1);
    QCOMPARE(env.rows("jinhuo").first().at(6), QString("3"));
    QTRY_VERIFY(std::any_of(reread.cbegin(), reread.cend(),
                            [](const QVariantList& a) { return a.value(0).toString() == "username"; }));

    // The server restarts while the next sale's question is up: the sale's
    // transaction is the first to meet the connection dropped meanwhile (no
    // read before it). It connects again and runs once.
    type(child<QWidget>(w, "txt_production_code"), "P1");
    QTest::keyClick(child<QWidget>(w, "txt_production_code"), Qt::Key_Return);
    fillFields(w, entry, {"1", "12", "傍晚"});
    env.messages().clear();
    env.messages().answer(QMessageBox::Yes, [&err] {
        QVERIFY2(cluster()->stop(&err) && cluster()->startAgain(&err), qPrintable(err));
    });
    press(w, "cmd_save");
    QCOMPARE(shownAll(env), QStringList{ask("请确认你输入的资料是否正确，然后再保存！ ", "保存")});
    QCOMPARE(storedColumn(env, "salse", 11), (QStringList{"午后", "傍晚"}));
    QCOMPARE(storedColumn(env, "salse_history", 11), (QStringList{"午后", "傍晚"}));
    QCOMPARE(env.rows("jinhuo").first().at(6), QString("2"));
}

QTEST_MAIN(TstServerShop)
#include "tst_server_shop.moc"

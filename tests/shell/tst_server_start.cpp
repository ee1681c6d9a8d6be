// Start-up on a PostgreSQL server named by the settings: the password asked
// while the server wants one, the first start on an empty server database,
// a database lacking a table, settings that cannot be used; a server's
// backups are copies of its database.
#include "data/password.h"
#include "data/backup_files.h"
#include "data/schema.h"
#include "shell/backup.h"
#include "shell/restore_window.h"
#include "shell/settings_window.h"
#include "shell/shell.h"
#include "support/pg_cluster.h"
#include "support/ui.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace shop;
using namespace shop::test;

using Keys = QMap<QString, QString>;

namespace {

const QString kRole = QStringLiteral("till");
const QString kRolePassword = QStringLiteral("till-secret");

// A program folder without databases, pointed at a server by its settings.
struct Till : BareProgram {
    void set(const Keys& keys)
    {
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            ctx->settings().setValue("database/" + it.key(), it.value());
        ctx->settings().sync();
    }
    void pointAt(const DbServer& s)
    {
        set({{"engine", "postgresql"},
             {"host", s.host},
             {"port", QString::number(s.port)},
             {"name", s.name},
             {"user", s.user}});
    }
    QStringList shownAll() const
    {
        QStringList out;
        for (const Shown& s : messages.shown())
            out << shown(s);
        return out;
    }
    // What the program made in its folder (beside the settings file).
    QStringList entries() const
    {
        QStringList out = BareProgram::entries();
        out.removeAll("settings.ini");
        return out;
    }
};

PgCluster* cluster()
{
    return sharedCluster();
}

std::unique_ptr<Database> admin(const QString& database)
{
    return connectOrStop(cluster()->server(database));
}

qsizetype tablesOf(const DbServer& s)
{
    auto db = admin(s.name);
    return schema::presentTables(*db)->size();
}

bool logIn(Shell& shell, const QString& password)
{
    LoginWindow* w = shell.loginWindow();
    if (!w || !showActive(w))
        return false;
    type(child<QWidget>(w, "username"), "ZED");
    type(child<QWidget>(w, "password"), password);
    press(w, "cmok");
    return shell.mainWindow() != nullptr;
}

const QString kCreate = QStringLiteral("创建数据库");

QStringList createdRecords(const DbServer& s)
{
    return {ask(QStringLiteral("数据库服务器 %1 上还没有本系统的数据表。\n是否现在创建新的数据表？")
                    .arg(s.display()),
                kCreate),
            input("请输入系统管理员 ZED 的密码：", kCreate), input("请再次输入密码：", kCreate),
            info("数据表已在数据库服务器上创建。请用用户名 ZED 登录。", "系统信息")};
}

} // namespace

class TstServerStart : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void settings_data();
    void settings();
    void firstStart_data();
    void firstStart();
    void lackingTable_data();
    void lackingTable();
    void password_data();
    void password();
    void backupAndRestoreStayOnTheServer();
};

void TstServerStart::initTestCase()
{
    QString err;
    QVERIFY2(cluster()->addPasswordRole(kRole, kRolePassword, &err), qPrintable(err));
}

// Settings absent or naming the files keep the files' first start; settings
// that cannot be used, or a server that cannot be reached, are said and the
// program ends with nothing made.
void TstServerStart::settings_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("said"); // the one box shown
    QTest::addColumn<bool>("exact");   // otherwise the box starts so

    const QString fix = "\n请改正设置文件 %1 中的 [database] 一节。程序将退出。";
    const QString firstStart = withButtons(
        ask("没有找到数据库文件夹 %1。\n是否现在创建新的数据库文件？", kCreate), {"数据库设置(&D)..."});
    const Keys server = {{"engine", "postgresql"}, {"host", "/tmp"}, {"name", "shop"}, {"user", "till"}};
    auto with = [&server](const QString& key, const QString& value) {
        Keys m = server;
        m[key] = value;
        return m;
    };
    QTest::newRow("absent") << Keys{} << firstStart << true;
    QTest::newRow("files, server keys ignored") << with("engine", "Files") << firstStart << true;
    QTest::newRow("unknown engine")
        << with("engine", "mysql")
        << stop("设置中的数据库类型“mysql”无法识别：database/engine 只能是 files 或 postgresql。" + fix,
                "错误信息")
        << true;
    QTest::newRow("no host") << with("host", " ")
                             << stop("设置中缺少数据库服务器的 database/host。" + fix, "错误信息") << true;
    QTest::newRow("no database name")
        << with("name", "") << stop("设置中缺少数据库服务器的 database/name。" + fix, "错误信息") << true;
    QTest::newRow("no user") << with("user", "")
                             << stop("设置中缺少数据库服务器的 database/user。" + fix, "错误信息") << true;
    for (const char* port : {"abc", "0", "65536"})
        QTest::addRow("port %s", port)
            << with("port", port)
            << stop(QString("设置中数据库服务器的端口“%1”不正确：database/port 应是 1 到 65535 的整数。")
                            .arg(port) +
                        fix,
                    "错误信息")
            << true;
    QTest::newRow("sslmode without TLS")
        << with("sslmode", "disable")
        << stop("设置中数据库服务器的 sslmode“disable”不正确：database/sslmode 只能是 "
                "prefer、require、verify-ca、verify-full。" +
                    fix,
                "错误信息")
        << true;
    QTest::newRow("no server there")
        << with("host", "/nonexistent-socket-folder")
        << stop("无法连接数据库服务器 till@/nonexistent-socket-folder:5432/shop：\n", "错误信息") << false;
}

void TstServerStart::settings()
{
    QFETCH(Keys, keys);
    QFETCH(QString, said);
    QFETCH(bool, exact);

    Till t;
    t.set(keys);
    if (said.contains("%1"))
        said = said.arg(QDir::toNativeSeparators(said.contains("数据库文件夹") ? t.ctx->paths().databaseDir()
                                                                               : t.settingsFile()));
    Shell shell(*t.ctx);
    QVERIFY(!shell.start());
    QCOMPARE(t.messages.count(), 1);
    const QString record = shown(t.messages.last());
    if (exact)
        QCOMPARE(record, said);
    else
        QVERIFY2(
            record.startsWith(said) &&
                record.endsWith("\n选择“数据库设置”可以改正连接设置；否则程序将退出。|[数据库设置(&D)...]"),
            qPrintable(record));
    QVERIFY(!shell.loginWindow());
    QVERIFY(!t.ctx->onServer());
    QCOMPARE(t.entries(), QStringList{"shop.lock"});
}

// An empty server database: Yes and ZED's password twice make every table,
// and ZED logs in; No, or Cancel at the password, make nothing.
void TstServerStart::firstStart_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("boxes");

    QTest::newRow("Yes creates the tables") << true << QStringList{"zed-1", "zed-1"} << 4;
    QTest::newRow("No") << false << QStringList{} << 1;
    QTest::newRow("Cancel at ZED's password") << true << QStringList{} << 2;
    QTest::newRow("Cancel at the second password") << true << QStringList{"zed-1"} << 3;
}

void TstServerStart::firstStart()
{
    QFETCH(bool, yes);
    QFETCH(QStringList, inputs);
    QFETCH(int, boxes);

    QString err;
    const auto server = cluster()->freshDatabase(&err);
    QVERIFY2(server, qPrintable(err));
    Till t;
    t.pointAt(*server);
    if (yes)
        t.messages.answer(QMessageBox::Yes);
    for (const QString& i : inputs)
        t.messages.answerInput(i);
    Shell shell(*t.ctx);
    const bool started = shell.start();

    QCOMPARE(started, boxes == 4);
    QCOMPARE(t.shownAll(), createdRecords(*server).mid(0, boxes));
    // Nothing local is made for a server.
    QCOMPARE(t.entries(), QStringList{"shop.lock"});
    if (!started) {
        QCOMPARE(tablesOf(*server), qsizetype(0));
        QVERIFY(!shell.loginWindow());
        return;
    }
    QCOMPARE(tablesOf(*server), schema::businessTables().size() + 1);
    QVERIFY(t.ctx->onServer());
    QVERIFY(t.ctx->business().onServer());
    QVERIFY(t.ctx->accounts().onServer());
    QVERIFY(logIn(shell, "zed-1"));
    QCOMPARE(t.ctx->curUser(), QString("ZED"));
    t.ctx->windows().closeAll();
}

// A server database holding some of the tables is said as a damaged file
// is, without a restore offer; the program ends and the database is left.
void TstServerStart::lackingTable_data()
{
    QTest::addColumn<QStringList>("drop");
    QTest::newRow("a business table") << QStringList{"salse"};
    QTest::newRow("the accounts table") << QStringList{"username"};
    QTest::newRow("two tables") << QStringList{"jinhuo", "username"};
}

void TstServerStart::lackingTable()
{
    QFETCH(QStringList, drop);

    QString err;
    const auto server = cluster()->shopDatabase(TestEnv::kZedPassword, &err);
    QVERIFY2(server, qPrintable(err));
    {
        auto db = admin(server->name);
        for (const QString& table : drop)
            QVERIFY(db->exec("DROP TABLE " + table).ok);
    }
    const qsizetype left = tablesOf(*server);
    Till t;
    t.pointAt(*server);
    Shell shell(*t.ctx);
    QVERIFY(!shell.start());
    QCOMPARE(t.shownAll(),
             QStringList{stop(QString("数据库服务器 %1 上的数据库已损坏（缺少数据表 %2）。程序将退出，"
                                      "数据库保持原样。\n请用服务器上的备份恢复。")
                                  .arg(server->display(), drop.join("、")),
                              "数据库损坏")});
    QVERIFY(!shell.loginWindow());
    QCOMPARE(tablesOf(*server), left);
}

// A server that wants a password: asked in a secret box, a wrong one said
// and asked again, Cancel ends the program; the password is never written
// to the settings.
void TstServerStart::password_data()
{
    QTest::addColumn<QStringList>("passwords");
    QTest::addColumn<bool>("started");

    QTest::newRow("right") << QStringList{kRolePassword} << true;
    QTest::newRow("wrong, then right") << QStringList{"wrong-1", kRolePassword} << true;
    QTest::newRow("Cancel") << QStringList{} << false;
    QTest::newRow("wrong twice, then Cancel") << QStringList{"wrong-1", "wrong-2"} << false;
}

void TstServerStart::password()
{
    QFETCH(QStringList, passwords);
    QFETCH(bool, started);

    QString err;
    auto server = cluster()->freshDatabase(&err);
    QVERIFY2(server, qPrintable(err));
    QVERIFY(
        admin("postgres")
            ->exec(QString("ALTER DATABASE %1 OWNER TO %2").arg(quoteIdent(server->name), quoteIdent(kRole)))
            .ok);
    server->user = kRole;
    Till t;
    t.pointAt(*server);
    for (const QString& p : passwords)
        t.messages.answerInput(p);
    // The wrong passwords' boxes take their Ok before the question's Yes.
    for (int i = 1; i < passwords.size(); ++i)
        t.messages.answer(QMessageBox::Ok);
    if (started) {
        t.messages.answer(QMessageBox::Yes);
        t.messages.answerInput("zed-1");
        t.messages.answerInput("zed-1");
    }
    Shell shell(*t.ctx);
    QCOMPARE(shell.start(), started);

    const QString ask =
        input(QString("请输入数据库服务器 %1 的密码：").arg(server->display()), "数据库服务器");
    const QString wrong =
        stop(QString("数据库服务器 %1 的密码不正确，请重新输入！").arg(server->display()), "错误信息");
    QStringList expected = {ask};
    for (int i = 1; i < passwords.size() + (started ? 0 : 1); ++i)
        expected << wrong << ask;
    if (started)
        expected << createdRecords(*server);
    QCOMPARE(t.shownAll(), expected);
    QCOMPARE(t.messages.unusedAnswers(), 0);
    if (started) {
        // The tables are the role's, made on its own connection.
        QCOMPARE(tablesOf(*server), schema::businessTables().size() + 1);
        QVERIFY(logIn(shell, "zed-1"));
        t.ctx->windows().closeAll();
    } else {
        QVERIFY(!shell.loginWindow());
    }
    t.ctx->settings().sync();
    QFile f(t.settingsFile());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray stored = f.readAll();
    QVERIFY(stored.contains("till"));
    for (const QString& p : passwords)
        QVERIFY2(!stored.contains(p.toUtf8()), stored.constData());
    QVERIFY(!t.ctx->settings().allKeys().join(' ').contains("password", Qt::CaseInsensitive));
}

// A server shop's backups are copies of its database, made by the server's
// client program into the same backup folder: the first login of the day
// takes the day's one, "数据备份" another; the restore window offers those
// and none of the files' backups from before the shop moved to the server.
void TstServerStart::backupAndRestoreStayOnTheServer()
{
    QString err;
    const auto server = cluster()->shopDatabase(TestEnv::kZedPassword, &err);
    QVERIFY2(server, qPrintable(err));
    Till t;
    t.pointAt(*server);
    // A backup of files from before the shop moved to the server.
    const QString old = QDir(t.ctx->paths().backupDir()).filePath("2026-12-01_09-00-00");
    QVERIFY(schema::createDatabaseFiles(QDir(old).filePath("database.db"), QDir(old).filePath("userid.db"),
                                        "pw", &err));
    QCOMPARE(listBackups(t.ctx->paths().backupDir()).size(), 1);

    Shell shell(*t.ctx);
    QVERIFY(shell.start());
    QSignalSpy finished(&shell.autoBackup(), &AutoBackup::finished);
    QVERIFY(logIn(shell, TestEnv::kZedPassword));
    QVERIFY(shell.autoBackup().running());
    QVERIFY(finished.wait(60000));
    QCOMPARE(t.messages.count(), 1); // the welcome
    QCOMPARE(t.messages.last().icon, QMessageBox::Information);
    const QString automatic = QDir(t.ctx->paths().backupDir()).filePath("2026-12-07_09-00-00-auto");
    QVERIFY(QFileInfo(QDir(automatic).filePath(kServerDumpFile)).size() > 0);
    // Taken once a day.
    QVERIFY(!shell.autoBackup().startIfDue());

    t.messages.clear();
    shell.mainWindow()->item("bakdata")->trigger();
    const QString byHand = QDir(t.ctx->paths().backupDir()).filePath("2026-12-07_09-00-00");
    QCOMPARE(t.shownAll(),
             QStringList{info("数据已备份到：" + QDir::toNativeSeparators(byHand), "数据备份")});
    QVERIFY(QFileInfo(QDir(byHand).filePath(kServerDumpFile)).size() > 0);

    t.messages.clear();
    RestoreWindow w(*t.ctx);
    QVERIFY(showActive(&w));
    auto* list = child<QTableWidget>(&w, "backups");
    QStringList rows;
    for (int r = 0; r < list->rowCount(); ++r)
        rows << list->item(r, 0)->text();
    QCOMPARE(rows, (QStringList{"2026-12-07 09:00:00（自动）", "2026-12-07 09:00:00"}));
    QVERIFY(child<QPushButton>(&w, "cmd_restore")->isEnabled());
    QCOMPARE(t.messages.count(), 0);

    // The settings window names the server as the database's place.
    SettingsWindow settings(*t.ctx);
    QCOMPARE(textOf(&settings, "txt_dpath"), server->display());
    t.ctx->windows().closeAll();
}

QTEST_MAIN(TstServerStart)
#include "tst_server_start.moc"

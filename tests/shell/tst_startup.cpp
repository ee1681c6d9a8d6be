// Start-up: one copy per program folder, the first start, unreadable databases.
#include "shell/backup.h"
#include "shell/first_start.h"
#include "shell/shell.h"
#include "shell/single_instance.h"
#include "data/password.h"
#include "data/backup_files.h"
#include "data/schema.h"
#include "data/table_rows.h"
#include "sales/business_window.h"
#include "ui/file_check.h"
#include "support/test_env.h"
#include "support/ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <sys/wait.h>
#include <unistd.h>

using namespace shop;
using namespace shop::test;

namespace {
using Bare = BareProgram;
} // namespace

class TstStartup : public QObject {
    Q_OBJECT
private slots:
    void secondCopyRefused();
    void lockOfCrashedCopyIsTakenOver();
    void firstStartCancelled_data();
    void firstStartCancelled();
    void firstStartCreatesDatabases();
    void unreadableDatabase_data();
    void unreadableDatabase();
    void damagedFileAtStart_data();
    void damagedFileAtStart();
    void backgroundWaitLeavesPointerAlone();
    void writesWaitForTheCheck_data();
    void writesWaitForTheCheck();
};

void TstStartup::secondCopyRefused()
{
    TestEnv env;
    Shell first(env.ctx());
    QVERIFY(first.start());
    QCOMPARE(env.messages().count(), 0);

    Shell second(env.ctx());
    QVERIFY(!second.start());
    QCOMPARE(env.messages().texts(), QStringList{" 系统已经运行 ! "});
    QCOMPARE(env.messages().last().caption, QString("错误信息"));
    QCOMPARE(env.messages().last().icon, QMessageBox::Critical);
    QVERIFY(!second.loginWindow());
}

void TstStartup::lockOfCrashedCopyIsTakenOver()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("shop.lock");
    // A copy that took the lock and died without removing it.
    const pid_t pid = fork();
    if (pid == 0) {
        QLockFile lock(path);
        _exit(lock.tryLock(0) ? 0 : 1);
    }
    int status = -1;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QVERIFY(QFile::exists(path));

    SingleInstance instance(path);
    QVERIFY(instance.acquire());
    SingleInstance again(path);
    QVERIFY(!again.acquire());
}

void TstStartup::firstStartCancelled_data()
{
    QTest::addColumn<QList<int>>("answers"); // Yes/No answers to the question
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("boxes");

    QTest::newRow("no to the offer") << QList<int>{QMessageBox::No} << QStringList{} << 1;
    QTest::newRow("cancel at the password") << QList<int>{QMessageBox::Yes} << QStringList{} << 2;
    QTest::newRow("cancel at the second password") << QList<int>{QMessageBox::Yes} << QStringList{"abc"} << 3;
    QTest::newRow("passwords differ, then cancel")
        << QList<int>{QMessageBox::Yes} << QStringList{"abc", "abd"} << 5;
}

void TstStartup::firstStartCancelled()
{
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, inputs);
    QFETCH(int, boxes);

    Bare b;
    for (int a : answers)
        b.messages.answer(static_cast<QMessageBox::StandardButton>(a));
    for (const QString& i : inputs)
        b.messages.answerInput(i);
    Shell shell(*b.ctx);
    QVERIFY(!shell.start());
    QCOMPARE(b.messages.count(), boxes);
    QCOMPARE(b.messages.shown().first().icon, QMessageBox::Question);
    // Nothing is created: only the lock of the running copy was there.
    QCOMPARE(b.entries(), (QStringList{"shop.lock"}));
    QVERIFY(!shell.loginWindow());
}

void TstStartup::firstStartCreatesDatabases()
{
    Bare b;
    b.messages.answer(QMessageBox::Yes);
    for (const char* s : {"one", "two", "secret", "secret"})
        b.messages.answerInput(s);
    Shell shell(*b.ctx);
    QVERIFY(shell.start());
    const QList<Shown> shown = b.messages.shown();
    QCOMPARE(shown.size(), 7);
    QCOMPARE(shown.at(1).kind, Shown::Input);
    QCOMPARE(shown.at(3).text, QString("两次输入的密码不一致，请重新输入！"));
    QCOMPARE(shown.last().icon, QMessageBox::Information);
    QVERIFY(QFile::exists(b.ctx->paths().businessDb()));
    QVERIFY(QFile::exists(b.ctx->paths().accountsDb()));
    QVERIFY(b.ctx->databasesOpen());
    const auto zed = b.ctx->accounts().selectOne("SELECT * FROM username");
    QVERIFY(zed);
    QCOMPARE(zed->value(0).toString(), QString("ZED"));
    QCOMPARE(zed->value(2).toString(), QString("M"));
    QVERIFY(zed->value(1).toString() != "secret");
    QVERIFY(verifyPassword("secret", zed->value(1).toString()));
    QVERIFY(shell.loginWindow());
}

void TstStartup::unreadableDatabase_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("how");

    QTest::newRow("business file is not a database") << "database.db"
                                                     << "garbage";
    QTest::newRow("accounts file is not a database") << "userid.db"
                                                     << "garbage";
    QTest::newRow("accounts file missing") << "userid.db"
                                           << "missing";
    QTest::newRow("business file is a folder") << "database.db"
                                               << "folder";
    QTest::newRow("accounts file lacks its table") << "userid.db"
                                                   << "empty-db";
}

void TstStartup::unreadableDatabase()
{
    QFETCH(QString, file);
    QFETCH(QString, how);

    Bare b;
    QString err;
    QVERIFY(
        schema::createDatabaseFiles(b.ctx->paths().businessDb(), b.ctx->paths().accountsDb(), "pw", &err));
    const QString path = QDir(b.ctx->paths().databaseDir()).filePath(file);
    QByteArray content;
    QFile::remove(path);
    if (how == "garbage") {
        content = QByteArray("this is not a database file\n").repeated(200);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    } else if (how == "folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (how == "empty-db") {
        auto db = Database::open(path, &err, Database::OpenMode::Create);
        QVERIFY(db);
    }
    Shell shell(*b.ctx);
    QVERIFY(!shell.start());
    QCOMPARE(b.messages.count(), 1);
    QCOMPARE(b.messages.last().icon, QMessageBox::Critical);
    QVERIFY2(b.messages.last().text.contains(QDir::toNativeSeparators(path)),
             qPrintable(b.messages.last().text));
    QVERIFY(!shell.loginWindow());
    // The file is neither overwritten nor created.
    if (how == "garbage") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }
    if (how == "missing")
        QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TstStartup)
// A file damaged inside a page is caught by the full check, which runs
// behind the login window: the login window comes first, with nothing said;
// the damage is said once the check ends. No ends the program with the file
// untouched; Yes restores the newest backup into the open files and keeps
// the damaged files aside; without a backup the program says so and ends.
// Meanwhile no backup copies the damaged file.
void TstStartup::damagedFileAtStart_data()
{
    QTest::addColumn<bool>("backup");
    QTest::addColumn<int>("answer");
    // A copy of the older backup that a person put under a name of their own.
    QTest::addColumn<QString>("ownFolder");
    QTest::newRow("No") << true << int(QMessageBox::No) << QString();
    QTest::newRow("Yes restores the newest backup") << true << int(QMessageBox::Yes) << QString();
    QTest::newRow("newest, not a folder named by hand") << true << int(QMessageBox::Yes) << "旧数据";
    QTest::newRow("newest, not a folder named in Latin") << true << int(QMessageBox::Yes) << "old copy";
    QTest::newRow("no backup") << false << 0 << QString();
}

void TstStartup::damagedFileAtStart()
{
    QFETCH(bool, backup);
    QFETCH(int, answer);
    QFETCH(QString, ownFolder);

    Bare b;
    const ProgramPaths& paths = b.ctx->paths();
    QString err;
    QVERIFY(schema::createDatabaseFiles(paths.businessDb(), paths.accountsDb(), "pw", &err));
    {
        auto db = Database::open(paths.businessDb(), &err);
        auto accounts = Database::open(paths.accountsDb(), &err);
        QVERIFY(rows::insert(*db, "guke", {"001", "张三", "", "", "", "", "", ""}).ok);
        if (backup) {
            const BackupOutcome older =
                backupProgramDatabases(paths, QDateTime(QDate(2026, 12, 1), QTime(9, 0)), *db, *accounts);
            QVERIFY(older.ok);
            if (!ownFolder.isEmpty()) {
                const QDir root(paths.backupDir());
                QVERIFY(root.mkdir(ownFolder));
                for (const char* file : {"database.db", "userid.db"})
                    QVERIFY(QFile::copy(QDir(older.folder).filePath(file),
                                        root.filePath(ownFolder + "/" + file)));
            }
            QVERIFY(
                backupProgramDatabases(paths, QDateTime(QDate(2026, 12, 6), QTime(9, 0)), *db, *accounts).ok);
        }
        Database::Transaction tx(*db);
        for (int i = 0; i < 2000; ++i)
            QVERIFY(rows::insert(*db, "guke", {QString::number(i), QString(100, 'x'), "", "", "", "", "", ""})
                        .ok);
        QVERIFY(tx.commit().ok);
        QVERIFY(db->exec("PRAGMA wal_checkpoint(TRUNCATE)").ok);
    }
    QFile f(paths.businessDb());
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek((f.size() / 4096 / 2) * 4096));
    QVERIFY(f.write(QByteArray(64, '\xff')) == 64);
    f.close();
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray damaged = f.readAll();
    f.close();

    Shell shell(*b.ctx);
    QSignalSpy checked(&b.ctx->fileCheck(), &FileCheck::finished);
    QVERIFY(shell.start());
    // The start does not wait for the check: the login window is up first.
    QVERIFY(shell.loginWindow());
    QCOMPARE(b.messages.count(), 0);
    // A backup asked for while the check runs waits for it, and refuses.
    const int backupsBefore = static_cast<int>(listBackups(paths.backupDir()).size());
    QVERIFY(!runBackup(*b.ctx).ok);
    QCOMPARE(b.messages.count(), 1);
    const Shown refused = b.messages.last();
    QCOMPARE(refused.text,
             QString("数据备份失败：数据库文件 %1 已损坏（%2）")
                 .arg(QDir::toNativeSeparators(paths.businessDb()), b.ctx->fileCheck().damage()));
    QCOMPARE(refused.icon, QMessageBox::Critical);
    QCOMPARE(listBackups(paths.backupDir()).size(), backupsBefore);
    b.messages.clear();
    if (answer)
        b.messages.answer(QMessageBox::StandardButton(answer));
    QVERIFY(checked.count() == 1 || checked.wait(20000));

    QVERIFY2(b.messages.count() >= 1, "nothing said");
    const Shown first = b.messages.shown().first();
    QVERIFY2(first.text.contains(QDir::toNativeSeparators(paths.businessDb())), qPrintable(first.text));
    QVERIFY(first.text.contains("已损坏"));
    if (backup)
        QVERIFY2(first.text.contains("2026-12-06_09-00-00"), qPrintable(first.text));
    QCOMPARE(b.quits, answer == QMessageBox::Yes ? 0 : 1);
    QFile again(paths.businessDb());
    QVERIFY(again.open(QIODevice::ReadOnly));
    if (answer != QMessageBox::Yes) {
        QCOMPARE(again.readAll(), damaged); // untouched
        return;
    }
    // The newest backup is in place and open; the damaged file is kept aside.
    QCOMPARE(b.messages.last().icon, QMessageBox::Information);
    QCOMPARE(b.ctx->business().selectOne("SELECT count(*) FROM guke")->value(0).toInt(), 1);
    const QList<BackupInfo> backups = listBackups(paths.backupDir());
    QVERIFY(backups.first().beforeRestore);
    QFile aside(QDir(backups.first().folder).filePath("database.db"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), damaged);
    QVERIFY(shell.loginWindow());
}

// A connection of a background thread (the day's backup) that waits for a
// lock must not reach into the GUI: the pointer is the person's.
void TstStartup::backgroundWaitLeavesPointerAlone()
{
    Bare b;
    const ProgramPaths& paths = b.ctx->paths();
    QString err;
    QVERIFY(schema::createDatabaseFiles(paths.businessDb(), paths.accountsDb(), "pw", &err));
    Shell shell(*b.ctx);
    QVERIFY(shell.start());
    QVERIFY(!QApplication::overrideCursor());

    auto holder = Database::open(paths.businessDb(), &err);
    QVERIFY2(holder, qPrintable(err));
    QVERIFY(holder->exec("BEGIN IMMEDIATE").ok);
    std::atomic<bool> wrote = false;
    QThread* worker = QThread::create([&paths, &wrote] {
        QString e;
        auto db = Database::open(paths.businessDb(), &e);
        wrote = db && db->exec("INSERT INTO guke VALUES ('9', '后台', '', '', '', '', '', '')").ok;
    });
    worker->start();
    bool pointerTaken = false;
    for (int i = 0; i < 30; ++i) {
        QTest::qWait(10);
        pointerTaken = pointerTaken || QApplication::overrideCursor();
    }
    QVERIFY(holder->exec("COMMIT").ok);
    QVERIFY(worker->wait(10000));
    delete worker;
    QVERIFY(wrote);
    QVERIFY(!pointerTaken);
    QVERIFY(!QApplication::overrideCursor());

    // The window thread's own wait still shows it, and gives it back.
    std::atomic<bool> locked = false;
    worker = QThread::create([&paths, &locked] {
        QString e;
        auto db = Database::open(paths.businessDb(), &e);
        locked = db && db->exec("BEGIN IMMEDIATE").ok;
        QThread::msleep(300);
        if (db)
            db->exec("COMMIT");
    });
    worker->start();
    QTRY_VERIFY(locked);
    bool waitShown = false;
    QTimer::singleShot(0, [&waitShown] {
        waitShown =
            QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    QVERIFY(holder->exec("INSERT INTO guke VALUES ('10', '前台', '', '', '', '', '', '')").ok);
    QVERIFY(worker->wait(10000));
    delete worker;
    QVERIFY(waitShown);
    QVERIFY(!QApplication::overrideCursor());
}

// A sale saved while the check of the files still runs waits for its
// verdict, and says so when the wait is noticeable (the accounts file is held
// here, so the check cannot end before the wait has begun); nothing goes
// into a file the check finds damaged.
void TstStartup::writesWaitForTheCheck_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::newRow("sound files, the check held up") << false;
    QTest::newRow("a damaged page") << true;
}

void TstStartup::writesWaitForTheCheck()
{
    QFETCH(bool, damaged);
    TestEnv env;
    const ProgramPaths& paths = env.ctx().paths();
    if (damaged) {
        Database::Transaction tx(env.db());
        for (int i = 0; i < 2000; ++i)
            env.insert("guke", {QString::number(i), QString(100, 'x'), "", "", "", "", "", ""});
        QVERIFY(tx.commit().ok);
        QVERIFY(env.db().exec("PRAGMA wal_checkpoint(TRUNCATE)").ok);
        QFile f(paths.businessDb());
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek((f.size() / 4096 / 2) * 4096));
        QCOMPARE(f.write(QByteArray(64, '\xff')), 64);
    }
    BusinessWindow w(env.ctx());
    QVERIFY(showActive(&w));
    QTest::mouseClick(child<QCheckBox>(&w, "qita"), Qt::LeftButton);
    QString err;
    std::unique_ptr<Database> holder;
    if (!damaged) {
        // Nobody else has the file open, so the holder can lock everyone out.
        env.accounts().close();
        holder = Database::open(paths.accountsDb(), &err);
        QVERIFY2(holder, qPrintable(err));
        QVERIFY(holder->exec("PRAGMA locking_mode=EXCLUSIVE").ok);
        QVERIFY(holder->exec("UPDATE username SET usertype = usertype").ok);
    }
    env.ctx().startFileCheck();
    QTimer::singleShot(0, &w, [&holder] { holder.reset(); });
    env.messages().answer(QMessageBox::Yes);
    press(&w, "cmd_save");

    QCOMPARE(env.ctx().fileCheck().state(), damaged ? FileCheck::State::Damaged : FileCheck::State::Sound);
    QVERIFY(!env.messages().waiting());
    const QString wait = "系统信息|wait|正在检查数据库文件，检查完毕后立即保存，请稍候……";
    QStringList said = shownAll(env);
    const QString confirm = ask("请确认你输入的资料是否正确，然后再保存！ ", "保存");
    if (!damaged) {
        QCOMPARE(said, (QStringList{confirm, wait}));
        QCOMPARE(env.rows("salse").size(), 1);
        return;
    }
    said.removeAll(wait); // said or not: the check may end first
    QCOMPARE(said,
             (QStringList{confirm, stop("保存失败：开始保存时出错，本笔业务没有保存，所有改动都已撤销。\n" +
                                        FileCheck::refusedWriteText(paths.businessDb(),
                                                                    env.ctx().fileCheck().damage()))}));
    QCOMPARE(env.rows("salse").size(), 0);
}

#include "tst_startup.moc"

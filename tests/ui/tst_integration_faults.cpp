// Faults at the edge: the database files gone or replaced while the
// program runs, a damaged page met while the grid reads on, another
// program holding the lock, and the Chinese words for the common failures.
#include "data/schema.h"
#include "data/table_rows.h"
#include "members/customer_window.h"
#include "sales/business_window.h"
#include "shell/login_window.h"
#include "shell/main_window.h"
#include "shell/shell.h"
#include "support/ui.h"
#include "support/unprivileged.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>

#include <sqlite3.h>

#include <thread>

using namespace shop;
using namespace shop::test;

namespace {

const char* const kBoxes[] = {"txt_guke_num", "txt_guke_name"};

// Overwrites the header of one page in the middle of the file.
void damageMiddlePage(const QString& file)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const qint64 pages = f.size() / 4096;
    QVERIFY(pages > 20);
    QVERIFY(f.seek((pages * 3 / 5) * 4096));
    QVERIFY(f.write(QByteArray(64, '\xff')) == 64);
}

} // namespace

class TstFaults : public QObject {
    Q_OBJECT
private slots:
    // Saving into files that were moved away or replaced is refused in
    // plain words; the typed fields stay, and no file gets the row.
    void filesGoneOrReplaced_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("database folder moved away") << "moved";
        QTest::newRow("file replaced by a copy") << "replaced";
    }
    void filesGoneOrReplaced()
    {
        QFETCH(QString, how);
        TestEnv env;
        CustomerWindow w(env.ctx());
        QVERIFY(showActive(&w));
        const QString folder = QDir(env.dir()).filePath("database");
        const QString file = env.ctx().paths().businessDb();
        if (how == "moved") {
            QVERIFY(QDir().rename(folder, folder + ".moved"));
        } else {
            QVERIFY(QFile::copy(file, file + ".copy"));
            QVERIFY(QFile::remove(file));
            QVERIFY(QFile::rename(file + ".copy", file));
        }
        type(child<QWidget>(&w, kBoxes[0]), "001");
        type(child<QWidget>(&w, kBoxes[1]), "张三");
        press(&w, "cmd_guke_save");

        QCOMPARE(shownAll(env), QStringList{stop(Database::filesGoneText(), "错误信息")});
        QCOMPARE(textOf(&w, kBoxes[1]), QString("张三"));
        if (how == "moved")
            QVERIFY(QDir().rename(folder + ".moved", folder));
        QString err;
        auto stored = Database::open(file, &err);
        QVERIFY2(stored, qPrintable(err));
        QCOMPARE(stored->selectOne("SELECT count(*) FROM guke")->value(0).toInt(), 0);
    }

    // Files that cannot be written are said at start; the program reads on,
    // refuses saves in plain words with the typed fields kept, and saves
    // again without a restart once the files can be written.
    void readOnlyFilesAtStart()
    {
        TestEnv env;
        rows::insert(env.db(), "guke", {"001", "张三", "", "", "", "", "", ""});
        // Closed as after a day's work: the write-ahead files are gone, so
        // the read-only start creates its own (read-only) ones.
        env.ctx().closeDatabases();
        const QString files[] = {env.ctx().paths().businessDb(), env.ctx().paths().accountsDb()};
        Unprivileged nobody(env.dir());
        QVERIFY(nobody.ok());
        for (const QString& f : files)
            QVERIFY(QFile::setPermissions(f, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

        Shell shell(env.ctx());
        QVERIFY(shell.start());
        QStringList native;
        for (const QString& f : files)
            native << QDir::toNativeSeparators(f);
        QCOMPARE(env.messages().texts(), QStringList{Shell::readOnlyAtStartText(native)});
        QCOMPARE(env.messages().last().icon, QMessageBox::Warning);
        QVERIFY(shell.loginWindow());
        env.messages().clear();

        CustomerWindow w(env.ctx());
        QVERIFY(showActive(&w));
        QCOMPARE(gridColumn(w.grid(), 1), QStringList{"张三"}); // reads on
        type(child<QWidget>(&w, kBoxes[0]), "002");
        type(child<QWidget>(&w, kBoxes[1]), "李四");
        press(&w, "cmd_guke_save");
        const QStringList refused = env.messages().texts();
        env.messages().clear();
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused.first().contains("只读") && refused.first().contains("无需重启"),
                 qPrintable(refused.first()));
        QCOMPARE(textOf(&w, kBoxes[1]), QString("李四"));
        QCOMPARE(env.db().selectOne("SELECT count(*) FROM guke")->value(0).toInt(), 1);

        for (const QString& f : files)
            QVERIFY(QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                 QFile::ReadOther));
        press(&w, "cmd_guke_save");
        QCOMPARE(shownAll(env), QStringList{});
        QCOMPARE(gridColumn(w.grid(), 1), (QStringList{"张三", "李四"}));
        QVERIFY(!env.db().readOnly());
        QVERIFY(env.ctx().readOnlyFiles().isEmpty());
    }

    // A database folder that cannot be written (the write-ahead files cannot
    // be made) cannot be opened at all: said in plain words, nothing made.
    void readOnlyFolderAtStart()
    {
        TestEnv env;
        env.ctx().closeDatabases();
        const QString folder = env.ctx().paths().databaseDir();
        Unprivileged nobody(env.dir());
        QVERIFY(nobody.ok());
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        Shell shell(env.ctx());
        const bool started = shell.start();
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(!started);
        QCOMPARE(env.messages().count(), 1);
        QVERIFY2(env.messages().last().text.contains("不能写入"), qPrintable(env.messages().last().text));
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"database.db", "userid.db"}));
    }

    // A day's work and a normal exit leave the folder as it was: the
    // write-ahead log and its index of both files are gone.
    void normalExitLeavesNoLogBehind()
    {
        TestEnv env;
        env.ctx().closeDatabases();
        const QString folder = env.ctx().paths().databaseDir();
        {
            Shell shell(env.ctx());
            QVERIFY(shell.start() && shell.loginWindow());
            type(child<QLineEdit>(shell.loginWindow(), "username"), "zed");
            type(child<QLineEdit>(shell.loginWindow(), "password"), TestEnv::kZedPassword);
            press(shell.loginWindow(), "cmok");
            QVERIFY(shell.mainWindow());
            {
                CustomerWindow w(env.ctx());
                QVERIFY(showActive(&w));
                type(child<QWidget>(&w, kBoxes[0]), "001");
                type(child<QWidget>(&w, kBoxes[1]), "张三");
                press(&w, "cmd_guke_save");
                QCOMPARE(gridColumn(w.grid(), 1), QStringList{"张三"});
            }
            env.messages().clear();
            env.messages().answer(QMessageBox::Yes);
            shell.mainWindow()->dispatchNode("退出系统");
            QVERIFY(env.quitCalled());
        }
        env.ctx().closeDatabases();
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"database.db", "userid.db"}));
    }

    // A file another program holds locked at start is said as such (after
    // the wait), not called damaged with a restore offered.
    void lockedFileAtStartIsNotDamage()
    {
        TestEnv env;
        env.ctx().closeDatabases();
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(env.ctx().paths().businessDb()).constData(), &other),
                 SQLITE_OK);
        QCOMPARE(
            sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
        Shell shell(env.ctx());
        const bool started = shell.start();
        sqlite3_close(other);
        QVERIFY(!started);
        QCOMPARE(env.messages().count(), 1);
        const QString text = env.messages().last().text;
        QVERIFY2(text.contains("正被其他程序使用") && !text.contains("损坏"), qPrintable(text));
        QVERIFY(env.ctx().damagedFile().isEmpty());
    }

    // A page that cannot be read while the grid reads on is said (once),
    // not passed over with the grid silently cut short.
    void damagedPageIsSaid()
    {
        TestEnv env;
        QTemporaryDir dir;
        const QString file = dir.filePath("database.db");
        QString err;
        QVERIFY(schema::createDatabaseFiles(file, dir.filePath("userid.db"), "pw", &err));
        {
            auto db = Database::open(file, &err);
            Database::Transaction tx(*db);
            for (int i = 0; i < 3000; ++i)
                QVERIFY(rows::insert(*db, "salse",
                                     {"2026-12-07", "商品销售", QString("C%1").arg(i), "P1", "可乐", "1",
                                      "3元", "2026-01-01", "3", "", "张三", QString(200, 'x'), "0"})
                            .ok);
            QVERIFY(tx.commit().ok);
            // Only the table's own pages: the damage lands in its rows.
            const auto indexes = db->selectAll("SELECT name FROM sqlite_master WHERE type = 'index'");
            for (const QVariantList& ix : *indexes)
                QVERIFY(db->exec("DROP INDEX " + quoteIdent(ix.value(0).toString())).ok);
            QVERIFY(db->exec("PRAGMA wal_checkpoint(TRUNCATE)").ok);
            QVERIFY(db->exec("VACUUM").ok);
        }
        damageMiddlePage(file);

        auto db = Database::open(file, &err);
        QVERIFY2(db, qPrintable(err));
        RecordView view(env.ctx(), *db, "salse");
        view.resize(600, 400);
        view.show();
        QVERIFY(view.refresh());
        const int shown = static_cast<int>(gridColumn(&view, 2).size());
        QTRY_COMPARE(env.messages().count(), 1);
        QVERIFY(shown < 3000);
        QVERIFY2(env.messages().last().text.contains("损坏"), qPrintable(env.messages().last().text));
        QCOMPARE(env.messages().last().icon, QMessageBox::Critical);
    }

    // Another program holds the lock for a moment: the wait is announced
    // and ended once, and the write then goes through.
    void lockWaitIsShown()
    {
        TestEnv env;
        int waiting = 0, done = 0;
        Database::setBusyHooks([&waiting] { ++waiting; }, [&done] { ++done; });
        const QByteArray path = QFile::encodeName(env.ctx().paths().businessDb());
        std::atomic<bool> locked{false};
        std::thread other([&] {
            sqlite3* h = nullptr;
            sqlite3_open(path.constData(), &h);
            sqlite3_exec(h, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            locked = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(h);
        });
        while (!locked)
            std::this_thread::yield();
        const DbResult r = rows::insert(env.db(), "guke", {"001", "张三", "", "", "", "", "", ""});
        other.join();
        Database::setBusyHooks({}, {});
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(waiting, 1);
        QCOMPARE(done, 1);
    }

    // A sale saved while another program holds the database: after the
    // wait the reason is said in Chinese, nothing is stored, the entry stays.
    void lockedDatabaseAtSale()
    {
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        BusinessWindow w(env.ctx());
        QVERIFY(showActive(&w));
        QTest::mouseClick(child<QCheckBox>(&w, "qita"), Qt::LeftButton);
        for (const char* box : {"txt_money", "txt_service"}) {
            QTest::mouseClick(child<QLineEdit>(&w, box), Qt::LeftButton);
            typeMore(child<QLineEdit>(&w, box), box == QByteArray("txt_money") ? "30" : "洗车");
        }
        QString err;
        auto other = Database::open(env.ctx().paths().businessDb(), &err);
        QVERIFY2(other, qPrintable(err));
        QVERIFY(other->exec("BEGIN IMMEDIATE").ok);
        env.messages().answer(QMessageBox::Yes);
        press(&w, "cmd_save");
        QVERIFY(other->exec("ROLLBACK").ok);

        QCOMPARE(
            shownAll(env),
            (QStringList{
                ask("请确认你输入的资料是否正确，然后再保存！ ", "保存"),
                stop("保存失败：开始保存时出错，本笔业务没有保存，所有改动都已撤销。\n"
                     "数据库正被其他程序使用，请稍后再试；如果一直如此，请关闭其他正在使用数据库的程序。\n"
                     "（详细信息：database is locked）")}));
        QCOMPARE(env.rows("salse").size(), 0);
        QCOMPARE(textOf(&w, "txt_money"), QString("30"));
        QCOMPARE(textOf(&w, "txt_service"), QString("洗车"));
    }

    // The common failures in words staff can act on, the engine's kept.
    void failuresInChinese_data()
    {
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("advice");
        QTest::newRow("locked") << "database is locked Unable to fetch row"
                                << "正被其他程序使用";
        QTest::newRow("full") << "database or disk is full"
                              << "磁盘空间已满";
        QTest::newRow("read-only") << "attempt to write a readonly database"
                                   << "只读";
        QTest::newRow("damaged") << "database disk image is malformed"
                                 << "已损坏";
        QTest::newRow("I/O") << "disk I/O error"
                             << "读写磁盘时出错";
        QTest::newRow("other") << "no such column: x"
                               << "数据库操作失败：no such column: x";
    }
    void failuresInChinese()
    {
        QFETCH(QString, error);
        QFETCH(QString, advice);
        const QString text = MessageService::databaseErrorText(error);
        QVERIFY2(text.contains(advice), qPrintable(text));
        QVERIFY2(text.contains(error), qPrintable(text));
        QCOMPARE(MessageService::databaseErrorText(Database::filesGoneText()), Database::filesGoneText());
    }
};

QTEST_MAIN(TstFaults)
#include "tst_integration_faults.moc"

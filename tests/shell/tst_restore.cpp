// 数据恢复: a backup put in place of both files while windows are open; the
// files it replaces kept aside; a damaged backup, no choice or No change
// nothing.
#include "data/backup_files.h"
#include "data/table_rows.h"
#include "shell/restore_window.h"
#include "support/ui.h"
#include "ui/window_registry.h"

#include <QDir>
#include <QFile>
#include <QTableWidget>

using namespace shop;
using namespace shop::test;

namespace {
QStringList customer(const QString& name)
{
    return {"001", name, "", "", "", "", "", ""};
}

int storedCustomers(const QString& file)
{
    QString err;
    auto db = Database::open(file, &err);
    return db ? db->selectOne("SELECT count(*) FROM guke")->value(0).toInt() : -1;
}
} // namespace

class TstRestore : public QObject {
    Q_OBJECT
private slots:
    void restore_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("messages"); // %1: the backup folder, %2: its check
        QTest::addColumn<QStringList>("left");
        const QStringList both = {"甲", "乙"};
        const QString question =
            ask("确定要用 2026-12-06 09:00:00 的备份恢复数据吗？\n现在的数据文件将先移到 backup 文件夹保存。",
                "数据恢复");
        QTest::newRow("Yes")
            << "yes"
            << QStringList{question, info("数据已恢复到 2026-12-06 09:00:00 的备份。原来的数据文件已移到：%1",
                                          "数据恢复")}
            << QStringList{"甲"};
        QTest::newRow("No") << "no" << QStringList{question} << both;
        QTest::newRow("nothing chosen")
            << "none" << QStringList{stop("请先选择要恢复的备份！", "数据恢复")} << both;
        QTest::newRow("damaged backup")
            << "damaged"
            << QStringList{question,
                           stop(
                               "恢复失败：备份文件 %1 已损坏（%2），不能用于恢复。\n现在的数据文件没有改变。",
                               "数据恢复")}
            << both;
    }
    void restore()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, left);

        TestEnv env;
        registerWindows(env.ctx().windows());
        env.insert("guke", customer("甲"));
        const BackupOutcome b =
            backupProgramDatabases(env.ctx().paths(), QDateTime(QDate(2026, 12, 6), QTime(9, 0)),
                                   env.ctx().business(), env.ctx().accounts());
        QVERIFY(b.ok);
        env.insert("guke", customer("乙"));
        if (how == "damaged") {
            QFile f(QDir(b.folder).filePath("database.db"));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek(f.size() - 4096));
            QVERIFY(f.write(QByteArray(64, '\xff')) == 64);
        }
        QWidget* customers = env.ctx().windows().open(env.ctx(), "frmguke");
        auto* grid = child<RecordView>(customers, "bg");
        QCOMPARE(gridColumn(grid, 1), (QStringList{"甲", "乙"}));

        RestoreWindow w(env.ctx());
        QVERIFY(showActive(&w));
        auto* list = child<QTableWidget>(&w, "backups");
        QCOMPARE(list->rowCount(), 1);
        if (how != "none") {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(0, 0)).center());
            env.messages().answer(how == "no" ? QMessageBox::No : QMessageBox::Yes);
        }
        press(&w, "cmd_restore");

        const QString damagedFile = QDir::toNativeSeparators(QDir(b.folder).filePath("database.db"));
        const QString setAside = QDir::toNativeSeparators(
            QDir(env.ctx().paths().backupDir()).filePath("2026-12-07_10-00-00-before-restore"));
        for (QString& m : messages)
            m.replace("%1", how == "yes" ? setAside : damagedFile)
                .replace("%2", how == "damaged" ? checkDatabaseFile(damagedFile, false) : QString());
        QCOMPARE(shownAll(env), messages);
        QCOMPARE(storedColumn(env, "guke", 1), left);
        // Open windows read the files now in place, and writes go on.
        QCOMPARE(gridColumn(grid, 1), left);
        QVERIFY(rows::insert(env.ctx().business(), "guke", customer("丙")).ok);
        QCOMPARE(storedColumn(env, "guke", 1), left + QStringList{"丙"});
        if (how == "yes") {
            // The replaced files are kept, listed, and could be put back.
            const QList<BackupInfo> backups = listBackups(env.ctx().paths().backupDir());
            QCOMPARE(backups.size(), 2);
            QVERIFY(backups.first().beforeRestore);
            QCOMPARE(storedCustomers(QDir(backups.first().folder).filePath("database.db")), 2);
            QCOMPARE(list->rowCount(), 2);
        }
        env.ctx().windows().closeAll();
    }

    // A backup whose files are sound SQLite files but not the shop's
    // databases would leave a program that cannot start again: refused, and
    // the files in use stay as they are.
    void refusesFilesThatAreNotTheShops_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("file");  // of the backup, named in the refusal
        QTest::addColumn<QString>("table"); // the first table it lacks
        QTest::newRow("files swapped") << "swap"
                                       << "database.db"
                                       << "jinhuo";
        QTest::newRow("a table missing") << "drop guke"
                                         << "database.db"
                                         << "guke";
        QTest::newRow("no accounts table") << "drop username"
                                           << "userid.db"
                                           << "username";
        QTest::newRow("empty files") << "empty"
                                     << "database.db"
                                     << "jinhuo";
    }
    void refusesFilesThatAreNotTheShops()
    {
        QFETCH(QString, damage);
        QFETCH(QString, file);
        QFETCH(QString, table);

        TestEnv env;
        env.insert("guke", customer("甲"));
        const BackupOutcome b =
            backupProgramDatabases(env.ctx().paths(), QDateTime(QDate(2026, 12, 6), QTime(9, 0)),
                                   env.ctx().business(), env.ctx().accounts());
        QVERIFY(b.ok);
        const QDir folder(b.folder);
        if (damage == "swap") {
            QVERIFY(QFile::rename(folder.filePath("database.db"), folder.filePath("x.db")));
            QVERIFY(QFile::rename(folder.filePath("userid.db"), folder.filePath("database.db")));
            QVERIFY(QFile::rename(folder.filePath("x.db"), folder.filePath("userid.db")));
        } else if (damage == "empty") {
            for (const char* file : {"database.db", "userid.db"}) {
                QVERIFY(QFile::remove(folder.filePath(file)));
                QString err;
                auto db = Database::open(folder.filePath(file), &err, Database::OpenMode::Create);
                QVERIFY2(db, qPrintable(err));
                QVERIFY(db->exec("CREATE TABLE other (a TEXT)").ok);
            }
        } else {
            const QString table = damage.section(' ', 1);
            QString err;
            auto db =
                Database::open(folder.filePath(table == "username" ? "userid.db" : "database.db"), &err);
            QVERIFY2(db, qPrintable(err));
            QVERIFY(db->exec("DROP TABLE " + table).ok);
        }
        env.insert("guke", customer("乙"));

        RestoreWindow w(env.ctx());
        QVERIFY(showActive(&w));
        auto* list = child<QTableWidget>(&w, "backups");
        QCOMPARE(list->rowCount(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0, 0)).center());
        env.messages().answer(QMessageBox::Yes);
        press(&w, "cmd_restore");

        QCOMPARE(shownAll(env).value(1),
                 stop(QString("恢复失败：备份文件 %1 缺少数据表 %2，不能用于恢复。\n现在的数据文件没有改变。")
                          .arg(QDir::toNativeSeparators(folder.filePath(file)), table),
                      "数据恢复"));
        QCOMPARE(env.messages().count(), 2);
        QCOMPARE(storedColumn(env, "guke", 1), (QStringList{"甲", "乙"}));
        QCOMPARE(listBackups(env.ctx().paths().backupDir()).size(), 1);
        // The files in place still make a database the program opens.
        env.ctx().closeDatabases();
        QString error;
        QVERIFY2(env.ctx().openDatabases(&error), qPrintable(error));
    }

    // Any folder under backup that holds both files is offered, also one a
    // person copied there under a name of their own.
    void listsFoldersByName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("shown");
        QTest::newRow("own name") << "旧数据"
                                  << "旧数据";
        QTest::newRow("short") << "copy"
                               << "copy";
        QTest::newRow("date only") << "2026-12-06"
                                   << "2026-12-06";
        QTest::newRow("one short of a stamp") << "2026-12-06_09-00-0"
                                              << "2026-12-06_09-00-0";
        QTest::newRow("stamp") << "2026-12-06_09-00-00"
                               << "2026-12-06 09:00:00";
        QTest::newRow("second of a second") << "2026-12-06_09-00-00_2"
                                            << "2026-12-06 09:00:00";
        QTest::newRow("set aside") << "2026-12-06_09-00-00-before-restore"
                                   << "2026-12-06 09:00:00（恢复前的数据）";
        QTest::newRow("set aside twice") << "2026-12-06_09-00-00-before-restore_2"
                                         << "2026-12-06 09:00:00（恢复前的数据）";
        QTest::newRow("automatic") << "2026-12-06_09-00-00-auto"
                                   << "2026-12-06 09:00:00（自动）";
        QTest::newRow("automatic, second of a second") << "2026-12-06_09-00-00_2-auto"
                                                       << "2026-12-06 09:00:00（自动）";
        QTest::newRow("own name ending like one") << "旧数据-auto"
                                                  << "旧数据-auto";
    }
    void listsFoldersByName()
    {
        QFETCH(QString, folder);
        QFETCH(QString, shown);

        TestEnv env;
        const BackupOutcome b =
            backupProgramDatabases(env.ctx().paths(), QDateTime(QDate(2026, 12, 5), QTime(8, 0)),
                                   env.ctx().business(), env.ctx().accounts());
        QVERIFY(b.ok);
        const QDir root(env.ctx().paths().backupDir());
        QVERIFY(root.mkdir(folder));
        for (const char* file : {"database.db", "userid.db"})
            QVERIFY(QFile::copy(QDir(b.folder).filePath(file), root.filePath(folder + "/" + file)));

        RestoreWindow w(env.ctx());
        QVERIFY(showActive(&w));
        auto* list = child<QTableWidget>(&w, "backups");
        QStringList rows;
        for (int r = 0; r < list->rowCount(); ++r)
            rows << list->item(r, 0)->text();
        QVERIFY2(rows.contains(shown), qPrintable(rows.join(" / ")));
        QVERIFY(rows.contains("2026-12-05 08:00:00"));
        QCOMPARE(rows.size(), 2);
    }
};

QTEST_MAIN(TstRestore)
#include "tst_restore.moc"

// The daily automatic backup: taken at the first login of a day on its own
// thread (the login does not wait), once a day, the newest 30 kept and the
// hand-made ones never touched; a failure is said once; closing the program
// gives an unfinished copy up.
#include "data/backup_files.h"
#include "data/table_rows.h"
#include "shell/auto_backup.h"
#include "shell/shell.h"
#include "support/ui.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>

using namespace shop;
using namespace shop::test;

namespace {
QStringList autoBackups(TestEnv& env)
{
    QStringList out;
    for (const BackupInfo& b : listBackups(env.ctx().paths().backupDir()))
        if (b.name.endsWith(kAutoBackupSuffix))
            out << b.name.left(10);
    return out;
}
} // namespace

class TstAutoBackup : public QObject {
    Q_OBJECT
private slots:
    // A login through the program starts the day's backup and returns at
    // once; a second login that day takes none; the next day takes one. A
    // backup made by hand earlier that day is not the day's automatic one.
    void firstLoginOfTheDay_data()
    {
        QTest::addColumn<bool>("byHandFirst");
        QTest::newRow("first thing of the day") << false;
        QTest::newRow("after a backup made by hand") << true;
    }
    void firstLoginOfTheDay()
    {
        QFETCH(bool, byHandFirst);
        TestEnv env;
        if (byHandFirst)
            QVERIFY(backupProgramDatabases(env.ctx().paths(), env.ctx().clock().now().addSecs(-3600),
                                           env.db(), env.accounts())
                        .ok);
        Shell shell(env.ctx());
        QVERIFY(shell.start());
        auto login = [&] {
            LoginWindow* w = shell.loginWindow();
            QVERIFY(w);
            QVERIFY(showActive(w));
            type(child<QWidget>(w, "username"), "ZED");
            type(child<QWidget>(w, "password"), TestEnv::kZedPassword);
            QElapsedTimer t;
            t.start();
            press(w, "cmok");
            QVERIFY(shell.mainWindow());
            qInfo("login with the backup started: %lld ms", static_cast<long long>(t.elapsed()));
        };
        QSignalSpy done(&shell.autoBackup(), &AutoBackup::finished);
        login();
        QVERIFY(shell.autoBackup().running() || done.count() == 1);
        QVERIFY(done.count() == 1 || done.wait(20000));
        QCOMPARE(autoBackups(env), QStringList{"2026-12-07"});
        const BackupInfo b = listBackups(env.ctx().paths().backupDir()).first();
        for (const char* file : {"database.db", "userid.db"})
            QCOMPARE(checkDatabaseFile(QDir(b.folder).filePath(file), false), QString("ok"));

        // Same day: nothing more.
        QVERIFY(!shell.autoBackup().startIfDue());
        env.clock().set(QDateTime(QDate(2026, 12, 8), QTime(8, 0)));
        QVERIFY(shell.autoBackup().startIfDue());
        QVERIFY(done.wait(20000));
        QCOMPARE(autoBackups(env), (QStringList{"2026-12-08", "2026-12-07"}));
        // Only the login's welcome was said.
        QCOMPARE(shownAll(env), QStringList{info("ZED, 欢迎使用本系统!  ", "系统信息")});
        QCOMPARE(listBackups(env.ctx().paths().backupDir()).size(), byHandFirst ? 3 : 2);
        env.ctx().windows().closeAll();
    }

    // The newest 30 automatic backups stay; hand-made ones are never removed.
    void newestThirtyKept()
    {
        TestEnv env;
        const QDir root(env.ctx().paths().backupDir());
        QVERIFY(QDir().mkpath(root.path()));
        for (int d = 0; d < 35; ++d) {
            const QString name = QDate(2026, 10, 1).addDays(d).toString("yyyy-MM-dd") + "_09-00-00";
            for (const QString& folder : {name + kAutoBackupSuffix, name}) {
                QVERIFY(root.mkpath(folder));
                for (const char* file : {"database.db", "userid.db"})
                    QVERIFY(QFile::copy(QDir(env.dir()).filePath(QString("database/") + file),
                                        root.filePath(folder + "/" + file)));
            }
        }
        const BackupOutcome r = takeAutoBackup(env.ctx().paths(), env.ctx().clock().now());
        QVERIFY2(r.ok, qPrintable(r.error));
        const QStringList kept = autoBackups(env);
        QCOMPARE(kept.size(), 30);
        QCOMPARE(kept.first(), QString("2026-12-07"));
        QCOMPARE(kept.last(), QString("2026-10-07"));
        QCOMPARE(listBackups(root.path()).size(), 30 + 35);
    }

    // While the full check of the files runs, the day's backup waits for it;
    // a damaged file is never copied into a backup (its damage is said by
    // the shell, not as a failed backup).
    void waitsForTheFileCheck_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("sound files") << false;
        QTest::newRow("a damaged page") << true;
    }
    void waitsForTheFileCheck()
    {
        QFETCH(bool, damaged);
        TestEnv env;
        {
            Database::Transaction tx(env.db());
            for (int i = 0; i < 2000; ++i)
                env.insert("guke", {QString::number(i), QString(100, 'x'), "", "", "", "", "", ""});
            QVERIFY(tx.commit().ok);
        }
        QVERIFY(env.db().exec("PRAGMA wal_checkpoint(TRUNCATE)").ok);
        if (damaged) {
            QFile f(env.ctx().paths().businessDb());
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek((f.size() / 4096 / 2) * 4096));
            QCOMPARE(f.write(QByteArray(64, '\xff')), 64);
        }
        env.ctx().startFileCheck();
        AutoBackup a(env.ctx());
        QSignalSpy done(&a, &AutoBackup::finished);
        QVERIFY(a.startIfDue());
        QVERIFY(a.running());
        QVERIFY(done.wait(20000));
        QCOMPARE(env.ctx().fileCheck().state(),
                 damaged ? FileCheck::State::Damaged : FileCheck::State::Sound);
        QCOMPARE(done.first().first().value<BackupOutcome>().ok, !damaged);
        QCOMPARE(autoBackups(env), damaged ? QStringList() : QStringList{"2026-12-07"});
        QCOMPARE(env.messages().count(), 0);
        // Not again that day: taken, or the damage is known.
        QVERIFY(!a.startIfDue());
    }

    // A backup that cannot be written is said once and stops nothing.
    void failureIsSaidOnce()
    {
        TestEnv env;
        // A file where the backup folder should be.
        QFile blocker(env.ctx().paths().backupDir());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        AutoBackup a(env.ctx());
        QSignalSpy done(&a, &AutoBackup::finished);
        QVERIFY(a.startIfDue());
        QVERIFY(done.wait(20000));
        QCOMPARE(shownAll(env), QStringList{stop("今天的自动备份没有完成：无法创建文件夹 " +
                                                     QDir::toNativeSeparators(env.ctx().paths().backupDir()) +
                                                     "\n请用“备份数据”手动备份。",
                                                 "数据备份")});
    }

    // Closing the program while the day's backup is being written gives the
    // copy up at once: no folder of it is left, nothing is said, and the
    // next login of the day takes it.
    void closingGivesTheCopyUp()
    {
        TestEnv env;
        {
            // Enough rows that the copy takes a while.
            Database::Transaction tx(env.db());
            for (int i = 0; i < 20000; ++i)
                QVERIFY(rows::insert(env.db(), "guke",
                                     {QString::number(i), QString(200, 'x'), "", "", "", "", "", ""})
                            .ok);
            QVERIFY(tx.commit().ok);
        }
        {
            AutoBackup a(env.ctx());
            QVERIFY(a.startIfDue());
        }
        const QDir root(env.ctx().paths().backupDir());
        QCOMPARE(root.entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{});
        QVERIFY(autoBackupDue(root.path(), env.ctx().clock().today()));
        QCOMPARE(env.messages().count(), 0);
    }
};

QTEST_MAIN(TstAutoBackup)
#include "tst_auto_backup.moc"

// The daily automatic backup and the restore at 1 000 000 rows in salse:
// what starting the backup adds to a login (the rest runs on its own
// thread), how long the backup takes behind the work, and how long putting
// a backup back takes (files set aside, backup copied in, files reopened).
//
// Usage: bench_backup [rows]   (default 1000000)

#include "shell/auto_backup.h"
#include "support/test_env.h"

#include "bench_support.h"

#include <QApplication>
#include <QSignalSpy>
#include <QSqlQuery>

#include <cstdio>

using namespace shop;
using namespace shop::bench;
using shop::test::TestEnv;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;

    TestEnv env;
    {
        Database& db = env.db();
        QSqlQuery q(db.handle());
        if (!q.prepare(QStringLiteral("INSERT INTO salse VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
            qFatal("prepare failed");
        Database::Transaction tx(db);
        const QDate start(2021, 1, 1);
        for (int i = 0; i < rows; ++i) {
            const QString day = start.addDays(2190LL * i / rows).toString(QStringLiteral("yyyy-MM-dd"));
            const QStringList v = {
                day,    "商品销售",   QStringLiteral("VIP%1").arg(i % 2000), "P1", "洗发水", "1",
                "30元", "2026-01-01", QString::number(30 + i % 50),          "",   "张丽",   "",
                "3"};
            for (int c = 0; c < 13; ++c)
                q.bindValue(c, v.at(c));
            if (!q.exec())
                qFatal("insert failed");
        }
        q.finish();
        if (!tx.commit())
            qFatal("commit failed");
        db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    std::printf("%d rows in salse (%s)\n", rows, qPrintable(env.ctx().paths().businessDb()));

    AutoBackup backup(env.ctx());
    QSignalSpy done(&backup, &AutoBackup::finished);
    const double t0 = nowMs();
    if (!backup.startIfDue())
        qFatal("no backup started");
    const double started = nowMs() - t0;
    if (!done.wait(600000))
        qFatal("the backup did not finish");
    const double whole = nowMs() - t0;
    const BackupOutcome outcome = done.first().first().value<BackupOutcome>();
    if (!outcome.ok)
        qFatal("the backup failed: %s", qPrintable(outcome.error));
    std::printf("automatic backup: the login waits %.2f ms for it to start; the backup itself takes %.0f ms "
                "behind the work\n",
                started, whole);
    addLimit(
        QStringLiteral("the login's wait for the automatic backup to start (the login closes within 100 ms "
                       "as without it)"),
        started, 100, " ms");

    const QList<BackupInfo> backups = listBackups(env.ctx().paths().backupDir());
    if (backups.isEmpty())
        qFatal("no backup listed");
    const double r0 = nowMs();
    const AppContext::Restored r = env.ctx().restoreFromBackup(backups.first().folder);
    const double restore = nowMs() - r0;
    if (!r.ok)
        qFatal("restore failed: %s", qPrintable(r.error));
    std::printf(
        "restore of that backup (integrity check of the backup, files set aside, copied in, reopened): "
        "%.0f ms\n",
        restore);

    // The files' quick check at start, beside opening them without it (warm
    // file cache, as a program started again on the same computer).
    const ProgramPaths& paths = env.ctx().paths();
    const Time plain = timeMedian(5, [&] {
        QString err;
        auto b = Database::open(paths.businessDb(), &err);
        auto a = Database::open(paths.accountsDb(), &err);
        if (!b || !a)
            qFatal("open failed: %s", qPrintable(err));
    });
    const Time checked = timeMedian(5, [&] {
        env.ctx().closeDatabases();
        QString err;
        if (!env.ctx().openDatabases(&err))
            qFatal("open failed: %s", qPrintable(err));
    });
    std::printf("opening both files at start: %.1f ms with the quick check, %.1f ms without (median of 5)\n",
                checked.wall, plain.wall);
    return finish();
}

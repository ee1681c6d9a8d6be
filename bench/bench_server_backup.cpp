// A server shop's backup and restore against pg_dump and pg_restore run by
// hand on the same database (goal: within 1.5x), and the first sale after
// the server is back (goal: within 1 s of the server accepting connections).
//
//   bench_server_backup [rows]     (1 000 000 rows of business by default)
#include "bench_support.h"
#include "data/schema.h"
#include "data/server_backup.h"
#include "sales/sale_service.h"
#include "support/pg_cluster.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using namespace shop;
using namespace shop::bench;

namespace {

QString conninfo(const DbServer& s, const QString& name)
{
    return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4").arg(s.host).arg(s.port).arg(name, s.user);
}

double runByHand(const QString& program, const QStringList& args)
{
    const double t0 = nowMs();
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return nowMs() - t0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString(argv[1]).toInt() : 1000000;
    QString err;
    auto cluster = test::PgCluster::start(/*durable=*/true, &err);
    if (!cluster)
        qFatal("%s", qPrintable(err));
    const auto server = cluster->shopDatabase(QStringLiteral("pw"), &err);
    if (!server)
        qFatal("%s", qPrintable(err));
    auto db = Database::openServer(*server, &err);
    if (!db)
        qFatal("%s", qPrintable(err));
    db->exec(QStringLiteral("SET statement_timeout = 0"));

    // The business of some years, made on the server itself.
    const double f0 = nowMs();
    QStringList columns;
    for (const QString& c : schema::columnsOf(QStringLiteral("salse")))
        columns << quoteIdent(c);
    for (const char* table : {"salse", "salse_history"}) {
        const DbResult r = db->exec(
            QStringLiteral(
                "INSERT INTO %1 (%2) SELECT to_char(date '2020-01-01' + (i % 2000), 'YYYY-MM-DD'), "
                "'商品销售', 'C' || (i % 1000), 'P' || (i % 1000), '商品' || (i % 1000), '1', '10元', "
                "'2020-01-01', (i % 100)::text, '', '张丽', '', '0' FROM generate_series(1, ?) i")
                .arg(QLatin1String(table), columns.join(u',')),
            {rows / 2});
        if (!r)
            qFatal("%s", qPrintable(r.error));
    }
    db->exec(QStringLiteral("VACUUM ANALYZE"));
    std::printf("bench_server_backup: %d rows (salse and salse_history), made in %.1f s\n", rows,
                (nowMs() - f0) / 1e3);

    const ClientTools tools = findClientTools(serverMajorVersion(*db));
    if (!tools.usable())
        qFatal("%s", qPrintable(tools.error));
    QTemporaryDir dir;
    const QString byHandFile = dir.filePath(QStringLiteral("by-hand.dump"));
    const double dumpByHand =
        runByHand(tools.dump, {QStringLiteral("--format=custom"), QStringLiteral("--file=") + byHandFile,
                               QStringLiteral("--dbname=") + conninfo(*server, server->name)});
    const QString root = dir.filePath(QStringLiteral("backup"));
    double t0 = nowMs();
    const BackupOutcome backup =
        dumpServerDatabase(*server, tools, root, QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    const double dumpOurs = nowMs() - t0;
    if (!backup.ok)
        qFatal("%s", qPrintable(backup.error));

    // By hand: a new database and the backup restored into it.
    const auto byHandTarget = cluster->freshDatabase(&err);
    if (!byHandTarget)
        qFatal("%s", qPrintable(err));
    const double restoreByHand = runByHand(
        tools.restore, {QStringLiteral("--no-owner"),
                        QStringLiteral("--dbname=") + conninfo(*server, byHandTarget->name), byHandFile});
    db.reset();
    t0 = nowMs();
    const RestoreOutcome restored = restoreServerDatabase(*server, tools, backup.folder, root,
                                                          QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
    const double restoreOurs = nowMs() - t0;
    if (!restored.ok)
        qFatal("%s", qPrintable(restored.error));
    std::printf("backup:  pg_dump by hand %8.0f ms   数据备份 %8.0f ms   ratio %.2f (goal <= 1.5)\n",
                dumpByHand, dumpOurs, dumpOurs / dumpByHand);
    std::printf(
        "restore: pg_restore by hand %5.0f ms   数据恢复 %8.0f ms   ratio %.2f (goal <= 1.5)\n"
        "         (数据恢复 = a backup of the current state + the restore into a new database + the swap)\n",
        restoreByHand, restoreOurs, restoreOurs / restoreByHand);

    // A till's connection, the server stopped and started under it.
    db = Database::openServer(*server, &err);
    if (!db)
        qFatal("%s", qPrintable(err));
    SaleService sales(*db);
    SaleEntry e;
    e.service = true;
    e.money = QStringLiteral("30");
    e.serviceItem = QStringLiteral("洗车");
    e.employee = QStringLiteral("张丽");
    std::vector<double> firsts;
    const int repeat = benchRepeat(5);
    for (int i = 0; i < repeat; ++i) {
        if (!cluster->stop(&err) || !cluster->startAgain(&err))
            qFatal("%s", qPrintable(err));
        // startAgain returns once the server accepts connections.
        t0 = nowMs();
        const SaleOutcome o = sales.save(e, sales.check(e), QStringLiteral("2026-12-07"));
        firsts.push_back(nowMs() - t0);
        if (o.kind != SaleOutcome::Saved)
            qFatal("the first sale after the restart failed: %s", qPrintable(o.error));
    }
    std::printf("reconnect: first sale after the server accepts connections, median of %d: %.1f ms "
                "(goal <= 1000 ms)\n",
                repeat, median(firsts));
    const bool met =
        dumpOurs <= 1.5 * dumpByHand && restoreOurs <= 1.5 * restoreByHand && median(firsts) <= 1000;
    return met ? 0 : 1;
}

// Moving a shop onto the server: a business file with 1 000 000 rows in
// salse (and a thousand in each of jinhuo, numbercard and guke) copied by
// shop-migrate's copy into an empty database of a throwaway cluster that
// flushes to disk as a real one does. Prints the time of opening and
// checking the files, of the copy (one transaction, counts compared, commit)
// and the rows per second, for each statement size asked for.
//
// Usage: bench_migrate [rows] [rows per statement, comma separated]
//        (default 1000000 and 0, the size the copy chooses)

#include "data/program_paths.h"
#include "data/schema.h"
#include "migrate/migrate.h"
#include "support/pg_cluster.h"

#include "bench_support.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

using namespace shop;
using namespace shop::bench;

namespace {

void fill(Database& db, const QString& table, int rows, const std::function<QStringList(int)>& row)
{
    const int width = static_cast<int>(schema::columnsOf(table).size());
    QSqlQuery q(db.handle());
    if (!q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)")
                       .arg(table, QStringList(width, QStringLiteral("?")).join(QStringLiteral(", ")))))
        qFatal("prepare failed");
    Database::Transaction tx(db);
    for (int i = 0; i < rows; ++i) {
        const QStringList v = row(i);
        for (int c = 0; c < width; ++c)
            q.bindValue(c, v.value(c, QStringLiteral("")));
        if (!q.exec())
            qFatal("insert into %s failed", qPrintable(table));
    }
    q.finish();
    if (!tx.commit())
        qFatal("commit failed");
}

double fileMiB(const QString& path)
{
    return QFileInfo(path).size() / 1048576.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QList<int> sizes;
    for (const QString& s : QString::fromLocal8Bit(argc > 2 ? argv[2] : "0").split(u','))
        sizes << s.toInt();

    QTemporaryDir dir;
    const ProgramPaths paths{dir.path()};
    QString err;
    if (!schema::createDatabaseFiles(paths.businessDb(), paths.accountsDb(), QStringLiteral("zed-pw"), &err))
        qFatal("%s", qPrintable(err));
    const double f0 = nowMs();
    {
        auto db = Database::open(paths.businessDb(), &err);
        if (!db)
            qFatal("%s", qPrintable(err));
        const QStringList staff = {"张丽", "王强", "李娜", "赵敏", "O'Neil"};
        const QDate start(2021, 1, 1);
        fill(*db, QStringLiteral("salse"), rows, [&](int i) -> QStringList {
            const QString day = start.addDays(2190LL * i / rows).toString(QStringLiteral("yyyy-MM-dd"));
            const bool service = i % 3 == 0;
            return {day,
                    service ? "服务" : "商品销售",
                    QStringLiteral("VIP%1").arg(i % 2000, 5, 10, QLatin1Char('0')),
                    service ? "" : QStringLiteral("P%1").arg(i % 300),
                    service ? "" : QStringLiteral("洗发水 %1 号").arg(i % 300),
                    service ? "" : QString::number(1 + i % 4),
                    QStringLiteral("%1元").arg(20 + i % 80),
                    "2021-01-01",
                    QString::number(30 + i % 50),
                    service ? "剪发" : "",
                    staff.at(i % staff.size()),
                    i % 17 == 0 ? "老顾客，送小样😀" : "",
                    QString::number(i % 9)};
        });
        fill(*db, QStringLiteral("jinhuo"), 1000, [](int i) -> QStringList {
            return {QStringLiteral("洗发水 %1 号").arg(i),
                    QStringLiteral("P%1").arg(i),
                    "500ml",
                    "12",
                    "18.5",
                    "30",
                    QString::number(i % 90),
                    "供应商甲",
                    "2021-01-01",
                    ""};
        });
        fill(*db, QStringLiteral("numbercard"), 1000, [](int i) -> QStringList {
            return {"2021-01-01",
                    QStringLiteral("VIP%1").arg(i, 5, 10, QLatin1Char('0')),
                    "张丽",
                    "顾客",
                    "剪发",
                    "500",
                    "10",
                    "储值卡",
                    ""};
        });
        fill(*db, QStringLiteral("guke"), 1000, [](int i) -> QStringList {
            return {QString::number(i),
                    QStringLiteral("顾客%1").arg(i),
                    "女",
                    "1990-01",
                    "13800000000",
                    "2021-01-01",
                    "某市某路",
                    ""};
        });
        db->exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    std::printf("bench_migrate: salse %d rows, jinhuo, numbercard, guke 1000 each; filled in %.1f s; "
                "business file %.1f MiB\n",
                rows, (nowMs() - f0) / 1e3, fileMiB(paths.businessDb()));

    auto cluster = test::PgCluster::start(/*durable=*/true, &err);
    if (!cluster)
        qFatal("%s", qPrintable(err));

    for (int size : sizes) {
        const auto target = cluster->freshDatabase(&err);
        auto server = target ? Database::openServer(*target, &err) : nullptr;
        if (!server)
            qFatal("%s", qPrintable(err));
        // As shop-migrate does: a copy of years of business runs statements
        // far longer than a till's (building an index of a million rows).
        if (!server->exec(QStringLiteral("SET statement_timeout = 0")))
            qFatal("cannot lift the statement time limit");

        const double o0 = nowMs();
        const double oc0 = cpuMs();
        auto sources = migrate::openSources(paths.businessDb(), paths.accountsDb(), &err);
        if (!sources)
            qFatal("%s", qPrintable(err));
        const double openMs = nowMs() - o0;
        const double openCpu = cpuMs() - oc0;

        migrate::Options options;
        options.rowsPerStatement = size;
        const double c0 = nowMs();
        const double cc0 = cpuMs();
        const migrate::Outcome out =
            migrate::copyShop(*sources->business, *sources->accounts, *server, options);
        const double copyMs = nowMs() - c0;
        const double copyCpu = cpuMs() - cc0;
        if (!out.ok)
            qFatal("copy failed: %s", qPrintable(out.error));
        qint64 all = 0;
        for (const migrate::TableCount& c : out.counts)
            all += c.rows;
        const auto bytes = server->selectOne(QStringLiteral("SELECT pg_database_size(current_database())"));
        const int per = size > 0 ? size : migrate::rowsPerStatement(13);
        std::printf("rows per statement %d (salse):\n"
                    "  open and quick-check the files  %8.0f ms wall  %8.0f ms cpu\n"
                    "  copy, count, commit (%lld rows) %8.0f ms wall  %8.0f ms cpu (this process)\n"
                    "  %.0f rows/s; server database %.1f MiB\n",
                    per, openMs, openCpu, static_cast<long long>(all), copyMs, copyCpu, all / (copyMs / 1e3),
                    bytes ? bytes->value(0).toLongLong() / 1048576.0 : 0.0);
        std::fflush(stdout);
    }
    return 0;
}

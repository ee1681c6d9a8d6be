// Times a complete save in the business entry window (checks, the one
// transaction of writes, the grid re-read) and the daily total, with small
// and large tables, and prints the figures side by side.
//
//   bench_sale [saves] [rows]   (default 400 saves per size, 1 000 000 rows
//                                 for the large size)
//
// Every save (and every sale of the service alone) is followed by a durable
// one-value commit, the disk's floor, so the ratio of the two holds under the
// load of a shared machine.
#include "ui/record_view.h"
#include "sales/business_window.h"
#include "sales/sale_service.h"
#include "support/test_env.h"

#include "bench_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>

using namespace shop;
using namespace shop::bench;
using shop::test::TestEnv;

namespace {

struct Sizes {
    const char* label;
    int sales;  // rows in salse and in salse_history
    int goods;  // goods lines
    int cards;  // member cards
    int todays; // of the sales rows, dated today
};

struct Figures {
    double buildSeconds = 0;
    double saveMedian = 0;
    double saveP99 = 0;
    double saveMax = 0;
    double saveCpuMedian = 0;
    double saveCpuP99 = 0;
    // The sale itself (SaleService check and save, no window).
    double saleMedian = 0;
    double saleP99 = 0;
    double saleCpuMedian = 0;
    double totalMedian = 0;
    double commitFloor = 0;
    // The commits that alternated with the sales alone.
    double saleCommitMedian = 0;
    double saleCommitP99 = 0;
    qint64 totalRows = 0;
};

// The disk's share: one durable commit that changes one value.
double oneValueCommit(Database& db, int i)
{
    QElapsedTimer one;
    one.start();
    Database::Transaction tx(db);
    db.exec(QStringLiteral("UPDATE jinhuo SET 说明 = ? WHERE rowid = 1"), {QString::number(i)});
    tx.commit();
    return one.nsecsElapsed() / 1e6;
}

QString code(int i)
{
    return QStringLiteral("G%1").arg(i, 6, 10, QChar(u'0'));
}

QString cardNumber(int i)
{
    return QStringLiteral("C%1").arg(i, 6, 10, QChar(u'0'));
}

bool fill(Database& db, const QString& table, int columns, int rows,
          const std::function<QVariantList(int)>& row)
{
    QStringList marks;
    for (int i = 0; i < columns; ++i)
        marks << QStringLiteral("?");
    QSqlQuery q(db.handle());
    if (!q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quoteIdent(table), marks.join(','))))
        return false;
    for (int i = 0; i < rows; ++i) {
        const QVariantList v = row(i);
        for (int c = 0; c < columns; ++c)
            q.bindValue(c, v.at(c));
        if (!q.exec())
            return false;
    }
    q.finish();
    return true;
}

bool build(TestEnv& env, const Sizes& s)
{
    Database& db = env.db();
    Database::Transaction tx(db);
    if (!tx.active())
        return false;
    const QString today = env.ctx().today();
    const QDate first(2020, 1, 1);
    const int earlier = s.sales - s.todays;
    auto sale = [&](int i) -> QVariantList {
        // Earlier rows spread over the days before today; the last ones today.
        const QString date =
            i < earlier ? first.addDays(i * 2000LL / qMax(1, earlier)).toString(Qt::ISODate) : today;
        return {date,
                QStringLiteral("商品销售+其它服务"),
                cardNumber(i % s.cards),
                code(i % s.goods),
                "可乐",
                "2",
                "12元",
                "2019-12-01",
                QString::number(i % 97 + 0.5),
                "洗车",
                "张三",
                "",
                "0"};
    };
    bool ok =
        fill(db, "salse", 13, s.sales, sale) && fill(db, "salse_history", 13, s.sales, sale) &&
        fill(db, "jinhuo", 10, s.goods,
             [](int i) -> QVariantList {
                 return {"可乐", code(i), "330ml", "24", "2", "12", "100000000", "供应商", "2019-12-01", ""};
             }) &&
        fill(db, "numbercard", 9, s.cards, [](int i) -> QVariantList {
            const bool value = i % 2 == 0;
            return {"2020-01-01",
                    cardNumber(i),
                    "李四",
                    "王五",
                    "洗车",
                    value ? "1e9" : "0",
                    value ? "0" : "100000000",
                    value ? "钻石卡" : "月卡",
                    ""};
        });
    if (!ok)
        return false;
    if (!tx.commit().ok)
        return false;
    return db.exec("ANALYZE").ok && db.exec("PRAGMA wal_checkpoint(TRUNCATE)").ok;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v.at(i);
}

std::optional<Figures> run(const Sizes& s, int saves)
{
    Figures f;
    TestEnv env;
    QElapsedTimer t;
    t.start();
    if (!build(env, s)) {
        std::fprintf(stderr, "building the tables failed\n");
        return std::nullopt;
    }
    f.buildSeconds = t.elapsed() / 1000.0;

    env.ctx().setLogin(QStringLiteral("clerk"), QStringLiteral("M"));
    BusinessWindow w(env.ctx());
    w.show();
    child<QCheckBox>(w, "shangpin")->setChecked(true);
    child<QCheckBox>(w, "qita")->setChecked(true);
    auto* save = child<QPushButton>(w, "cmd_save");
    QRandomGenerator rng(20261207);
    // A goods-and-service sale to a random card of a random goods line.
    auto randomSale = [&rng, &s] {
        SaleEntry e;
        e.goods = e.service = true;
        e.card = cardNumber(rng.bounded(s.cards));
        e.productCode = code(rng.bounded(s.goods));
        e.quantity = QStringLiteral("1");
        e.money = QStringLiteral("30");
        e.employee = QStringLiteral("张三");
        return e;
    };

    // Each save is followed by a one-value commit, so that both meet the
    // same load of a shared machine and the same state of the disk.
    std::vector<double> times, cpu, floor;
    for (int i = 0; i < saves; ++i) {
        child<QLineEdit>(w, "txt_card_number")->setText(cardNumber(rng.bounded(s.cards)));
        child<QLineEdit>(w, "txt_production_code")->setText(code(rng.bounded(s.goods)));
        w.product_lookup();
        child<QLineEdit>(w, "txt_quantily")->setText(QStringLiteral("1"));
        child<QLineEdit>(w, "txt_money")->setText(QStringLiteral("30"));
        child<QLineEdit>(w, "txt_service")->setText(QStringLiteral("洗车"));
        child<QComboBox>(w, "com_name")->setEditText(QStringLiteral("张三"));
        child<QLineEdit>(w, "txt_remark")->setText(QStringLiteral("bench %1").arg(i));
        env.messages().clear();
        env.messages().answer(QMessageBox::Yes);
        QElapsedTimer one;
        // CPU time of this thread: the program's own work, apart from waiting for
        // the disk and for the other programs on a shared machine.
        const double c0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        one.start();
        save->click();
        times.push_back(one.nsecsElapsed() / 1e6);
        cpu.push_back(cpuMs(CLOCK_THREAD_CPUTIME_ID) - c0);
        if (env.messages().count() != 1) {
            std::fprintf(stderr, "save %d said: %s\n", i, qPrintable(env.messages().texts().join(" | ")));
            return std::nullopt;
        }
        floor.push_back(oneValueCommit(env.db(), i));
    }
    // The sale alone, as the window runs it (check, then save), in turns
    // with the one-value commit as well.
    {
        SaleService service(env.db());
        std::vector<double> sales, saleCpu, commits;
        for (int i = 0; i < saves; ++i) {
            const SaleEntry e = randomSale();
            QElapsedTimer one;
            const double c0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
            one.start();
            const SaleOutcome c = service.check(e);
            const SaleOutcome saved = service.save(e, c, env.ctx().today());
            sales.push_back(one.nsecsElapsed() / 1e6);
            saleCpu.push_back(cpuMs(CLOCK_THREAD_CPUTIME_ID) - c0);
            if (saved.kind != SaleOutcome::Saved) {
                std::fprintf(stderr, "sale %d not saved: %s\n", i, qPrintable(saved.error));
                return std::nullopt;
            }
            commits.push_back(oneValueCommit(env.db(), i));
            floor.push_back(commits.back());
        }
        f.saleMedian = percentile(sales, 0.5);
        f.saleCommitMedian = percentile(commits, 0.5);
        f.saleCommitP99 = percentile(commits, 0.99);
        f.saleP99 = percentile(sales, 0.99);
        f.saleCpuMedian = percentile(saleCpu, 0.5);
    }
    // Where the time of a save goes: the checks, the transaction, the grid.
    if (qEnvironmentVariableIsSet("BENCH_SALE_BREAKDOWN")) {
        SaleService service(env.db());
        std::vector<double> checks, writes, rereads;
        for (int i = 0; i < saves; ++i) {
            const SaleEntry e = randomSale();
            QElapsedTimer one;
            one.start();
            const SaleOutcome c = service.check(e);
            checks.push_back(one.nsecsElapsed() / 1e6);
            one.restart();
            service.save(e, c, env.ctx().today());
            writes.push_back(one.nsecsElapsed() / 1e6);
            one.restart();
            w.grid()->rerun();
            rereads.push_back(one.nsecsElapsed() / 1e6);
        }
        std::printf(
            "%s: check %.3f / %.3f ms, transaction %.3f / %.3f ms, grid %.3f / %.3f ms (median / p99)\n",
            s.label, percentile(checks, 0.5), percentile(checks, 0.99), percentile(writes, 0.5),
            percentile(writes, 0.99), percentile(rereads, 0.5), percentile(rereads, 0.99));
        // Pages each durable write puts into the log, from the log's size
        // after emptying it: the disk's share of a sale beside the commit's.
        const QString wal = env.db().path() + QStringLiteral("-wal");
        auto pagesOf = [&](const std::function<void()>& write) {
            env.db().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            write();
            constexpr qint64 kHeader = 32, kFrame = 24 + 4096;
            return (QFileInfo(wal).size() - kHeader) / kFrame;
        };
        const SaleEntry e = randomSale();
        const qint64 salePages = pagesOf([&] { service.save(e, service.check(e), env.ctx().today()); });
        const qint64 commitPages = pagesOf([&] { oneValueCommit(env.db(), 0); });
        std::printf("%s: pages written to the log by a sale %lld, by the one-value commit %lld\n", s.label,
                    static_cast<long long>(salePages), static_cast<long long>(commitPages));
    }
    f.commitFloor = percentile(floor, 0.5);
    f.saveMedian = percentile(times, 0.5);
    f.saveP99 = percentile(times, 0.99);
    f.saveMax = percentile(times, 1.0);
    f.saveCpuMedian = percentile(cpu, 0.5);
    f.saveCpuP99 = percentile(cpu, 0.99);

    std::vector<double> totals;
    auto* count = child<QPushButton>(w, "cmd_count");
    for (int i = 0; i < 30; ++i) {
        env.messages().clear();
        QElapsedTimer one;
        one.start();
        count->click();
        totals.push_back(one.nsecsElapsed() / 1e6);
        if (env.messages().last().icon != QMessageBox::Information) {
            std::fprintf(stderr, "daily total said: %s\n", qPrintable(env.messages().last().text));
            return std::nullopt;
        }
    }
    f.totalMedian = percentile(totals, 0.5);
    f.totalRows = s.todays + saves;
    return f;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int saves = argc > 1 ? std::max(10, QString::fromLocal8Bit(argv[1]).toInt()) : 400;

    const Sizes small{"1 000 rows", 1000, 1000, 1000, 100};
    const int rows = argc > 2 ? std::max(1000, QString::fromLocal8Bit(argv[2]).toInt()) : 1000000;
    const QByteArray largeLabel = QStringLiteral("%1 rows").arg(rows).toUtf8();
    const Sizes large{largeLabel.constData(), rows, std::max(1000, rows / 10), std::max(1000, rows / 10),
                      100};
    std::printf("business save and daily total (WAL, synchronous=FULL), %d saves per size\n", saves);
    std::printf("large: %d rows in salse and salse_history, %d goods lines, %d cards\n", large.sales,
                large.goods, large.cards);
    std::fflush(stdout);

    const auto a = run(small, saves);
    const auto b = run(large, saves);
    if (!a || !b)
        return 1;

    std::printf("\n%-26s %14s %16s %8s\n", "", small.label, large.label, "ratio");
    auto line = [](const char* what, double x, double y) {
        std::printf("%-26s %11.3f ms %13.3f ms %8.2f\n", what, x, y, x > 0 ? y / x : 0.0);
    };
    line("save, median", a->saveMedian, b->saveMedian);
    line("save, 99th percentile", a->saveP99, b->saveP99);
    line("save, slowest", a->saveMax, b->saveMax);
    line("save CPU time, median", a->saveCpuMedian, b->saveCpuMedian);
    line("save CPU time, 99th pct", a->saveCpuP99, b->saveCpuP99);
    line("sale (check + save), median", a->saleMedian, b->saleMedian);
    line("sale, 99th percentile", a->saleP99, b->saleP99);
    line("sale CPU time, median", a->saleCpuMedian, b->saleCpuMedian);
    line("daily total, median", a->totalMedian, b->totalMedian);
    line("one-value commit, median", a->commitFloor, b->commitFloor);
    line("commit beside sales, median", a->saleCommitMedian, b->saleCommitMedian);
    line("commit beside sales, p99", a->saleCommitP99, b->saleCommitP99);
    std::printf("%-26s %14lld %16lld\n", "rows dated today", static_cast<long long>(a->totalRows),
                static_cast<long long>(b->totalRows));
    std::printf("%-26s %12.1f s %14.1f s\n", "building the tables", a->buildSeconds, b->buildSeconds);
    std::printf("\n(a one-value commit is the disk's floor for any durable save on this machine; each save "
                "and sale was followed by one)\n");
    bool met = true;
    auto goal = [&met](const QString& what, double value, double limit, const char* unit) {
        const bool ok = value <= limit;
        met = met && ok;
        std::printf("%s: %.2f%s %s (goal <= %g%s)\n", qPrintable(what), value, unit, verdict(ok), limit,
                    unit);
    };
    for (const auto* f : {&*a, &*b}) {
        const char* size = f == &*a ? small.label : large.label;
        goal(QStringLiteral("durable sale / one-value commit, %1").arg(QLatin1String(size)),
             f->saleMedian / qMax(0.001, f->saleCommitMedian), 2, "x");
        goal(QStringLiteral("durable sale, 99th percentile, %1").arg(QLatin1String(size)), f->saleP99, 10,
             " ms");
        // A commit of one value is the least a durable sale waits for: when
        // its own 99th percentile is over the goal, so is any sale's.
        if (f->saleCommitP99 >= 10)
            std::printf("    (the one-value commit's own 99th percentile in the same turns: %.2f ms, over "
                        "10 ms: the disk's limit in this run)\n",
                        f->saleCommitP99);
        goal(QStringLiteral("save in the window, median, %1").arg(QLatin1String(size)), f->saveMedian, 2,
             " ms");
        goal(QStringLiteral("save in the window, 99th percentile, %1").arg(QLatin1String(size)), f->saveP99,
             10, " ms");
    }
    // Flat: the large size's sale against the small one's, each measured
    // against its own run's commit.
    goal(QStringLiteral("durable sale is flat: %1 / %2 (each over its commit)")
             .arg(QLatin1String(large.label), QLatin1String(small.label)),
         (b->saleMedian / qMax(0.001, b->saleCommitMedian)) /
             qMax(0.001, a->saleMedian / qMax(0.001, a->saleCommitMedian)),
         1.5, "x");
    return met ? 0 : 1;
}

// The owner's overview in a shop of 1 000 000 sales: from the login to the
// overview painted with its figures (and to its months of 毛利, read after
// them), the window thread's share of a refresh after a sale, and the
// durable sale with the overview shown against the same sale with it
// hidden, in turns.
//
// Usage: bench_overview [sales] [saves]   (default 1000000 sales, 200 saves)
//        bench_overview --png file [account]   the main window at 1366x768
//                                              with the overview, as a PNG
// Environment: BENCH_REPEAT (default 15).
// Exits 1 when a goal is missed.

#include "data/money.h"
#include "data/schema.h"
#include "reports/overview_figures.h"
#include "reports/overview_widget.h"
#include "sales/sale_service.h"
#include "shell/journal.h"
#include "shell/main_window.h"
#include "ui/window_registry.h"
#include "support/test_env.h"

#include "bench_support.h"

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QSqlQuery>

#include <cstdio>
#include <random>

using namespace shop;
using namespace shop::bench;
using shop::test::TestEnv;

namespace {

const int kRepeat = benchRepeat(15);
const QDate kToday(2026, 12, 7);

QString code(int i)
{
    return QStringLiteral("G%1").arg(i, 5, 10, QChar(u'0'));
}

QString cardNumber(int i)
{
    return QStringLiteral("C%1").arg(i, 6, 10, QChar(u'0'));
}

// `sales` sales spread over six years up to today (about 450 a day), as
// many card ledger rows, the goods sales' stock ledger rows, 1000 goods and
// 10000 cards.
void fill(Database& db, int sales)
{
    Database::Transaction tx(db);
    std::mt19937 rng(20261207);
    const QDate first = kToday.addDays(-2200);
    const auto dayOf = [&](int i, int n) { return first.addDays(i * 2201LL / n).toString(Qt::ISODate); };
    insertRows(db, QStringLiteral("jinhuo"), 1000, [](int i) {
        return QStringList{"可乐",
                           code(i),
                           "330ml",
                           "24",
                           "2",
                           "12",
                           i < 60 ? QString::number(i % 12) : QStringLiteral("100000"),
                           "供应商",
                           "2020-01-01",
                           ""};
    });
    insertRows(db, QStringLiteral("numbercard"), 10000, [](int i) {
        return QStringList{"2020-01-01",
                           cardNumber(i),
                           "张三",
                           "王五",
                           "洗车",
                           i % 2 ? "1000" : "0",
                           i % 2 ? "0" : "20",
                           i % 2 ? "钻石卡" : "季卡",
                           ""};
    });
    const QStringList& staff = twentyEmployees();
    for (const QString& table : {QStringLiteral("salse"), QStringLiteral("salse_history")})
        insertRows(db, table, sales, [&](int i) {
            return QStringList{dayOf(i, sales),
                               i % 2 ? "商品销售+其它服务" : "其它服务",
                               i % 3 ? cardNumber(i % 10000) : "非会员",
                               i % 2 ? code(i % 1000) : "",
                               i % 2 ? "可乐" : "",
                               i % 2 ? "2" : "",
                               i % 2 ? "12元" : "",
                               i % 2 ? "2020-01-01" : "",
                               QString::number(rng() % 20000 / 100.0),
                               i % 7 ? "洗车" : "打蜡",
                               staff.at(i % staff.size()),
                               "",
                               QString::number(rng() % 10)};
        });
    // Each goods sale's 销售 row in the stock ledger, naming the sale's key
    // (its rowid), with its cost: what the margin reads beside the sales.
    insertRows(db, schema::liushui::kTable, sales / 2, [&](int k) {
        const int i = 2 * k + 1;
        return QStringList{dayOf(i, sales) + QStringLiteral(" 12:00:00"),
                           code(i % 1000),
                           "可乐",
                           "2020-01-01",
                           "销售",
                           "100000",
                           "99998",
                           "-2",
                           "2",
                           "4",
                           "ZED",
                           QString::number(i + 1),
                           "",
                           QString::number(i % 1000 + 1)};
    });
    insertRows(db, QStringLiteral("kawu"), sales, [&](int i) {
        const bool topUp = i % 10 == 0;
        return QStringList{dayOf(i, sales) + QStringLiteral(" 12:00:00"),
                           cardNumber(i % 10000),
                           topUp ? "充值" : "消费",
                           "500",
                           topUp ? "600" : "480",
                           "",
                           "",
                           topUp ? "100" : "",
                           "ZED",
                           staff.at(i % staff.size()),
                           "",
                           "",
                           QString::number(i % 10000 + 1)};
    });
    if (!tx.commit())
        qFatal("commit failed");
    db.exec(QStringLiteral("ANALYZE"));
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

// Runs the event loop for `ms` or until `stop` is set: a plain loop, which
// sleeps while it waits (QSignalSpy's and QTest's waits keep the thread
// busy, and that would count as the window's work).
void runLoop(int ms, const bool* stop = nullptr, QObject* quitter = nullptr)
{
    if (stop && *stop)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (quitter)
        QObject::connect(quitter, &QObject::objectNameChanged, &loop, &QEventLoop::quit);
    loop.exec();
}

// The overview's showings of figures (and of the months' 毛利 that follow
// them), waited for one at a time.
class Showings : public QObject {
public:
    explicit Showings(OverviewWidget& o) : o_(o)
    {
        connect(&o, &OverviewWidget::figuresShown, this, [this] { wake(shown_); });
        connect(&o, &OverviewWidget::marginsShown, this, [this] { wake(margins_); });
    }
    // Waits for figures not yet waited for; false after 10 s without.
    bool next() { return waitFor(shown_); }
    // The next figures, painted.
    bool painted()
    {
        if (!next())
            return false;
        o_.repaint();
        return true;
    }
    // The months' 毛利 read after those figures, painted.
    bool marginsPainted()
    {
        if (!waitFor(margins_))
            return false;
        o_.repaint();
        return true;
    }
    void clear() { shown_ = margins_ = false; }

private:
    void wake(bool& flag)
    {
        flag = true;
        // Wakes the loop that waits.
        setObjectName(objectName() == QLatin1String("a") ? QStringLiteral("b") : QStringLiteral("a"));
    }
    bool waitFor(bool& flag)
    {
        runLoop(10000, &flag, this);
        const bool was = flag;
        flag = false;
        return was;
    }
    OverviewWidget& o_;
    bool shown_ = false;
    bool margins_ = false;
};

SaleEntry saleEntry(int i)
{
    SaleEntry e;
    e.service = true;
    e.goods = true;
    e.card = cardNumber(2 * (i % 400) + 1); // stored-value cards
    e.productCode = code(500);
    e.productName = QStringLiteral("可乐");
    e.quantity = QStringLiteral("1");
    e.retailPrice = QStringLiteral("12元");
    e.purchaseDate = QStringLiteral("2020-01-01");
    e.money = QStringLiteral("12");
    e.employee = QStringLiteral("张三");
    return e;
}

// The main window as the person logged in as `account` first sees it,
// over 100 000 sales, saved as `file`.
int renderPng(const QString& file, const QString& account)
{
    TestEnv env(QDateTime(kToday, QTime(10, 0, 0)));
    fill(env.db(), 100000);
    registerWindows(env.ctx().windows());
    env.ctx().setLogin(account, QStringLiteral("M"));
    LoginJournal journal(env.ctx());
    MainWindow main(env.ctx(), journal);
    auto* o = main.findChild<OverviewWidget*>();
    if (!o)
        qFatal("no overview");
    Showings shown(*o);
    main.resize(1366, 768);
    main.show();
    if (!shown.painted())
        qFatal("the overview showed no figures");
    QTest::qWait(300);
    main.resize(1360, 760);
    QTest::qWait(300);
    main.resize(1366, 768);
    QTest::qWait(300);
    return main.grab().save(file) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--png")
        return renderPng(QString::fromLocal8Bit(argv[2]),
                         argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("ZED"));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int size = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const int saves = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 200;

    TestEnv env(QDateTime(kToday, QTime(10, 0, 0)));
    Database& db = env.db();
    const double t0 = nowMs();
    fill(db, size);
    std::printf("%d sales, %d card ledger rows, 1000 goods, 10000 cards: filled in %.1f s\n\n", size, size,
                (nowMs() - t0) / 1000);
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));

    // The plans of the reads (the months' pass covers the days' too).
    const QString from = overview::firstMonthShown(kToday);
    const QString month = overview::monthStart(kToday);
    const QString today = kToday.toString(Qt::ISODate);
    const struct {
        const char* what;
        QString sql;
        QVariantList binds;
    } plans[] = {
        {"money per day and month",
         QStringLiteral("SELECT rowid, 业务日期, 实收金额 FROM salse WHERE 业务日期 >= ? AND 业务日期 <= ?"),
         {from, today}},
        {"goods, services and employees of the month",
         QStringLiteral(
             "SELECT rowid, 业务类型, 产品编号, 商品名称, 服务项目, 实收金额 FROM salse WHERE 业务日期 >= "
             "? AND 业务日期 <= ?"),
         {month, today}},
        {"top-ups of the month",
         QStringLiteral("SELECT rowid, 类别, 收款金额 FROM kawu WHERE 时间 >= ? AND 时间 <= ?"),
         {month + QStringLiteral(" 00:00:00"), today + QStringLiteral(" 23:59:59")}},
        {"cards", QStringLiteral("SELECT rowid, 卡类型, 金额, 次数 FROM numbercard"), {}},
    };
    for (const auto& p : plans)
        std::printf("plan, %s:\n    %s\n", p.what, qPrintable(queryPlan(db, p.sql, p.binds).join("; ")));

    // The figures alone, on this thread.
    const Time figures = timeMedian(kRepeat, [&] {
        if (!overview::read(db, kToday, true, 5.0))
            qFatal("read failed");
    });
    std::printf("\nthe figures read: %.2f ms (cpu %.2f)\n", figures.wall, figures.cpu);
    const Time margins = timeMedian(kRepeat, [&] {
        if (!overview::monthMargins(db, kToday))
            qFatal("read failed");
    });
    std::printf("the months' 毛利 read (after the figures): %.2f ms (cpu %.2f)\n", margins.wall, margins.cpu);

    // From the login (the main window makes the overview) to its figures
    // painted, and on to its months of 毛利 painted.
    std::vector<double> paintedWall, paintedCpu, chartPainted;
    for (int i = 0; i < kRepeat; ++i) {
        const double w0 = nowMs();
        const double c0 = cpuMs();
        auto o = std::make_unique<OverviewWidget>(env.ctx());
        Showings shown(*o);
        o->resize(1130, 620);
        o->show();
        if (!shown.painted())
            qFatal("the overview showed no figures");
        paintedCpu.push_back(cpuMs() - c0);
        paintedWall.push_back(nowMs() - w0);
        if (!shown.marginsPainted())
            qFatal("the overview showed no months of 毛利");
        chartPainted.push_back(nowMs() - w0);
    }
    const Time painted{median(paintedWall), median(paintedCpu)};
    const bool paintedOk = painted.wall < 100;
    std::printf("login to overview painted: %.2f ms (cpu %.2f) %s (goal < 100 ms); its months of 毛利 "
                "painted after %.2f ms\n",
                painted.wall, painted.cpu, verdict(paintedOk), median(chartPainted));
    addGoal(QStringLiteral("login to overview painted / 100 ms"), painted.wall / 100, painted.cpu / 100, 1,
            Judged::Wall);

    // A sale, then the overview's refresh: the window thread's CPU time from
    // the notifier's word to the figures painted (the read runs on its own thread).
    OverviewWidget o(env.ctx());
    Showings shown(o);
    o.resize(1130, 620);
    o.show();
    if (!shown.painted() || !shown.marginsPainted())
        qFatal("the overview showed no figures");
    SaleService service(db);
    std::vector<double> windowThread, painting, wall, marginThread, marginWall;
    int n = 0;
    for (int i = 0; i < kRepeat; ++i) {
        const SaleEntry e = saleEntry(n++);
        const SaleOutcome saved = service.save(e, service.check(e), today);
        if (saved.kind != SaleOutcome::Saved)
            qFatal("sale failed");
        const double w0 = nowMs();
        const double c0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        env.ctx().notifier().changed(saved.written);
        if (!shown.next())
            qFatal("no refresh after a sale");
        const double c1 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        o.repaint();
        const double c2 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        windowThread.push_back(c2 - c0);
        painting.push_back(c2 - c1);
        wall.push_back(nowMs() - w0);
        // The months' 毛利 follow: their own share of the window thread.
        if (!shown.marginsPainted())
            qFatal("no months of 毛利 after a sale");
        marginThread.push_back(cpuMs(CLOCK_THREAD_CPUTIME_ID) - c2);
        marginWall.push_back(nowMs() - w0);
    }
    const double refresh = median(windowThread);
    const bool refreshOk = refresh < 16.7;
    std::printf("refresh after a sale: window thread %.2f ms (of it painting %.2f ms) %s (goal < 16.7 ms); "
                "figures on screen after %.2f ms\n",
                refresh, median(painting), verdict(refreshOk), median(wall));
    std::printf("its months of 毛利 after it: window thread %.2f ms; on screen after %.2f ms\n",
                median(marginThread), median(marginWall));
    addGoal(QStringLiteral("refresh on the window thread / 16.7 ms"), refresh / 16.7, refresh / 16.7, 1);

    // The durable sale (check, save, the word to the open views) with the
    // overview shown and hidden, in turns; the overview's read runs between
    // sales, as it does between a person's.
    std::vector<double> withOverview, without;
    bool missed = false; // a sale was stored while the overview was hidden
    for (int i = 0; i < saves; ++i) {
        const auto sale = [&](bool overviewShown, std::vector<double>& times) {
            shown.clear();
            o.setVisible(overviewShown);
            // Shown again, it reads what it missed before the sale starts.
            if (overviewShown && missed && (!shown.painted() || !shown.marginsPainted()))
                qFatal("no read when shown");
            // A pause before each sale, as between a person's: neither kind
            // starts on the heels of the other's work.
            runLoop(20);
            const SaleEntry e = saleEntry(n++);
            const double s0 = nowMs();
            const SaleOutcome saved = service.save(e, service.check(e), today);
            if (saved.kind != SaleOutcome::Saved)
                qFatal("sale failed");
            env.ctx().notifier().changed(saved.written);
            times.push_back(nowMs() - s0);
            missed = !overviewShown;
            if (overviewShown && (!shown.painted() || !shown.marginsPainted()))
                qFatal("no refresh after a sale");
        };
        if (i % 2) {
            sale(true, withOverview);
            sale(false, without);
        } else {
            sale(false, without);
            sale(true, withOverview);
        }
    }
    const double ratio = median(withOverview) / median(without);
    const bool saleOk = ratio <= 1.05;
    std::printf("durable sale with the overview shown, median %.3f ms; hidden %.3f ms (%d each, in turns)\n",
                median(withOverview), median(without), saves);
    std::printf("sale with overview / without: %.3fx %s (goal 1.05x)\n\n", ratio, verdict(saleOk));
    addGoal(QStringLiteral("sale with overview / without (median)"), ratio, ratio, 1.05);

    return finish();
}

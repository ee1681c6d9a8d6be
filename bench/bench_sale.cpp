// Times a complete save in the business entry window (checks, the one
// transaction of writes, the grid re-read), the sale alone (the service's
// check and save) and the daily total, with small and large tables, and
// prints the figures side by side.
//
//   bench_sale [saves] [rows]   (default 400 saves per size, 1 000 000 rows
//                                 for the large size)
//
// The sale is judged against its floor: the same six writes (history row,
// salse row, stock, stock ledger row, card, card ledger row) in one durable
// transaction, written
// by hand on the engine's own API with nothing read or checked. Sale, floor
// and a durable one-value commit (the disk's least) take turns, so that all
// three meet the same load of a shared machine and the same disk.
#include "ui/record_view.h"
#include "sales/business_window.h"
#include "sales/sale_service.h"
#include "support/test_env.h"
#include "data/card_ledger.h"
#include "data/sale_rows.h"
#include "data/schema.h"
#include "data/stock_ledger.h"

#include "bench_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlDriver>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>

#include <sqlite3.h>

using namespace shop;
using namespace shop::bench;
using shop::test::TestEnv;

namespace {

// The floor of a sale: its six writes, the very statements the sale
// writes, and nothing else (nothing read, checked or built), prepared once on
// the connection's own engine handle.
class FloorSale {
public:
    explicit FloorSale(Database& db)
    {
        const QVariant h = db.handle().driver()->handle();
        if (qstrcmp(h.typeName(), "sqlite3*") != 0 ||
            !(handle_ = *static_cast<sqlite3* const*>(h.constData())))
            qFatal("no engine handle");
        // The sale's own statements: the history row (giving back the key)
        // and the salse row under it, the stock and its ledger row, the card
        // and its ledger row, both naming the sale.
        const QStringList values(schema::columnsOf(schema::salse::kTable).size(), QString());
        const auto sale = sales::appendStatements(db, values);
        stock::Note taken;
        taken.saleSql = sales::keySql(db);
        const auto goods = stock::setStock(db, 1, stock::blankLine(), QString(), stock::Change::Sale, taken);
        cards::Note note;
        note.sale.sql = sales::keySql(db);
        const auto card = cards::setFigures(db, 1, QString(), cards::Change::Charge, {}, {}, note);
        if (sale.size() != 2 || goods.size() != 2 || card.size() != 2)
            qFatal("a sale's statements are not the six writes this floor knows");
        for (const QString& sql :
             {QStringLiteral("BEGIN IMMEDIATE"), sale.at(0).sql, sale.at(1).sql, goods.at(0).statement.sql,
              goods.at(1).statement.sql, card.at(0).statement.sql, card.at(1).statement.sql,
              QStringLiteral("COMMIT")}) {
            sqlite3_stmt* st = nullptr;
            const QByteArray text = sql.toUtf8();
            if (sqlite3_prepare_v3(handle_, text.constData(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) !=
                SQLITE_OK)
                qFatal("prepare failed: %s", sqlite3_errmsg(handle_));
            statements_.push_back(st);
        }
    }
    ~FloorSale()
    {
        for (sqlite3_stmt* st : statements_)
            sqlite3_finalize(st);
    }

    // One sale of goods line `goods` and a service to card `card`.
    void sell(qint64 goods, qint64 card, const QStringList& values, const QString& cardNumber)
    {
        std::vector<QByteArray> texts;
        texts.reserve(48);
        auto bind = [&texts](sqlite3_stmt* st, int i, const QString& v) {
            texts.push_back(v.toUtf8());
            sqlite3_bind_text(st, i, texts.back().constData(), static_cast<int>(texts.back().size()),
                              SQLITE_STATIC);
        };
        sqlite3_stmt* const* st = statements_.data();
        for (int i = 0; i < 13; ++i) {
            bind(st[1], i + 1, values.at(i));
            bind(st[2], i + 1, values.at(i));
        }
        bind(st[3], 1, QStringLiteral("99999999"));
        sqlite3_bind_int64(st[3], 2, goods);
        // Time, code, name, date, kind, stock before and after, quantity,
        // unit cost, cost, login, (the key), reason, line row.
        const QString taken[] = {values.at(0) + QStringLiteral(" 12:00:00"),
                                 values.at(3),
                                 values.at(4),
                                 values.at(7),
                                 QStringLiteral("销售"),
                                 QStringLiteral("100000000"),
                                 QStringLiteral("99999999"),
                                 QStringLiteral("-1"),
                                 QStringLiteral("2"),
                                 QStringLiteral("2"),
                                 QStringLiteral("clerk"),
                                 QString(),
                                 QString::number(goods)};
        for (int i = 0; i < 13; ++i)
            bind(st[4], i + 1, taken[i]);
        // A card of value keeps money, a card of uses its uses (as built).
        const bool value = (card - 1) % 2 == 0;
        const QString balance = value ? QStringLiteral("999999970") : QStringLiteral("0");
        const QString uses = value ? QStringLiteral("0") : QStringLiteral("99999999");
        bind(st[5], 1, balance);
        bind(st[5], 2, uses);
        sqlite3_bind_int64(st[5], 3, card);
        // Time, card, kind, amount and uses before and after, money
        // received, login, handler, (the key), remark, card row.
        const QString ledger[] = {values.at(0) + QStringLiteral(" 12:00:00"),
                                  cardNumber,
                                  QStringLiteral("消费"),
                                  balance,
                                  balance,
                                  uses,
                                  uses,
                                  QString(),
                                  QStringLiteral("clerk"),
                                  values.at(10),
                                  QString(),
                                  QString::number(card)};
        for (int i = 0; i < 12; ++i)
            bind(st[6], i + 1, ledger[i]);
        for (sqlite3_stmt* s : statements_) {
            int rc = sqlite3_step(s);
            while (rc == SQLITE_ROW) // the key given back
                rc = sqlite3_step(s);
            if (rc != SQLITE_DONE)
                qFatal("floor sale failed: %s", sqlite3_errmsg(handle_));
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    }

private:
    sqlite3* handle_ = nullptr;
    std::vector<sqlite3_stmt*> statements_;
};

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
    // The floor: the sale's six writes alone, written by hand.
    double floorMedian = 0;
    double floorP99 = 0;
    double floorCpuMedian = 0;
    double turnRatio = 0; // median of the turns' sale / floor
    qint64 salePages = 0, floorPages = 0, commitPages = 0;
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
    // The sale alone, as the window runs it (check, then save), its floor
    // and the one-value commit in turns, the sale and the floor taking turns
    // at going first, so that neither gains from the other's warm cache.
    {
        SaleService service(env.db());
        FloorSale floorSale(env.db());
        std::vector<double> sales, saleCpu, floors, floorCpu, commits, ratios;
        for (int i = 0; i < saves; ++i) {
            const SaleEntry e = randomSale();
            auto sale = [&] {
                QElapsedTimer one;
                const double c0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
                one.start();
                const SaleOutcome c = service.check(e);
                const SaleOutcome saved = service.save(e, c, env.ctx().today());
                sales.push_back(one.nsecsElapsed() / 1e6);
                saleCpu.push_back(cpuMs(CLOCK_THREAD_CPUTIME_ID) - c0);
                if (saved.kind != SaleOutcome::Saved)
                    qFatal("sale %d not saved: %d %s", i, static_cast<int>(saved.refusal),
                           qPrintable(saved.error));
            };
            const SaleEntry byHand = randomSale();
            const qint64 goodsRow = rng.bounded(s.goods) + 1;
            const qint64 cardRow = rng.bounded(s.cards) + 1;
            auto floorOne = [&] {
                QElapsedTimer one;
                const double c0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
                one.start();
                floorSale.sell(goodsRow, cardRow, SaleService::values(byHand, env.ctx().today()),
                               cardNumber(static_cast<int>(cardRow - 1)));
                floors.push_back(one.nsecsElapsed() / 1e6);
                floorCpu.push_back(cpuMs(CLOCK_THREAD_CPUTIME_ID) - c0);
            };
            if (i % 2) {
                sale();
                floorOne();
            } else {
                floorOne();
                sale();
            }
            ratios.push_back(sales.back() / qMax(0.001, floors.back()));
            commits.push_back(oneValueCommit(env.db(), i));
            floor.push_back(commits.back());
        }
        f.saleMedian = percentile(sales, 0.5);
        f.saleCommitMedian = percentile(commits, 0.5);
        f.saleCommitP99 = percentile(commits, 0.99);
        f.saleP99 = percentile(sales, 0.99);
        f.saleCpuMedian = percentile(saleCpu, 0.5);
        f.floorMedian = percentile(floors, 0.5);
        f.floorP99 = percentile(floors, 0.99);
        f.floorCpuMedian = percentile(floorCpu, 0.5);
        f.turnRatio = percentile(ratios, 0.5);
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
    }
    // Pages each durable write puts into the log, from the log's size after
    // emptying it: the disk's share of a sale beside the floor's and the
    // commit's.
    {
        SaleService service(env.db());
        FloorSale floorSale(env.db());
        const QString wal = env.db().path() + QStringLiteral("-wal");
        auto pagesOf = [&](const std::function<void()>& write) {
            env.db().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            write();
            constexpr qint64 kHeader = 32, kFrame = 24 + 4096;
            return (QFileInfo(wal).size() - kHeader) / kFrame;
        };
        const SaleEntry e = randomSale();
        f.salePages = pagesOf([&] { service.save(e, service.check(e), env.ctx().today()); });
        f.floorPages =
            pagesOf([&] { floorSale.sell(1, 1, SaleService::values(e, env.ctx().today()), cardNumber(0)); });
        f.commitPages = pagesOf([&] { oneValueCommit(env.db(), 0); });
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
    line("floor (six writes), median", a->floorMedian, b->floorMedian);
    line("floor, 99th percentile", a->floorP99, b->floorP99);
    line("floor CPU time, median", a->floorCpuMedian, b->floorCpuMedian);
    line("daily total, median", a->totalMedian, b->totalMedian);
    line("one-value commit, median", a->commitFloor, b->commitFloor);
    line("commit beside sales, median", a->saleCommitMedian, b->saleCommitMedian);
    line("commit beside sales, p99", a->saleCommitP99, b->saleCommitP99);
    std::printf("%-26s %14lld %16lld\n", "rows dated today", static_cast<long long>(a->totalRows),
                static_cast<long long>(b->totalRows));
    std::printf(
        "%-26s %14s %16s\n", "pages to the log",
        qPrintable(QStringLiteral("%1 / %2 / %3").arg(a->salePages).arg(a->floorPages).arg(a->commitPages)),
        qPrintable(QStringLiteral("%1 / %2 / %3").arg(b->salePages).arg(b->floorPages).arg(b->commitPages)));
    std::printf("%-26s %12.1f s %14.1f s\n", "building the tables", a->buildSeconds, b->buildSeconds);
    std::printf("\n(the floor is the sale's six writes in one durable transaction, written by hand; pages: "
                "sale / floor / one-value commit; sale, floor and commit took turns)\n\n");
    for (const auto* f : {&*a, &*b}) {
        const QString size = QLatin1String(f == &*a ? small.label : large.label);
        std::printf("%s: sale / floor %.2fx (median of the turns' ratios %.2fx; cpu %.2fx); sale / one-value "
                    "commit %.2fx; the window's save %.3f ms, %.3f ms over the floor\n",
                    qPrintable(size), f->saleMedian / qMax(0.001, f->floorMedian), f->turnRatio,
                    f->saleCpuMedian / qMax(0.001, f->floorCpuMedian),
                    f->saleMedian / qMax(0.001, f->saleCommitMedian), f->saveMedian,
                    f->saveMedian - f->floorMedian);
        addLimit(QStringLiteral("durable sale / its floor, median, %1").arg(size),
                 f->saleMedian / qMax(0.001, f->floorMedian), 1.15, "x");
        // The window's own work (check, confirmation, grid re-read) beside
        // the writes every sale waits for.
        addLimit(QStringLiteral("save in the window over the floor, median, %1").arg(size),
                 f->saveMedian - f->floorMedian, 2, " ms");
    }
    return finish();
}

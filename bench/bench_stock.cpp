// Goods windows over large tables: 100 000 goods lines in `jinhuo` and
// 100 000 purchases in `jinhuo_history`. Times every search, the zero-stock
// list and every header sort of the purchase tab, the stock query and the
// purchase history, as a person starts them (button, menu item, header
// click, with the grid shown), beside the sqlite3 shell running the
// statement the grid ran on the same file.
//
// Usage: bench_stock [rows]   (default 100000 in each table)
// Environment: SQLITE3_SHELL (default /usr/bin/sqlite3), BENCH_REPEAT (default 5).

#include "ui/record_view.h"
#include "stock/purchase_history_window.h"
#include "stock/stock_query_window.h"
#include "stock/purchase_tab.h"
#include "data/schema.h"
#include "support/test_env.h"

#include "bench_support.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QSqlError>
#include <QSqlQuery>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>
#include <random>
#include <vector>

using namespace shop;
using namespace shop::bench;

namespace {

// Turns of the window and the shell per operation.
const int kTurns = 3;

int repeatCount()
{
    const int n = qEnvironmentVariableIntValue("BENCH_REPEAT");
    return n > 0 ? n : 5;
}

// ---------------------------------------------------------------- data

const QStringList kWords = {"可乐",   "雪碧", "绿茶", "红茶", "矿泉水", "洗发水", "护发素", "面膜",
                            "沐浴露", "牙膏", "香皂", "毛巾", "染发膏", "发胶",   "啫喱",   "精油"};
const QStringList kSuppliers = {"华南日化", "东方饮料", "北方贸易", "联合百货", "新星批发", "长城商行"};

// Fills both goods tables: names made of a word and a number, codes
// unique per line, prices and stock as the purchase tab writes them, about
// 1% of the lines sold out ("0"), purchase dates over three years.
bool fill(Database& db, int rows)
{
    Database::Transaction tx(db);
    if (!tx.active())
        return false;
    std::mt19937 rng(7);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const QDate first(2024, 1, 1);
    for (const char* table : {"jinhuo", "jinhuo_history"}) {
        QSqlQuery q(db.handle());
        q.prepare(QStringLiteral("INSERT INTO %1 VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                      .arg(quoteIdent(QString::fromLatin1(table))));
        QVariantList cols[10];
        for (int i = 0; i < rows; ++i) {
            const QString word = kWords.at(pick(kWords.size()));
            cols[0] << word + QString::number(pick(5000));
            cols[1] << QStringLiteral("P%1").arg(i, 6, 10, QLatin1Char('0'));
            cols[2] << QStringLiteral("%1ml").arg(100 * (1 + pick(10)));
            cols[3] << QString::number(6 * (1 + pick(8)));
            const int price = 100 + pick(9900);
            cols[4] << QString::number(price / 100.0);
            cols[5] << QString::number(price * 1.4 / 100.0, 'f', 1);
            cols[6] << (pick(100) == 0 ? QStringLiteral("0") : QString::number(1 + pick(500)));
            cols[7] << kSuppliers.at(pick(kSuppliers.size()));
            cols[8] << first.addDays(pick(3 * 365)).toString(QStringLiteral("yyyy-MM-dd"));
            cols[9] << (pick(4) == 0 ? QStringLiteral("促销") : QStringLiteral(""));
        }
        for (const QVariantList& c : cols)
            q.addBindValue(c);
        if (!q.execBatch()) {
            std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
            return false;
        }
    }
    return tx.commit().ok;
}

// ---------------------------------------------------------------- the windows

struct Step {
    QString name;
    RecordView* grid = nullptr;
    std::function<void()> run;
};

// The grid's first page in pinyin order beside the same statement sorting
// the text in its stored (code point) order, as the grid sorted before, on
// the program's connection, with the plan of each. Where the pinyin order has
// an index, the code point order no longer has one: compare the window's
// figure with a run of the earlier program instead.
void comparePinyin(Database& db, const RecordSource& source, const QStringList& columns)
{
    const int repeat = repeatCount();
    auto timed = [&](TextOrder order, QStringList* plan) {
        QVariantList binds;
        const QString sql = modelSql(source, columns, 256, &binds, false, order);
        *plan = queryPlan(db, sql, binds);
        return timeMedian(repeat, [&] {
            if (!db.selectKeyedTexts(sql, binds, [](qint64, const Database::TextRow&) { return true; }))
                qFatal("statement failed: %s", qPrintable(sql));
        });
    };
    // Three turns each, alternating, so both meet the same load; the median turn.
    QStringList pinyinPlan, storedPlan;
    std::vector<double> stored, pinyin;
    for (int turn = 0; turn < 3; ++turn) {
        stored.push_back(timed(TextOrder::Shell, &storedPlan).cpu);
        pinyin.push_back(timed(TextOrder::Program, &pinyinPlan).cpu);
    }
    const double s = median(stored), p = median(pinyin);
    std::printf("    first page in pinyin order cpu %.2f ms (%s) | in code point order cpu %.2f ms (%s) | "
                "%.2fx\n",
                p, qPrintable(pinyinPlan.join(QStringLiteral("; "))), s,
                qPrintable(storedPlan.join(QStringLiteral("; "))), p / qMax(0.001, s));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const int repeat = repeatCount();
    if (rows <= 0) {
        std::fprintf(stderr, "usage: bench_stock [rows]\n");
        return 2;
    }
    if (!QFileInfo(shellPath()).isExecutable()) {
        std::fprintf(stderr, "no sqlite3 shell at %s (set SQLITE3_SHELL)\n", qPrintable(shellPath()));
        return 2;
    }

    test::TestEnv env;
    QElapsedTimer fillTimer;
    fillTimer.start();
    if (!fill(env.db(), rows)) {
        std::fprintf(stderr, "cannot fill the goods tables\n");
        return 1;
    }
    env.db().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    std::printf(
        "bench_stock: %d goods lines and %d purchases (filled in %.1f s); view runs %d a turn, %d turns\n",
        rows, rows, fillTimer.elapsed() / 1000.0, repeat, kTurns);
    std::printf("shell %s, platform %s\n", qPrintable(shellPath()),
                qPrintable(QGuiApplication::platformName()));

    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    auto* tab = new PurchaseTab(env.ctx(), &host);
    layout->addWidget(tab);
    host.resize(1200, 700);
    host.show();
    StockQueryWindow stock(env.ctx());
    stock.show();
    PurchaseHistoryWindow history(env.ctx());
    history.show();
    QApplication::processEvents();

    // Searches find a fraction of the rows (the grid's first page fills
    // from the first hits; the shell prints every hit).
    auto search = [&env](BrowserWindow* w, const char* item, const QString& answer) {
        return [&env, w, item, answer] {
            env.messages().answerInput(answer);
            w->item(QString::fromLatin1(item))->trigger();
        };
    };
    auto header = [](RecordView* grid, int index) { return [grid, index] { grid->sortByHeader(index); }; };
    const QStringList goodsColumns = schema::columnsOf(QStringLiteral("jinhuo"));

    std::vector<Step> steps;
    steps.push_back({"purchase tab: find by name 可乐", tab->grid(), [&env, tab] {
                         env.messages().answerInput(QStringLiteral("可乐"));
                         tab->findByName();
                     }});
    for (int i = 0; i < 10; ++i)
        steps.push_back({QStringLiteral("purchase tab: sort by %1").arg(goodsColumns.at(i)), tab->grid(),
                         header(tab->grid(), i)});
    steps.push_back(
        {"stock query: name 洗发", stock.grid(), search(&stock, "s_name", QStringLiteral("洗发"))});
    steps.push_back(
        {"stock query: date 2025-06", stock.grid(), search(&stock, "s_date", QStringLiteral("2025-06"))});
    steps.push_back({"stock query: code 0999 (few hits)", stock.grid(),
                     search(&stock, "s_code", QStringLiteral("0999"))});
    steps.push_back({"stock query: zero-stock list", stock.grid(),
                     [&stock] { stock.item(QStringLiteral("s_quantily"))->trigger(); }});
    for (int i : {0, 1, 4, 5, 6, 7, 8})
        steps.push_back({QStringLiteral("stock query: sort by %1").arg(goodsColumns.at(i)), stock.grid(),
                         header(stock.grid(), i)});
    const struct {
        const char* item;
        const char* label;
        const char* answer;
    } historySearches[] = {
        {"s_name", "name", "面膜"},           {"s_code", "code", "1234"},
        {"s_price", "purchase price", "9.9"}, {"s_salse", "retail price", ".5"},
        {"s_quantily", "quantity", "45"},     {"s_suplier", "supplier", "联合"},
        {"s_date", "date", "2024-12"},
    };
    for (const auto& s : historySearches)
        steps.push_back(
            {QStringLiteral("history: %1 %2").arg(QString::fromLatin1(s.label), QString::fromUtf8(s.answer)),
             history.grid(), search(&history, s.item, QString::fromUtf8(s.answer))});
    for (int i : {0, 1, 4, 5, 6, 7, 8})
        steps.push_back({QStringLiteral("history: sort by %1").arg(goodsColumns.at(i)), history.grid(),
                         header(history.grid(), i)});

    const QString path = env.db().path();
    std::printf("%-44s %9s %9s %9s | %11s %11s | %9s %9s\n", "operation (grid shown)", "window ms", "cpu ms",
                "rows", "shell all", "shell page", "/ all", "/ page");

    int misses = 0;
    for (const Step& s : steps) {
        s.run(); // warm the page cache
        QApplication::processEvents();
        const RecordSource source = s.grid->source();
        const QStringList columns = s.grid->records()->columnNames();
        QVariantList b1, b2;
        const QString allSql = modelSql(source, columns, 0, &b1, true);
        const QString pageSql = modelSql(source, columns, 256, &b2, true);
        // The window's operation and the shell's warm runs, in turns.
        Time page;
        const Versus v = inTurns(
            kTurns,
            [&] {
                return timeMedian(repeat, [&] {
                    s.run();
                    QApplication::processEvents(); // paint the first screen
                });
            },
            [&](const Time&) {
                page = warmShell(path, pageSql, b2);
                return warmShell(path, allSql, b1);
            });
        if (!env.messages().texts().isEmpty()) {
            std::printf("  ! %s showed: %s\n", qPrintable(s.name),
                        qPrintable(env.messages().texts().join(" / ")));
            env.messages().clear();
        }
        const bool met =
            addGoal(s.name + QStringLiteral(" / shell, whole result"), v.wallRatio, v.cpuRatio, 1.5);
        misses += met ? 0 : 1;
        std::printf("%-44s %9.2f %9.2f %9lld | %9.2fms %9.2fms | %8.2fx %8.2fx %s\n", qPrintable(s.name),
                    v.ours.wall, v.ours.cpu, static_cast<long long>(s.grid->records()->count()),
                    v.anchor.wall, page.wall, v.cpuRatio, v.ours.cpu / page.cpu, verdict(met));
        if (!source.order.isEmpty() && schema::sortsInPinyin(source.order.first().column))
            comparePinyin(env.db(), source, columns);
    }
    std::printf(
        "\n\"/ all\": the window's operation (query, first page, first screen painted) against the shell\n"
        "running the same statement and printing its whole result (to /dev/null), warm (many runs in one\n"
        "shell), in %d turns; CPU time, goal <= 1.5. \"/ page\": against the shell running the grid's first\n"
        "page (LIMIT 256) only, for information.\n",
        kTurns);
    std::printf("goal within 1.5x: %d of %zu operations %s\n", static_cast<int>(steps.size()) - misses,
                steps.size(), misses == 0 ? "PASS" : "(some MISS)");
    return finish();
}

// The salary window over a large `salse` table (twenty employees): "确定(&C)"
// for one employee over one month (the business grid shown and the
// commission total computed) and "选择/统计" for one service item in that
// month, each beside the sqlite3 shell selecting the same rows' figures on
// the same file. Calling the employee up (all of the employee's business in
// the grid) is timed too, for information.
//
// Usage: bench_salary [rows]   (default 1000000)
// Environment: SQLITE3_SHELL (default /usr/bin/sqlite3), BENCH_REPEAT (default 7).
//
// For each step (medians, wall and CPU time):
//   window  the button pressed as a person does, events processed and the
//           window painted
//   query   the step's statements alone, as the window runs them: the total
//           (one pass, which also gives the rows' keys) and the grid's first
//           page read by those keys through the record model
//   shell   the same statements run by the shell, and the shell selecting
//           the figures the step totals, many times in one shell (warm: its
//           start and first reads not counted)
// Window, statements and shell take turns. The goal (the step's statements
// within 1.5x of the shell running them) is judged on CPU time, the steadier
// figure on a shared machine; the window's click is judged by
// bench_click_paint (the window thread's CPU).

#include "data/money.h"
#include "staff/salary_service.h"
#include "staff/salary_window.h"
#include "support/test_env.h"
#include "ui/record_view.h"

#include "bench_support.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>

#include <cstdio>
#include <functional>
#include <random>

using namespace shop;
using namespace shop::bench;
using shop::test::TestEnv;

namespace {

const int kRepeat = benchRepeat(7);
// Turns of the window and the shell per step.
const int kTurns = 5;
const QStringList kEmployees = twentyEmployees();
const QStringList kServices = {"洗剪吹",   "烫发", "染发", "焗油", "头皮护理",
                               "面部护理", "足疗", "按摩", "修眉", "盘发"};

// `rows` transactions in business order over six years (about 460 a day),
// four in ten services, each by one of twenty employees, with a commission
// of a tenth of the amount received; and the twenty employees in `worker`.
void fill(Database& db, int rows)
{
    std::mt19937 rng(20261207);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const QDate start(2021, 1, 1);
    const qint64 span = start.daysTo(QDate(2026, 12, 6));

    QSqlQuery q(db.handle());
    if (!q.prepare(QStringLiteral("INSERT INTO salse VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        qFatal("prepare failed");
    Database::Transaction tx(db);
    for (int i = 0; i < rows; ++i) {
        const bool service = pick(10) < 4;
        const double paid = service ? 30 + 10 * pick(20) : (18 + pick(40) * 4.5) * (1 + pick(5));
        const QString values[13] = {
            dateText(start.addDays(span * i / qMax(1, rows))),
            service ? QStringLiteral("服务") : QStringLiteral("销售"),
            pick(10) < 7 ? QStringLiteral("8%1").arg(pick(10000000), 7, 10, QChar(u'0')) : QString(),
            service ? QString() : QStringLiteral("P%1").arg(10000 + pick(1000)),
            service ? QString() : QStringLiteral("洗发水"),
            QString::number(1 + pick(5)),
            QString::number(18 + pick(40) * 4.5, 'f', 2),
            QString(),
            QString::number(paid, 'f', 2),
            service ? kServices.at(pick(kServices.size())) : QString(),
            kEmployees.at(pick(kEmployees.size())),
            QString(),
            QString::number(paid * 0.1, 'f', 2),
        };
        for (int c = 0; c < 13; ++c)
            q.bindValue(c, textValue(values[c]));
        if (!q.exec())
            qFatal("insert failed at row %d", i);
    }
    q.finish();
    for (int i = 0; i < kEmployees.size(); ++i)
        if (!db.exec(
                QStringLiteral("INSERT INTO worker VALUES (?, '女', '', '', '', '', '', ?, '', '', ?, '')"),
                {kEmployees.at(i), QString::number(1500 + 100 * i), QStringLiteral("ID%1").arg(i)}))
            qFatal("worker insert failed");
    if (!tx.commit())
        qFatal("commit failed");
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

// One step of the window: what it is called, what a person does (the
// window's part), what it reads (the grid's source and its total), the
// statement the shell runs for the goal, and whether it has a goal.
struct Step {
    QString name;
    std::function<void()> press;
    RecordSource source;
    std::function<qint64(QVector<qint64>*)> total; // the step's total pass; returns its row count
    QString totalColumns;                          // the columns it reads, for the shell
    QString shellColumns;                          // the figures the shell selects for the goal
    bool goal = true;
};

void run(TestEnv& env, RecordModel& model, const Step& step)
{
    Database& db = env.db();
    const QString path = env.ctx().paths().businessDb();

    // The shell: the figures the step totals, and the step's own statements.
    QVariantList binds;
    const QString where = step.source.whereSql(&binds);
    const QString figures =
        inlined(QStringLiteral("SELECT %1 FROM salse%2").arg(step.shellColumns, where), binds);
    const QString pageSql =
        inlined(QStringLiteral("SELECT rowid, * FROM salse%1 ORDER BY rowid LIMIT 64").arg(where), binds);
    const QString totalSql = inlined(
        QStringLiteral("SELECT rowid, %1 FROM salse%2 ORDER BY rowid").arg(step.totalColumns, where), binds);

    // The window (the button pressed, then the events and the painting),
    // the step's statements alone (the total, then the grid's first page by
    // its keys) and the shell's warm runs of the same statements and of the
    // figures, in turns.
    const QString ownSql = step.total ? pageSql + ";\n" + totalSql : pageSql;
    std::vector<double> clickW, clickC, paintW, paintC, allW, allC, queryW, queryC, totalW, totalC, pageW,
        pageC, ownW, ownC, figW, figC, ratioW, ratioC;
    qint64 rows = 0;
    for (int turn = 0; turn < kTurns; ++turn) {
        std::vector<double> turnW, turnC;
        for (int i = 0; i < kRepeat; ++i) {
            const double w0 = nowMs(), c0 = cpuMs();
            step.press();
            const double w1 = nowMs(), c1 = cpuMs();
            settle();
            const double w2 = nowMs(), c2 = cpuMs();
            clickW.push_back(w1 - w0);
            clickC.push_back(c1 - c0);
            paintW.push_back(w2 - w1);
            paintC.push_back(c2 - c1);
            turnW.push_back(w2 - w0);
            turnC.push_back(c2 - c0);
        }
        allW.push_back(median(turnW));
        allC.push_back(median(turnC));
        QVector<qint64> keys;
        const Time total = step.total ? timeMedian(kRepeat, [&] { rows = step.total(&keys); }) : Time{};
        const Time page = timeMedian(kRepeat, [&] {
            if (step.total)
                model.setSource(step.source, keys);
            else
                model.setSource(step.source);
        });
        totalW.push_back(total.wall);
        totalC.push_back(total.cpu);
        pageW.push_back(page.wall);
        pageC.push_back(page.cpu);
        queryW.push_back(total.wall + page.wall);
        queryC.push_back(total.cpu + page.cpu);
        const Time own = warmShell(path, ownSql, {});
        ownW.push_back(own.wall);
        ownC.push_back(own.cpu);
        ratioW.push_back(queryW.back() / own.wall);
        ratioC.push_back(queryC.back() / own.cpu);
        if (step.goal) {
            const Time fig = warmShell(path, figures, {});
            figW.push_back(fig.wall);
            figC.push_back(fig.cpu);
        }
    }
    const Time window{median(allW), median(allC)};
    const Time query{median(queryW), median(queryC)};
    const Time own{median(ownW), median(ownC)};

    std::printf("%s (%lld rows totalled)\n", qPrintable(step.name), static_cast<long long>(rows));
    std::printf("    window %7.3f ms (cpu %7.3f): click %7.3f (cpu %7.3f), then events and painting %7.3f "
                "(cpu %7.3f)\n",
                window.wall, window.cpu, median(clickW), median(clickC), median(paintW), median(paintC));
    std::printf("    query  %7.3f ms (cpu %7.3f): grid page %7.3f (cpu %7.3f), total %7.3f (cpu %7.3f)\n",
                query.wall, query.cpu, median(pageW), median(pageC), median(totalW), median(totalC));
    std::printf(
        "    shell (warm), the step's own statements (grid page, total): %7.3f ms (cpu %7.3f) per run; "
        "query / these, medians of %d turns' ratios: wall %.2fx, cpu %.2fx\n",
        own.wall, own.cpu, kTurns, median(ratioW), median(ratioC));
    for (const QString& p : queryPlan(db, pageSql) + queryPlan(db, totalSql))
        std::printf("    plan: %s\n", qPrintable(p));
    if (step.goal) {
        const Time fig{median(figW), median(figC)};
        std::printf("    shell, the figures: %s\n", qPrintable(figures));
        std::printf(
            "    shell (warm), the figures: %7.3f ms (cpu %7.3f) per run; window / these: wall %.2fx, cpu "
            "%.2fx (information: the window also lays out and paints; its click is judged by "
            "bench_click_paint)\n",
            fig.wall, fig.cpu, window.wall / fig.wall, window.cpu / fig.cpu);
        addGoal(QStringLiteral("%1: the step's statements / the shell running them").arg(step.name),
                median(ratioW), median(ratioC), 1.5);
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;

    TestEnv env;
    Database& db = env.db();
    const double t0 = nowMs();
    fill(db, rows);
    std::printf("%d transactions of %lld employees written in %.1f s (%s)\n\n", rows,
                static_cast<long long>(kEmployees.size()), (nowMs() - t0) / 1000,
                qPrintable(env.ctx().paths().businessDb()));

    const QString employee = QStringLiteral("李娜");
    const QString from = QStringLiteral("2026-10-01");
    const QString to = QStringLiteral("2026-10-31");
    const QString item = QStringLiteral("烫发");

    SalaryWindow w(env.ctx());
    w.resize(1000, 720);
    w.show();
    settle();
    w.findChild<QComboBox*>(QStringLiteral("com_name"))->setEditText(employee);
    w.findChild<QLineEdit*>(QStringLiteral("txt_from"))->setText(from);
    w.findChild<QLineEdit*>(QStringLiteral("txt_to"))->setText(to);
    w.findChild<QLineEdit*>(QStringLiteral("txt_item"))->setText(item);
    auto* ok = w.findChild<QPushButton*>(QStringLiteral("cmd_ok"));
    auto* select = w.findChild<QPushButton*>(QStringLiteral("cmd_select"));
    // Pages of 64 rows, as the window's business grid reads them.
    RecordModel model(db);
    model.setPageSize(64);

    const RecordSource period = SalaryService::periodBusiness(employee, from, to);
    run(env, model,
        {QStringLiteral("确定(&C): %1, %2 to %3").arg(employee, from, to), [ok] { ok->click(); }, period,
         [&](QVector<qint64>* keys) { return money::commissionIn(db, period, keys)->rows; },
         QStringLiteral("提成金额"), QStringLiteral("提成金额")});
    std::printf("    txt_ti_je: %s\n",
                qPrintable(w.findChild<QLineEdit*>(QStringLiteral("txt_ti_je"))->text()));

    const RecordSource itemSource = SalaryService::itemBusiness(employee, from, to, item);
    run(env, model,
        {QStringLiteral("选择/统计: %1, %2").arg(employee, item),
         [&] {
             select->click();
             env.messages().clear();
         },
         itemSource,
         [&](QVector<qint64>* keys) { return money::salesIn(db, itemSource, keys)->received.rows; },
         QStringLiteral("实收金额, 提成金额"), QStringLiteral("实收金额, 提成金额")});
    select->click();
    std::printf("    said: %s\n", qPrintable(env.messages().texts().value(0)));

    // Information: the employee called up shows every transaction of the
    // employee (the first page of a twentieth of the table).
    const RecordSource all = SalaryService::employeeBusiness(employee);
    run(env, model,
        {QStringLiteral("employee chosen: every transaction of %1").arg(employee),
         [&] { w.salesGrid()->setSource(all); },
         all,
         {},
         {},
         {},
         false});

    return finish();
}

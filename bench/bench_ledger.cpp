// The ledger's period total over 100 000 entries of one year: the sums alone
// (one pass over the period's rows), the 统计 button as a person presses it
// (grid set to the period, sums, message), beside the sqlite3 shell selecting
// the two amount columns of the same period.
//
// Usage: bench_ledger [entries]   (default 100000)
// Environment: SQLITE3_SHELL (default /usr/bin/sqlite3), BENCH_REPEAT (default 7).

#include "staff/ledger_tab.h"
#include "support/test_env.h"

#include "data/money.h"

#include "bench_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>

#include <cstdio>
#include <functional>
#include <random>
#include <vector>

using namespace shop;
using namespace shop::bench;
using shop::test::TestEnv;

namespace {

const int kRepeat = benchRepeat(7);
// Turns of the sums and the shell.
const int kTurns = 5;

void fill(Database& db, int entries)
{
    std::mt19937 rng(20261207);
    const QStringList matters = {"房租", "水电", "进货款", "工资", "杂费", "营业收入", "会员充值"};
    QSqlQuery q(db.handle());
    if (!q.prepare(QStringLiteral("INSERT INTO shouzhi VALUES (?, ?, ?, ?, ?)")))
        qFatal("prepare failed");
    Database::Transaction tx(db);
    const QDate start(2026, 1, 1);
    for (int i = 0; i < entries; ++i) {
        const bool expense = rng() % 2;
        const QString amount = QString::number((rng() % 100000) / 10.0);
        q.bindValue(0, start.addDays(i * 365LL / entries).toString(QStringLiteral("yyyy-MM-dd")));
        q.bindValue(1, matters.at(static_cast<int>(rng() % matters.size())));
        q.bindValue(2, expense ? amount : QStringLiteral("0"));
        q.bindValue(3, expense ? QStringLiteral("0") : amount);
        q.bindValue(4, rng() % 10 == 0 ? QStringLiteral("备注") : QStringLiteral(""));
        if (!q.exec())
            qFatal("insert failed");
    }
    q.finish();
    if (!tx.commit())
        qFatal("commit failed");
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int entries = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;

    TestEnv env;
    fill(env.db(), entries);
    const QString dbPath = env.ctx().paths().businessDb();
    std::printf("%d ledger entries over 2026 (%s)\n\n", entries, qPrintable(dbPath));

    QWidget holder;
    auto* tab = new LedgerTab(env.ctx(), &holder);
    holder.show();
    QCoreApplication::processEvents();
    const QStringList columns = env.db().columns(QStringLiteral("shouzhi"));

    const struct {
        const char* name;
        const char* from;
        const char* to;
    } periods[] = {{"one month", "2026-06-01", "2026-06-30"}, {"the whole year", "2026-01-01", "2026-12-31"}};
    for (const auto& p : periods) {
        const RecordSource period = RecordSource::all(QStringLiteral("shouzhi"))
                                        .filter(QStringLiteral("日期"), Op::Ge, QString::fromLatin1(p.from))
                                        .filter(QStringLiteral("日期"), Op::Le, QString::fromLatin1(p.to));
        const auto sums = [&] {
            if (!money::cashIn(env.db(), period))
                qFatal("sum failed");
        };
        // The engine's part alone: the same rows read without any work per row.
        const Time read = timeMedian(kRepeat, [&] {
            QVariantList b;
            const QString q =
                QStringLiteral("SELECT rowid, %1, %2 FROM shouzhi%3")
                    .arg(quoteIdent(columns.at(2)), quoteIdent(columns.at(3)), period.whereSql(&b));
            env.db().selectKeyedTexts(q, b, [](qint64, const Database::TextRow&) { return true; });
        });
        std::printf("rows of %s read with no work per row: %8.2f ms (cpu %8.2f)\n", p.name, read.wall,
                    read.cpu);
        const Time button = timeMedian(kRepeat, [&] {
            tab->findChild<QLineEdit*>(QStringLiteral("txt_from"))->setText(QString::fromLatin1(p.from));
            tab->findChild<QLineEdit*>(QStringLiteral("txt_to"))->setText(QString::fromLatin1(p.to));
            tab->findChild<QPushButton*>(QStringLiteral("cmd_shou_count"))->click();
            QCoreApplication::processEvents();
        });
        // The same statement for the shell, its two values bound as @p1, @p2.
        QVariantList binds;
        const QString sql =
            QStringLiteral("SELECT %1, %2 FROM shouzhi%3")
                .arg(quoteIdent(columns.at(2)), quoteIdent(columns.at(3)), period.whereSql(&binds));
        QString numbered;
        int n = 0;
        for (QChar c : sql)
            numbered += c == u'?' ? QStringLiteral("@p%1").arg(++n) : QString(c);
        std::printf("    shell runs: %s\n", qPrintable(numbered));
        // The sums and the shell's warm runs of the statement, in turns.
        const Versus v = inTurns(
            kTurns, [&] { return timeMedian(kRepeat, sums); },
            [&](const Time&) { return warmShell(dbPath, numbered, binds); });
        std::printf("period total, %s (%s .. %s)\n", p.name, p.from, p.to);
        std::printf("    sums %8.2f ms (cpu %8.2f)   统计 button %8.2f ms (cpu %8.2f)   shell, warm %8.2f ms "
                    "(cpu %8.2f)\n",
                    v.ours.wall, v.ours.cpu, button.wall, button.cpu, v.anchor.wall, v.anchor.cpu);
        std::printf(
            "    sums / shell: wall %5.2fx, cpu %5.2fx  %s (goal 1.5x)   button / shell: wall %5.2fx\n",
            v.wallRatio, v.cpuRatio, verdict(v.cpuRatio <= 1.5), button.wall / v.anchor.wall);
        addGoal(QStringLiteral("period total, %1: sums / shell").arg(QLatin1String(p.name)), v.wallRatio,
                v.cpuRatio, 1.5);
        std::fflush(stdout);
    }
    env.messages().clear();
    return finish();
}

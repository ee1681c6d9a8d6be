// Emptying `salse` from the data deletion window over a large table: the
// backup of both database files that comes first, then the one-statement
// delete inside its transaction, as a person triggers it (entry chosen,
// delete pressed, Yes). Beside it, on identical copies of the same files:
// the sqlite3 shell running a bare DELETE, the program's backup on its own,
// and the shell writing the same backup (VACUUM INTO of both files).
//
// Usage: bench_deletion [rows]   (default 1000000)
// Environment: SQLITE3_SHELL (default /usr/bin/sqlite3), BENCH_REPEAT (default 3).
//
// `salse_history` holds the same rows as `salse` (every sale writes both), so
// the backup copies both; the delete leaves it as it is.

#include "admin/data_deletion.h"
#include "admin/data_deletion_window.h"
#include "data/backup_files.h"
#include "data/program_paths.h"
#include "data/schema.h"
#include "support/test_env.h"
#include "ui/app_context.h"

#include "bench_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>
#include <random>
#include <vector>

using namespace shop;
using namespace shop::bench;

namespace {

const int kRepeat = benchRepeat(3);
const QDateTime kNow(QDate(2026, 12, 7), QTime(10, 0, 0));

Time medianOf(const std::vector<Time>& runs)
{
    std::vector<double> wall, cpu;
    for (const Time& t : runs) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    return {median(wall), median(cpu)};
}

// ---------------------------------------------------------------- data

// `rows` sales in business order over six years, then the same rows in
// `salse_history`.
void fill(Database& db, int rows)
{
    static const QStringList goods = {"玉兰油洗发水400ml", "飘柔护发素200ml", "欧莱雅发膜50g",
                                      "施华蔻染发剂100g",  "资生堂面膜",      "卡诗精油100ml"};
    static const QStringList services = {"洗剪吹", "烫发", "染发", "焗油", "头皮护理", "足疗", "按摩"};
    static const QStringList staff = {"张丽", "王芳", "李娜", "刘洋", "陈静", "杨敏", "赵强", "黄磊"};
    std::mt19937 rng(20261207);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const QDate start(2021, 1, 1);
    const qint64 span = start.daysTo(QDate(2026, 12, 6));

    QSqlQuery q(db.handle());
    if (!q.prepare(QStringLiteral("INSERT INTO salse VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        qFatal("prepare failed");
    Database::Transaction tx(db);
    if (!tx.active())
        qFatal("no transaction: %s", qPrintable(tx.error()));
    for (int i = 0; i < rows; ++i) {
        const QString day = start.addDays(span * i / qMax(1, rows)).toString(QStringLiteral("yyyy-MM-dd"));
        const bool service = pick(10) < 4;
        const int product = pick(static_cast<int>(goods.size()));
        const int qty = service ? 1 : 1 + pick(5);
        const double price = service ? 30 + 10 * pick(20) : 18 + product * 4.5;
        const double paid = qty * price * 0.9;
        const QString values[13] = {
            day,
            service ? QStringLiteral("服务") : QStringLiteral("销售"),
            pick(10) < 7 ? QStringLiteral("8%1").arg(pick(2000) * 7919 % 10000000, 7, 10, QChar('0'))
                         : QString(),
            service ? QString() : QStringLiteral("P%1").arg(10000 + product),
            service ? QString() : goods.at(product),
            QString::number(qty),
            QString::number(price, 'f', 2),
            service ? QString() : day,
            QString::number(paid, 'f', 2),
            service ? services.at(pick(static_cast<int>(services.size()))) : QString(),
            staff.at(pick(static_cast<int>(staff.size()))),
            QString(),
            QString::number(paid * 0.1, 'f', 2),
        };
        for (int c = 0; c < 13; ++c)
            q.bindValue(c, textValue(values[c]));
        if (!q.exec())
            qFatal("insert failed");
    }
    q.finish();
    if (!db.exec(QStringLiteral("INSERT INTO salse_history SELECT * FROM salse")))
        qFatal("history failed");
    if (!tx.commit())
        qFatal("commit failed");
}

// ---------------------------------------------------------------- copies

// A program folder holding copies of the template's two database files.
struct Copy {
    QTemporaryDir dir;
    ProgramPaths paths;

    explicit Copy(const ProgramPaths& from)
    {
        if (!dir.isValid())
            qFatal("no temporary directory");
        paths.programDir = dir.path();
        QDir().mkpath(paths.databaseDir());
        if (!QFile::copy(from.businessDb(), paths.businessDb()) ||
            !QFile::copy(from.accountsDb(), paths.accountsDb()))
            qFatal("copy failed");
    }
};

double fileMiB(const QString& path)
{
    return QFileInfo(path).size() / 1048576.0;
}

template <typename F> Time timed(F&& f)
{
    const double w0 = nowMs();
    const double c0 = cpuMs();
    f();
    return {nowMs() - w0, cpuMs() - c0};
}

// The window's path: entry "8、业务记录" chosen by a click, delete pressed,
// Yes answered; the backup and the delete happen inside the press.
Time throughWindow(const ProgramPaths& paths, qint64* left, double* backupMiB)
{
    test::ScriptedMessages messages;
    test::ScriptedPrinting printing;
    AppContext ctx(
        paths, std::make_unique<FixedClock>(kNow),
        std::make_unique<QSettings>(QDir(paths.programDir).filePath("settings.ini"), QSettings::IniFormat),
        messages, printing);
    QString err;
    if (!ctx.openDatabases(&err))
        qFatal("open failed: %s", qPrintable(err));
    Time t;
    {
        DataDeletionWindow w(ctx);
        w.show();
        auto* list = w.findChild<QListWidget*>(QStringLiteral("List1"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(7)).center());
        messages.answer(QMessageBox::Yes);
        auto* button = w.findChild<QPushButton*>(QStringLiteral("Command1"));
        t = timed([&] { QTest::mouseClick(button, Qt::LeftButton); });
    }
    if (messages.texts() != QStringList({QStringLiteral("真的想删除:8、业务记录吗？"),
                                         QStringLiteral("8、业务记录 已成功删除！")}))
        qFatal("unexpected messages: %s", qPrintable(messages.texts().join(" / ")));
    *left = ctx.business().selectOne(QStringLiteral("SELECT count(*) FROM salse"))->value(0).toLongLong();
    const QString folder = QDir(paths.backupDir()).filePath(QStringLiteral("2026-12-07_10-00-00"));
    *backupMiB = fileMiB(QDir(folder).filePath(QStringLiteral("database.db"))) +
                 fileMiB(QDir(folder).filePath(QStringLiteral("userid.db")));
    return t;
}

Time programBackup(const ProgramPaths& paths)
{
    QString err;
    auto business = Database::open(paths.businessDb(), &err);
    auto accounts = Database::open(paths.accountsDb(), &err);
    if (!business || !accounts)
        qFatal("open failed: %s", qPrintable(err));
    BackupOutcome out;
    const Time t = timed([&] { out = backupProgramDatabases(paths, kNow, *business, *accounts); });
    if (!out.ok)
        qFatal("backup failed: %s", qPrintable(out.error));
    return t;
}

Time fromShell(const ShellRun& r)
{
    if (!r.ok)
        qFatal("shell failed");
    return {r.ms, r.cpuMs};
}

Time shellDelete(const ProgramPaths& paths)
{
    return fromShell(runShellOnce(paths.businessDb(), QStringLiteral("DELETE FROM salse;"), {}));
}

// The same backup written by the shell: one VACUUM INTO per file.
Time shellBackup(const ProgramPaths& paths)
{
    const QString folder = QDir(paths.backupDir()).filePath(QStringLiteral("shell"));
    QDir().mkpath(folder);
    const Time a = fromShell(runShellOnce(paths.businessDb(), QStringLiteral("VACUUM INTO @p1;"),
                                          {QDir(folder).filePath(QStringLiteral("database.db"))}));
    const Time b = fromShell(runShellOnce(paths.accountsDb(), QStringLiteral("VACUUM INTO @p1;"),
                                          {QDir(folder).filePath(QStringLiteral("userid.db"))}));
    return {a.wall + b.wall, a.cpu + b.cpu};
}

void print(const char* what, const Time& t)
{
    std::printf("  %-58s wall %9.1f ms   cpu %9.1f ms\n", what, t.wall, t.cpu);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    if (rows <= 0)
        qFatal("usage: bench_deletion [rows]");

    // The template: a program folder with both files, filled and folded
    // back from the write-ahead log so that a copy stands alone.
    QTemporaryDir templateDir;
    const ProgramPaths tpl{templateDir.path()};
    QString err;
    if (!schema::createDatabaseFiles(tpl.businessDb(), tpl.accountsDb(), QStringLiteral("zed-pass"), &err))
        qFatal("cannot create databases: %s", qPrintable(err));
    double fillS = 0;
    {
        auto db = Database::open(tpl.businessDb(), &err);
        if (!db)
            qFatal("open failed: %s", qPrintable(err));
        fillS = timed([&] { fill(*db, rows); }).wall / 1e3;
        db->exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    std::printf("== emptying salse with %d rows (salse_history holds the same rows; filled in %.1f s;"
                " business file %.1f MiB; %d runs, medians) ==\n",
                rows, fillS, fileMiB(tpl.businessDb()), kRepeat);

    std::vector<Time> window, backup, shellDel, shellBak;
    qint64 left = -1;
    double backupMiB = 0;
    for (int i = 0; i < kRepeat; ++i) {
        {
            Copy c(tpl);
            window.push_back(throughWindow(c.paths, &left, &backupMiB));
        }
        {
            Copy c(tpl);
            backup.push_back(programBackup(c.paths));
        }
        {
            Copy c(tpl);
            plainIndexesForShell(c.paths.businessDb());
            plainIndexesForShell(c.paths.accountsDb());
            shellDel.push_back(shellDelete(c.paths));
        }
        {
            Copy c(tpl);
            plainIndexesForShell(c.paths.businessDb());
            plainIndexesForShell(c.paths.accountsDb());
            shellBak.push_back(shellBackup(c.paths));
        }
    }
    if (left != 0)
        qFatal("salse not emptied: %lld rows left", left);

    const Time w = medianOf(window);
    const Time b = medianOf(backup);
    const Time d = medianOf(shellDel);
    const Time sb = medianOf(shellBak);
    print("window: choose 8、业务记录, delete, Yes (backup + delete)", w);
    print("program's backup on its own (both files)", b);
    print("shell: DELETE FROM salse", d);
    print("shell: VACUUM INTO of both files (the same backup)", sb);
    std::printf("  backup written: %.1f MiB\n", backupMiB);

    // Judged on wall time: the work is mostly writing and syncing files.
    const double vsProgram = w.wall / (d.wall + b.wall);
    const double vsShell = w.wall / (d.wall + sb.wall);
    std::printf("\n  window / (shell DELETE + program's backup): wall %.2fx, cpu %.2fx  (goal <= 1.5x): %s\n",
                vsProgram, w.cpu / (d.cpu + b.cpu), verdict(vsProgram <= 1.5));
    std::printf("  window / (shell DELETE + shell's backup):   wall %.2fx, cpu %.2fx  (for information)\n",
                vsShell, w.cpu / (d.cpu + sb.cpu));
    addGoal(QStringLiteral("window / (shell DELETE + program's backup)"), vsProgram, w.cpu / (d.cpu + b.cpu),
            1.5, Judged::Wall);
    return finish();
}

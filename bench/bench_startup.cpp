// Start-up and idle cost of the shell.
//
// 1. Time from process start to the login window on screen, beside the same
//    for a minimal Qt Widgets program (one empty window), both run as child
//    processes of this program, median of BENCH_REPEAT runs, and their ratio.
// 2. CPU that the main window's three 100 ms timers cost per second with
//    100 000 rows in each tab's table (jinhuo, worker, shouzhi): process CPU
//    time over an idle interval with the timers running, minus the same
//    interval with them stopped, and the cost of one tick of each timer.
// 3. With --screenshots DIR: PNG pictures of the login window and the main
//    window (run under xvfb-run to check the Chinese texts).
//
// Usage: bench_startup [--rows N] [--screenshots DIR]
// Environment: BENCH_REPEAT (default 9), BENCH_VERBOSE (phases of the start-up
// on standard error), QT_QPA_PLATFORM as for the program.

#include "ui/app_context.h"
#include "shell/journal.h"
#include "shell/main_window.h"
#include "shell/shell.h"
#include "data/database.h"
#include "data/schema.h"
#include "support/test_env.h"

#include "bench_support.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

using namespace shop;
using namespace shop::bench;

namespace {

// Child: an empty window, then "shown" once it is on screen.
int runMinimal(int argc, char** argv, bool withText)
{
    QApplication app(argc, argv);
    QWidget w;
    w.resize(340, 150);
    if (withText) {
        auto* l = new QLabel(QStringLiteral("用户名："), &w);
        l->move(20, 20);
    }
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 2;
    if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
        std::fprintf(stderr, "  minimal exposed\n");
    std::printf("shown\n");
    std::fflush(stdout);
    return 0;
}

// Child: the program's own start-up on a prepared folder, up to the login
// window on screen.
int runLogin(int argc, char** argv, const QString& dir)
{
    QElapsedTimer phase;
    phase.start();
    const bool verbose = qEnvironmentVariableIsSet("BENCH_VERBOSE");
    auto mark = [&](const char* what) {
        if (verbose)
            std::fprintf(stderr, "  %-24s %6.1f ms\n", what, phase.nsecsElapsed() / 1e6);
        phase.restart();
    };
    QApplication app(argc, argv);
    mark("QApplication");
    QApplication::setOrganizationName(QStringLiteral("ZEDWARE"));
    QApplication::setApplicationName(QStringLiteral("ZEDWARE"));
    QtMessageService messages;
    QtPrintService printing;
    AppContext ctx(ProgramPaths{dir}, std::make_unique<SystemClock>(),
                   std::make_unique<QSettings>(QDir(dir).filePath("settings.ini"), QSettings::IniFormat),
                   messages, printing);
    registerWindows(ctx.windows());
    mark("context");
    Shell shell(ctx);
    if (!shell.start() || !shell.loginWindow())
        return 2;
    mark("start-up to login shown");
    if (!QTest::qWaitForWindowExposed(shell.loginWindow()))
        return 2;
    mark("exposed");
    std::printf("shown\n");
    std::fflush(stdout);
    return 0;
}

// Wall time from starting the child to its "shown" line, in milliseconds.
double timeChild(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationFilePath(), args);
    if (!p.waitForStarted(10000))
        return -1;
    QByteArray out;
    while (!out.contains("shown")) {
        if (!p.waitForReadyRead(20000))
            return -1;
        out += p.readAllStandardOutput();
    }
    const double ms = t.nsecsElapsed() / 1e6;
    p.waitForFinished(10000);
    return ms;
}

void startupTimes(int repeat)
{
    QTemporaryDir dir;
    QString err;
    ProgramPaths paths{dir.path()};
    if (!schema::createDatabaseFiles(paths.businessDb(), paths.accountsDb(), "bench", &err)) {
        std::printf("cannot create databases: %s\n", qPrintable(err));
        return;
    }
    std::vector<double> minimal, label, login;
    // One warm-up run each, so all start from a warm file cache.
    timeChild({"--child-minimal"});
    timeChild({"--child-label"});
    timeChild({"--child-login", dir.path()});
    for (int i = 0; i < repeat; ++i) {
        minimal.push_back(timeChild({"--child-minimal"}));
        label.push_back(timeChild({"--child-label"}));
        login.push_back(timeChild({"--child-login", dir.path()}));
    }
    const double m = upperMedian(minimal), t = upperMedian(label), l = upperMedian(login);
    std::printf("start to window shown (median of %d, platform %s)\n", repeat,
                qPrintable(QGuiApplication::platformName()));
    std::printf("  minimal Qt Widgets program   %8.1f ms   (one empty window)\n", m);
    std::printf("  the same with a Chinese label%8.1f ms   (loads the fonts, as any window with text)\n", t);
    std::printf("  program to login window      %8.1f ms\n", l);
    std::printf("  ratio to the empty window    %8.2f x   (goal: within 1.5x)\n", m > 0 ? l / m : 0.0);
    std::printf("  ratio to the labelled window %8.2f x\n", t > 0 ? l / t : 0.0);
}

void fill(Database& db, const QString& table, int columns, int rows)
{
    QStringList qs;
    for (int c = 0; c < columns; ++c)
        qs << QStringLiteral("?");
    const QString sql = QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quoteIdent(table), qs.join(','));
    Database::Transaction tx(db);
    for (int r = 0; r < rows; ++r) {
        QVariantList v;
        for (int c = 0; c < columns; ++c)
            v << QStringLiteral("%1-%2").arg(r).arg(c);
        db.exec(sql, v);
    }
    tx.commit();
}

void timerCost(int rows)
{
    test::TestEnv env;
    for (const char* t : {"jinhuo", "worker", "shouzhi"})
        fill(env.db(), t, env.db().columns(t).size(), rows);
    registerWindows(env.ctx().windows());
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        qWarning("window not exposed");
    w.showPurchaseTab();
    QTest::qWait(500);

    QStringList tabs;
    for (const char* t : {"frame_jin", "Frame_worker", "frame_shouzhi"})
        if (env.ctx().windows().hasTab(t))
            tabs << t;
    std::printf("\nmain window timers, %d rows in jinhuo, worker and shouzhi (tabs built: %s)\n", rows,
                qPrintable(tabs.isEmpty() ? QStringLiteral("none") : tabs.join(", ")));

    const QList<QTimer*> timers = {w.findChild<QTimer*>("Timer1"), w.findChild<QTimer*>("Timer2"),
                                   w.findChild<QTimer*>("Timer3")};
    const int seconds = 5;
    auto idle = [&](bool running) {
        for (QTimer* t : timers)
            running ? t->start() : t->stop();
        const double c0 = cpuMs();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(seconds * 1000);
        return (cpuMs() - c0) / (wall.nsecsElapsed() / 1e6);
    };
    const double off = idle(false);
    const double on = idle(true);
    std::printf("  CPU with timers stopped      %8.3f %% of one core\n", off * 100);
    std::printf("  CPU with timers running      %8.3f %% of one core\n", on * 100);
    std::printf("  cost of the timers           %8.3f %% of one core   (goal: under 1%%)\n",
                std::max(0.0, on - off) * 100);

    const int n = 2000;
    void (MainWindow::*ticks[])() = {&MainWindow::tick1, &MainWindow::tick2, &MainWindow::tick3};
    for (int i = 0; i < 3; ++i) {
        const double c0 = cpuMs();
        for (int k = 0; k < n; ++k)
            (w.*ticks[i])();
        const double us = (cpuMs() - c0) / n * 1e3;
        std::printf("  one tick of Timer%d          %8.1f us  (x10 per second = %.3f %% of one core)\n",
                    i + 1, us, us * 10 / 1e4);
    }
}

void screenshots(const QString& dir)
{
    QDir().mkpath(dir);
    test::TestEnv env;
    registerWindows(env.ctx().windows());
    Shell shell(env.ctx());
    if (!shell.start())
        return;
    LoginWindow* login = shell.loginWindow();
    if (!QTest::qWaitForWindowExposed(login))
        qWarning("login window not exposed");
    login->findChild<QLineEdit*>("username")->setText(QStringLiteral("ZED"));
    login->findChild<QLineEdit*>("password")->setText(QStringLiteral("secret"));
    QTest::qWait(300);
    login->grab().save(QDir(dir).filePath("login.png"));

    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        qWarning("window not exposed");
    auto* tree = w.findChild<QTreeWidget*>("TreeView1");
    tree->expandAll();
    w.showPurchaseTab();
    QTest::qWait(400);
    w.grab().save(QDir(dir).filePath("main.png"));
    std::printf("screenshots written to %s\n", qPrintable(QDir(dir).absolutePath()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && qstrcmp(argv[1], "--child-minimal") == 0)
        return runMinimal(argc, argv, false);
    if (argc >= 2 && qstrcmp(argv[1], "--child-label") == 0)
        return runMinimal(argc, argv, true);
    if (argc >= 3 && qstrcmp(argv[1], "--child-login") == 0)
        return runLogin(argc, argv, QString::fromLocal8Bit(argv[2]));

    QApplication app(argc, argv);
    int rows = 100000;
    QString shots;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--rows" && i + 1 < args.size())
            rows = args[++i].toInt();
        else if (args[i] == "--screenshots" && i + 1 < args.size())
            shots = args[++i];
    }
    if (!shots.isEmpty()) {
        screenshots(shots);
        return 0;
    }
    const int repeat = benchRepeat(9);
    startupTimes(repeat);
    timerCost(rows);
    return 0;
}

// Reading and checking a goods file for the import's preview: a CSV of
// 100 000 goods lines, as the program's own export writes it (UTF-8 with a
// byte-order mark) and as a spreadsheet on a Chinese system saves it
// (GB18030, no mark), into an empty goods table and into one that holds
// every line already (each row then an update). For each: the time to the
// first screen (the file opened, its heading matched, the stored keys read
// and the first 50 verdicts), the time to read and check every row, and
// the peak memory over the resident size before, each turn in a process
// of its own.
//
// Then the import's write of the same 100 000 lines (a preview read to its
// end, then every row written in one transaction and committed) into an
// empty goods table, against the sqlite3 shell's `.import` of the same file
// into a bare table of ten text columns, and on a throwaway PostgreSQL
// cluster against `\copy ... FROM` (COPY through psql) into such a table.
// Goal: within 2x of each. Beside them, the floors of the work the bare
// table does not do: the goods table's indexes and the lines' ledger rows.
//
// The window's first screen: 导入 opened offscreen as a supervisor, the
// UTF-8 file chosen through the (scripted) file chooser, until its grid has
// painted the first rows; in a process of its own.
//
// Usage: bench_import [rows]   (default 100000)
// Environment: BENCH_REPEAT (default 3). Exits 1 when a goal is missed.

#include "data/collation.h"
#include "data/csv_export.h"
#include "data/import_preview.h"
#include "data/import_write.h"
#include "data/schema.h"
#include "data/table_rows.h"

#include "bench_support.h"
#include "support/test_env.h"
#include "support/pg_cluster.h"

#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QFileInfo>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <cstdio>

using namespace shop;
using namespace shop::bench;
using imports::ImportPreview;

namespace {

namespace goods = schema::jinhuo;

constexpr qsizetype kFirstScreen = 50;
constexpr qsizetype kSlice = 4096;

// One value of /proc/self/status in KiB (VmRSS, VmHWM).
long statusKiB(const QByteArray& key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Starts the next peak from the resident size now.
void restartPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// Goods line `i` in the table's column order: 400 names, a code of its own,
// prices with cents, one remark in ten that needs quotes.
QStringList goodsLine(int i)
{
    static const QStringList names = {"洗发水", "护发素", "染发膏", "发蜡",
                                      "面膜",   "精华液", "护手霜", "沐浴露"};
    const int kind = i % 400;
    return {names.at(kind % names.size()) + QString::number(kind),
            QStringLiteral("G%1").arg(i, 7, 10, QLatin1Char('0')),
            QStringLiteral("%1ml").arg(100 + kind % 5 * 100),
            QString::number(6 + kind % 20),
            QStringLiteral("%1.%2").arg(10 + kind % 90).arg(i % 100, 2, 10, QLatin1Char('0')),
            QStringLiteral("%1.50").arg(20 + kind % 150),
            QString::number(i % 500),
            QStringLiteral("供应商%1").arg(kind % 37),
            dateText(QDate(2024, 1, 1).addDays(i % 700)),
            i % 10 == 0 ? QStringLiteral("含\"赠品\", 限会员") : QString()};
}

// The program's export of those lines: written with its own writer.
void writeUtf8(const QString& path, int rows)
{
    QList<QStringList> lines{schema::columnsOf(goods::kTable)};
    for (int i = 0; i < rows; ++i)
        lines << goodsLine(i);
    if (writeCsv(lines, path).outcome != CsvOutcome::Written)
        qFatal("cannot write %s", qPrintable(path));
}

// The same lines as a spreadsheet saves them on a Chinese system: GB18030
// without a byte-order mark, quotes only where needed, CRLF.
void writeGb18030(const QString& path, int rows)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QStringEncoder gb("GB18030");
    const auto line = [&](const QStringList& cells) {
        QStringList out;
        for (const QString& c : cells)
            out << (c.contains(QLatin1Char(',')) || c.contains(QLatin1Char('"'))
                        ? QLatin1Char('"') + QString(c).replace("\"", "\"\"") + QLatin1Char('"')
                        : c);
        f.write(gb.encode(out.join(QLatin1Char(',')) + QStringLiteral("\r\n")));
    };
    line(schema::columnsOf(goods::kTable));
    for (int i = 0; i < rows; ++i)
        line(goodsLine(i));
}

void storeAll(Database& db, int rows)
{
    Database::Transaction tx(db);
    for (int i = 0; i < rows; ++i)
        if (!rows::insert(db, goods::kTable, goodsLine(i)))
            qFatal("insert failed");
    if (!tx.commit())
        qFatal("commit failed");
}

struct Turn {
    double firstMs = 0;
    double allMs = 0;
    double cpuMs = 0;
    double peakMiB = 0;
    ImportPreview::Counts counts;
};

// One turn, in a process of its own (`bench_import --turn DB FILE UPDATES`):
// its heap holds nothing from the files' making, so its peak is the
// preview's own.
int turn(const QString& dbPath, const QString& file, bool updates)
{
    QString error;
    auto db = Database::open(dbPath, &error);
    if (!db)
        qFatal("database: %s", qPrintable(error));
    restartPeak();
    const long before = statusKiB("VmRSS");
    Turn t;
    const double start = nowMs();
    const double cpuStart = cpuMs();
    ImportPreview p(*db, imports::Kind::Goods);
    if (!p.open(file))
        qFatal("open: %s", qPrintable(p.error()));
    p.setUpdates(updates);
    if (!p.readMore(kFirstScreen) || p.size() != kFirstScreen)
        qFatal("first screen: %s", qPrintable(p.error()));
    t.firstMs = nowMs() - start;
    while (!p.atEnd())
        if (!p.readMore(kSlice))
            qFatal("read: %s", qPrintable(p.error()));
    t.allMs = nowMs() - start;
    t.cpuMs = cpuMs() - cpuStart;
    t.peakMiB = (statusKiB("VmHWM") - before) / 1024.0;
    std::printf("%f %f %f %f %lld %lld %lld\n", t.firstMs, t.allMs, t.cpuMs, t.peakMiB,
                qlonglong(p.counts().added), qlonglong(p.counts().updated), qlonglong(p.counts().refused));
    return 0;
}

Turn runTurn(const QString& dbPath, const QString& file, bool updates)
{
    QProcess child;
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--turn"), dbPath, file, updates ? QStringLiteral("1") : QStringLiteral("0")});
    if (!child.waitForFinished(600000) || child.exitCode() != 0)
        qFatal("turn failed: %s", child.readAllStandardError().constData());
    const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
    if (f.size() != 7)
        qFatal("turn printed no figures");
    Turn t;
    t.firstMs = f[0].toDouble();
    t.allMs = f[1].toDouble();
    t.cpuMs = f[2].toDouble();
    t.peakMiB = f[3].toDouble();
    t.counts = {f[4].toLongLong(), f[5].toLongLong(), f[6].toLongLong()};
    return t;
}

// `bench_import --window FILE`: the time from the file chosen in 导入 to its
// grid's first screen painted, and the rows it shows then.
int windowTurn(const QString& file)
{
    test::TestEnv env;
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    registerWindows(env.ctx().windows());
    QWidget* w = env.ctx().windows().open(env.ctx(), QStringLiteral("frm_import"));
    if (!w)
        qFatal("导入 did not open");
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        qFatal("导入 not shown");
    auto* grid = w->findChild<QTableView*>(QStringLiteral("bg"));
    env.messages().answerFile(file);
    const double start = nowMs();
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cmd_file")), Qt::LeftButton);
    grid->viewport()->repaint();
    const double ms = nowMs() - start;
    std::printf("%f %d\n", ms, grid->model()->rowCount());
    return 0;
}

// Runs a program and returns its wall time in ms.
double timedRun(const QString& program, const QStringList& args)
{
    QProcess p;
    const double start = nowMs();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return nowMs() - start;
}

// The ledger rows the import writes beside those lines (导入, from nothing to
// the line's stock), as a CSV for the shell tools: the floor counts them too.
void writeLedger(const QString& path, int rows)
{
    QList<QStringList> lines{schema::columnsOf(schema::liushui::kTable)};
    for (int i = 0; i < rows; ++i) {
        const QStringList g = goodsLine(i);
        lines << QStringList{"2026-12-10 09:00:00",
                             g.at(1),
                             g.at(0),
                             g.at(8),
                             "导入",
                             "0",
                             g.at(6),
                             g.at(6),
                             g.at(4),
                             "",
                             "ZED",
                             "",
                             "从文件导入",
                             QString::number(i + 1)};
    }
    if (writeCsv(lines, path).outcome != CsvOutcome::Written)
        qFatal("cannot write %s", qPrintable(path));
}

// The bare table the shell tools fill: the goods table's columns, as text.
QString bareTable()
{
    QStringList columns;
    for (const QString& c : schema::columnsOf(goods::kTable))
        columns << quoteIdent(c) + QStringLiteral(" TEXT");
    return QStringLiteral("CREATE TABLE bare (%1)").arg(columns.join(QStringLiteral(", ")));
}

// The import's write of `file` into the goods table of `db` (empty): the
// preview read first (not timed), then the write and its commit.
double timedWrite(Database& db, const QString& file, int rows)
{
    ImportPreview p(db, imports::Kind::Goods);
    if (!p.open(file))
        qFatal("open: %s", qPrintable(p.error()));
    while (!p.atEnd())
        if (!p.readMore(kSlice))
            qFatal("read: %s", qPrintable(p.error()));
    const double start = nowMs();
    const imports::Written w = imports::writeRows(db, p);
    const double ms = nowMs() - start;
    if (w.outcome != imports::Written::Outcome::Written || w.added != rows)
        qFatal("write: %s (%lld rows)", qPrintable(w.error), qlonglong(w.added));
    return ms;
}

// Ours against the shell's, median of each; PASS within 2x.
bool report(const char* what, std::vector<double> ours, std::vector<double> shell, int rows)
{
    const double ratio = median(ours) / median(shell);
    const bool ok = ratio <= 2.0;
    std::printf("  %-44s import %7.1f ms (%.0f rows/s), shell %7.1f ms; ratio %.2f (goal <= 2)  %s\n", what,
                median(ours), rows / (median(ours) / 1000.0), median(shell), ratio, ok ? "PASS" : "MISS");
    std::fflush(stdout);
    return ok;
}

bool benchWrites(const QString& file, const QString& ledgerFile, int rows, int repeat)
{
    std::printf("import write of %d goods lines, %d turns\n", rows, repeat);
    bool met = true;
    std::vector<double> ours, shell, plain, withLedger, pinyinBuild;
    for (int i = 0; i < repeat; ++i) {
        QTemporaryDir dir;
        QString error;
        auto db = Database::open(dir.filePath("w.db"), &error, Database::OpenMode::Create);
        if (!db || !schema::createBusinessTables(*db, &error))
            qFatal("database: %s", qPrintable(error));
        ours.push_back(timedWrite(*db, file, rows));
        // What the pinyin index (which the shell cannot build) costs within it.
        const double reindexStart = nowMs();
        if (!db->exec(QStringLiteral("REINDEX %1").arg(QLatin1String(collation::kPinyin))))
            qFatal("reindex failed");
        pinyinBuild.push_back(nowMs() - reindexStart);
        const QString bare = dir.filePath("bare.db");
        auto b = Database::open(bare, &error, Database::OpenMode::Create);
        if (!b || !b->exec(bareTable()))
            qFatal("bare table: %s", qPrintable(error));
        b.reset();
        shell.push_back(
            timedRun(QStringLiteral("sqlite3"), {bare, QStringLiteral(".mode csv"),
                                                 QStringLiteral(".import --skip 1 %1 bare").arg(file)}));
        // Part of the floor the goods table's indexes set: the shell into an
        // empty goods table with its plain indexes (it has no pinyin order,
        // so that index is dropped first).
        const QString goodsFile = dir.filePath("goods.db");
        auto g = Database::open(goodsFile, &error, Database::OpenMode::Create);
        if (!g || !schema::createBusinessTables(*g, &error))
            qFatal("goods table: %s", qPrintable(error));
        const auto pinyin = g->selectAll(
            QStringLiteral(
                "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ? AND sql LIKE ?"),
            {goods::kTable, QStringLiteral("%PINYIN%")});
        for (const QVariantList& ix : pinyin.value.value_or(QList<QVariantList>{}))
            if (!g->exec(QStringLiteral("DROP INDEX %1").arg(quoteIdent(ix.value(0).toString()))))
                qFatal("cannot drop the pinyin index");
        g.reset();
        plain.push_back(timedRun(QStringLiteral("sqlite3"),
                                 {goodsFile, QStringLiteral(".mode csv"),
                                  QStringLiteral(".import --skip 1 %1 %2").arg(file, goods::kTable)}));
        // And the lines' ledger rows into the stock ledger, as the import writes them.
        const QString ledgerDb = dir.filePath("ledger.db");
        g = Database::open(ledgerDb, &error, Database::OpenMode::Create);
        if (!g || !schema::createBusinessTables(*g, &error))
            qFatal("goods table: %s", qPrintable(error));
        for (const QVariantList& ix : pinyin.value.value_or(QList<QVariantList>{}))
            if (!g->exec(QStringLiteral("DROP INDEX %1").arg(quoteIdent(ix.value(0).toString()))))
                qFatal("cannot drop the pinyin index");
        g.reset();
        withLedger.push_back(
            timedRun(QStringLiteral("sqlite3"),
                     {ledgerDb, QStringLiteral(".mode csv"),
                      QStringLiteral(".import --skip 1 %1 %2").arg(file, goods::kTable),
                      QStringLiteral(".import --skip 1 %1 %2").arg(ledgerFile, schema::liushui::kTable)}));
    }
    std::printf("  (sqlite3 .import into an empty goods table with its plain indexes, not the pinyin one: "
                "%.1f ms; ratio %.2f)\n",
                median(plain), median(ours) / median(plain));
    std::printf("  (the same plus the lines' ledger rows into the stock ledger with its indexes: %.1f ms; "
                "ratio %.2f; the pinyin index, built again over the written lines: %.1f ms)\n",
                median(withLedger), median(ours) / median(withLedger), median(pinyinBuild));
    met = report("file: writeRows vs sqlite3 .import", ours, shell, rows) && met;

    QString error;
    auto cluster = test::PgCluster::start(/*durable=*/true, &error);
    if (!cluster) {
        std::printf("  server: no cluster (%s)\n", qPrintable(error));
        return false;
    }
    ours.clear();
    shell.clear();
    std::vector<double> indexed, indexedLedger;
    const auto psqlCopy = [&](const DbServer& to, const QString& table, const QString& from) {
        QStringList quoted;
        for (const QString& c : schema::columnsOf(table == QLatin1String("bare") ? goods::kTable : table))
            quoted << quoteIdent(c);
        return timedRun(
            QStringLiteral("psql"),
            {QStringLiteral("-h"), to.host, QStringLiteral("-p"), QString::number(to.port),
             QStringLiteral("-U"), to.user, QStringLiteral("-d"), to.name, QStringLiteral("-q"),
             QStringLiteral("-c"),
             QStringLiteral("\\copy %1 (%2) FROM '%3' WITH (FORMAT csv, HEADER true, FORCE_NOT_NULL (%2))")
                 .arg(quoteIdent(table), quoted.join(QStringLiteral(", ")), from)});
    };
    for (int i = 0; i < repeat; ++i) {
        const auto target = cluster->freshDatabase(&error);
        auto server = target ? Database::openServer(*target, &error) : nullptr;
        if (!server)
            qFatal("%s", qPrintable(error));
        {
            Database::Transaction tx(*server);
            if (!schema::createServerTables(*server, &error) || !tx.commit())
                qFatal("server tables: %s", qPrintable(error));
        }
        ours.push_back(timedWrite(*server, file, rows));
        const auto bareDb = cluster->freshDatabase(&error);
        auto bare = bareDb ? Database::openServer(*bareDb, &error) : nullptr;
        if (!bare || !bare->exec(bareTable()))
            qFatal("bare table: %s", qPrintable(error));
        shell.push_back(psqlCopy(*bareDb, QStringLiteral("bare"), file));
        // The floor the goods table's own indexes set (its case-blind text
        // and its pinyin order): COPY into an empty goods table.
        const auto goodsDb = cluster->freshDatabase(&error);
        auto goodsServer = goodsDb ? Database::openServer(*goodsDb, &error) : nullptr;
        if (!goodsServer)
            qFatal("%s", qPrintable(error));
        {
            Database::Transaction tx(*goodsServer);
            if (!schema::createServerTables(*goodsServer, &error) || !tx.commit())
                qFatal("server tables: %s", qPrintable(error));
        }
        indexed.push_back(psqlCopy(*goodsDb, goods::kTable, file));
        indexedLedger.push_back(indexed.back() + psqlCopy(*goodsDb, schema::liushui::kTable, ledgerFile));
    }
    std::printf("  (psql \\copy into an empty goods table, with its indexes: %.1f ms; ratio %.2f)\n",
                median(indexed), median(ours) / median(indexed));
    std::printf("  (the same plus the lines' ledger rows into the stock ledger with its indexes: %.1f ms; "
                "ratio %.2f)\n",
                median(indexedLedger), median(ours) / median(indexedLedger));
    met = report("server: writeRows vs psql \\copy (COPY)", ours, shell, rows) && met;
    return met;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--window") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return windowTurn(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--turn") == 0)
        return turn(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                    qstrcmp(argv[4], "1") == 0);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int repeat = benchRepeat(3);
    QTemporaryDir dir;
    QString error;
    const QString dbPath = dir.filePath("database.db");
    auto db = Database::open(dbPath, &error, Database::OpenMode::Create);
    if (!db || !schema::createBusinessTables(*db, &error))
        qFatal("database: %s", qPrintable(error));

    const QString utf8 = dir.filePath("goods-utf8.csv");
    const QString gb = dir.filePath("goods-gb18030.csv");
    writeUtf8(utf8, rows);
    writeGb18030(gb, rows);
    const QString ledger = dir.filePath("ledger-utf8.csv");
    writeLedger(ledger, rows);
    std::printf("import preview of %d goods lines (%.1f MB UTF-8, %.1f MB GB18030), %d turns, each in a "
                "process of its own\n",
                rows, QFileInfo(utf8).size() / 1e6, QFileInfo(gb).size() / 1e6, repeat);

    bool met = true;
    const auto run = [&](const char* what, const QString& file, bool updates) {
        std::vector<double> first, all, cpu, peak;
        for (int i = 0; i < repeat; ++i) {
            const Turn t = runTurn(dbPath, file, updates);
            const qsizetype done = updates ? t.counts.updated : t.counts.added;
            if (done != rows || t.counts.refused != 0)
                qFatal("%s: %lld rows passed, %lld refused (expected %d)", what, qlonglong(done),
                       qlonglong(t.counts.refused), rows);
            first.push_back(t.firstMs);
            all.push_back(t.allMs);
            cpu.push_back(t.cpuMs);
            peak.push_back(t.peakMiB);
        }
        const double peakMax = *std::max_element(peak.begin(), peak.end());
        const bool ok = median(first) < 1000 && peakMax < 100;
        met = met && ok;
        std::printf(
            "  %-34s first screen %6.1f ms (goal < 1000); every row %7.1f ms, cpu %7.1f ms (%.0f rows/s); "
            "peak +%5.1f MiB (goal < 100)  %s\n",
            what, median(first), median(all), median(cpu), rows / (median(cpu) / 1000.0), peakMax,
            ok ? "PASS" : "MISS");
        std::fflush(stdout);
    };
    {
        std::vector<double> shown;
        int firstRows = 0;
        for (int i = 0; i < repeat; ++i) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--window"), utf8});
            if (!child.waitForFinished(600000) || child.exitCode() != 0)
                qFatal("window turn failed: %s", child.readAllStandardError().constData());
            const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split('\n').last().split(' ');
            shown.push_back(f.value(0).toDouble());
            firstRows = f.value(1).toInt();
        }
        const bool ok = median(shown) < 1000 && firstRows > 0;
        met = met && ok;
        std::printf("  %-34s file chosen to first screen painted %6.1f ms, %d rows shown (goal < 1000)  %s\n",
                    "导入 window, UTF-8 export", median(shown), firstRows, ok ? "PASS" : "MISS");
        std::fflush(stdout);
    }
    run("UTF-8 export, empty table", utf8, false);
    run("GB18030 spreadsheet, empty table", gb, false);
    storeAll(*db, rows);
    run("UTF-8 export, every line stored", utf8, true);
    run("GB18030 spreadsheet, every stored", gb, true);
    met = benchWrites(utf8, ledger, rows, repeat) && met;
    return met ? 0 : 1;
}

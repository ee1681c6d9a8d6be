// The CSV writer: each cell as a spreadsheet must read it back, the rows of
// a source in its order, and a file that appears only when every row is in it.
#include "data/csv_export.h"
#include "support/test_env.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace shop;
using namespace shop::test;

namespace {
const QByteArray kBom = "\xEF\xBB\xBF";

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Ledger rows numbered 1..n: 日期 counts down, so date order reverses the
// stored one; 事项 is "a" for odd rows and "b" for even ones.
void seedLedger(TestEnv& env, int n)
{
    Database::Transaction tx(env.db());
    for (int i = 1; i <= n; ++i)
        env.insert("shouzhi",
                   {QString("2026-%1").arg(10000 - i), i % 2 ? "a" : "b", QString::number(i), "", ""});
    QVERIFY(tx.commit().ok);
}

// The 支出费用 column of each data line of an export.
QStringList numbersOf(const QByteArray& file)
{
    QStringList out;
    const QList<QByteArray> lines = file.mid(kBom.size()).split('\n');
    for (int i = 1; i < lines.size(); ++i)
        if (!lines.at(i).isEmpty())
            out << QString::fromUtf8(lines.at(i)).split(',').value(1).trimmed();
    return out;
}

QStringList range(int from, int to, int step = 1)
{
    QStringList out;
    for (int i = from; step > 0 ? i <= to : i >= to; i += step)
        out << QString::number(i);
    return out;
}
} // namespace

class TstCsvExport : public QObject {
    Q_OBJECT
private slots:
    // One stored value, the cell as written: RFC 4180 quoting, and a single
    // quote before what a spreadsheet would run as a formula.
    void cells_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("cell");
        QTest::newRow("plain") << "abc" << QByteArray("abc");
        QTest::newRow("chinese") << "洗剪吹" << QByteArray("洗剪吹");
        QTest::newRow("empty") << "" << QByteArray("");
        QTest::newRow("blanks kept") << " x " << QByteArray(" x ");
        QTest::newRow("comma") << "a,b" << QByteArray("\"a,b\"");
        QTest::newRow("quote") << "say \"hi\"" << QByteArray("\"say \"\"hi\"\"\"");
        QTest::newRow("line feed") << "line1\nline2" << QByteArray("\"line1\nline2\"");
        QTest::newRow("crlf") << "a\r\nb" << QByteArray("\"a\r\nb\"");
        QTest::newRow("carriage return") << "a\rb" << QByteArray("\"a\rb\"");
        QTest::newRow("apostrophe first") << "'quoted" << QByteArray("'quoted");
        QTest::newRow("equals") << "=1+2" << QByteArray("'=1+2");
        QTest::newRow("equals alone") << "=" << QByteArray("'=");
        QTest::newRow("plus") << "+86 138" << QByteArray("'+86 138");
        QTest::newRow("at") << "@SUM(A1)" << QByteArray("'@SUM(A1)");
        QTest::newRow("negative number") << "-12.5" << QByteArray("-12.5");
        QTest::newRow("negative whole") << "-7" << QByteArray("-7");
        QTest::newRow("negative point first") << "-.5" << QByteArray("-.5");
        QTest::newRow("negative exponent") << "-3e2" << QByteArray("-3e2");
        QTest::newRow("negative signed exponent") << "-3E-2" << QByteArray("-3E-2");
        QTest::newRow("minus alone") << "-" << QByteArray("-");
        QTest::newRow("minus sum") << "-2+3" << QByteArray("'-2+3");
        QTest::newRow("minus word") << "-abc" << QByteArray("'-abc");
        QTest::newRow("minus half exponent") << "-1e" << QByteArray("'-1e");
        QTest::newRow("minus two points") << "-1.2.3" << QByteArray("'-1.2.3");
        QTest::newRow("minus blank") << "- 5" << QByteArray("'- 5");
        QTest::newRow("minus point") << "-." << QByteArray("'-.");
        QTest::newRow("tab before a formula") << "\t=1+2" << QByteArray("'\t=1+2");
        QTest::newRow("tab first") << "\tabc" << QByteArray("'\tabc");
        QTest::newRow("carriage return before a formula") << "\r=1+2" << QByteArray("\"'\r=1+2\"");
        QTest::newRow("tab later") << "a\tb" << QByteArray("a\tb");
        QTest::newRow("equals later") << "a=b" << QByteArray("a=b");
        QTest::newRow("formula with comma") << "=a,b" << QByteArray("\"'=a,b\"");
        QTest::newRow("formula with quotes")
            << "=HYPERLINK(\"x\",\"y\")" << QByteArray("\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\"");
        QTest::newRow("formula after line feed") << "x\n=1" << QByteArray("\"x\n=1\"");
    }
    void cells()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, cell);
        TestEnv env;
        env.insert("shouzhi", {"2026-12-07", value, "1", "", ""});
        const QString file = env.dir() + "/out.csv";
        const CsvResult r = exportCsv(env.db(), RecordSource::all("shouzhi"), {{"事项", "事项"}}, file);
        QCOMPARE(r.outcome, CsvOutcome::Written);
        QCOMPARE(r.rows, qint64(1));
        QCOMPARE(readFile(file), kBom + "事项\r\n" + cell + "\r\n");
    }

    // Every row of the source in its order, whatever the chunk size: a
    // filter, an order either way, and rows past many chunks.
    void rowsOfTheSource_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::addColumn<QList<Condition>>("where");
        QTest::addColumn<QList<SortKey>>("order");
        QTest::addColumn<QStringList>("numbers");
        const QList<Condition> none;
        const QList<Condition> odd{{"事项", Op::Eq, "A"}};
        // Read from the date index, the stored order is a sort of its rows.
        const QList<Condition> dates{{"日期", Op::Ge, "2026-9981"}, {"日期", Op::Le, "2026-9990"}};
        const QList<SortKey> stored;
        const QList<SortKey> byDate{{"日期", false}};
        const QList<SortKey> byDateDown{{"日期", true}};
        for (int chunk : {1, 7, 1000}) {
            const QByteArray c = QByteArray::number(chunk);
            QTest::newRow("stored " + c) << chunk << none << stored << range(1, 30);
            QTest::newRow("filtered " + c) << chunk << odd << stored << range(1, 29, 2);
            QTest::newRow("by date " + c) << chunk << none << byDate << range(30, 1, -1);
            QTest::newRow("by date down " + c) << chunk << none << byDateDown << range(1, 30);
            QTest::newRow("filtered by date " + c) << chunk << odd << byDate << range(29, 1, -2);
            QTest::newRow("date range " + c) << chunk << dates << stored << range(10, 19);
        }
    }
    void rowsOfTheSource()
    {
        QFETCH(int, chunk);
        QFETCH(QList<Condition>, where);
        QFETCH(QList<SortKey>, order);
        QFETCH(QStringList, numbers);
        TestEnv env;
        seedLedger(env, 30);
        const QString file = env.dir() + "/out.csv";
        const RecordSource source{"shouzhi", {}, where, order};
        QList<double> shares;
        const CsvResult r = exportCsv(
            env.db(), source, {{"事项", "事项"}, {"支出费用", "支出费用"}}, file,
            [&shares](qint64, double done) {
                shares << done;
                return true;
            },
            chunk);
        QCOMPARE(r.outcome, CsvOutcome::Written);
        QCOMPARE(r.rows, qint64(numbers.size()));
        QCOMPARE(numbersOf(readFile(file)), numbers);
        // The share done rises to the whole.
        QVERIFY(!shares.isEmpty());
        QCOMPARE(shares.last(), 1.0);
        QVERIFY(std::is_sorted(shares.begin(), shares.end()));
    }

    // A cancel, at the start or between chunks, leaves no file and no part
    // of one; a file of that name stays as it was.
    void cancel_data()
    {
        QTest::addColumn<bool>("ordered");
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<bool>("existing");
        for (bool ordered : {false, true})
            for (int at : {1, 2, 3})
                for (bool existing : {false, true})
                    QTest::addRow("%s, call %d%s", ordered ? "ordered" : "stored", at,
                                  existing ? ", old file" : "")
                        << ordered << at << existing;
    }
    void cancel()
    {
        QFETCH(bool, ordered);
        QFETCH(int, cancelAt);
        QFETCH(bool, existing);
        TestEnv env;
        seedLedger(env, 30);
        QTemporaryDir out;
        const QString file = out.filePath("out.csv");
        if (existing) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }
        RecordSource source = RecordSource::all("shouzhi");
        if (ordered)
            source.orderBy("日期");
        int calls = 0;
        const CsvResult r = exportCsv(
            env.db(), source, {{"事项", "事项"}}, file, [&](qint64, double) { return ++calls < cancelAt; },
            10);
        QCOMPARE(r.outcome, CsvOutcome::Cancelled);
        QCOMPARE(calls, cancelAt);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
                 existing ? QStringList{"out.csv"} : QStringList{});
        if (existing)
            QCOMPARE(readFile(file), QByteArray("old"));
    }

    // A file that cannot be written (no folder, or the disk full part way)
    // and a source that cannot be read leave no file and say why.
    void failures_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("orderColumn");
        QTest::addColumn<int>("sizeLimit");
        QTest::addColumn<CsvOutcome>("outcome");
        QTest::newRow("no folder") << "missing/out.csv"
                                   << "shouzhi"
                                   << "" << 0 << CsvOutcome::WriteFailed;
        QTest::newRow("disk full") << "out.csv"
                                   << "shouzhi"
                                   << "" << 64 * 1024 << CsvOutcome::WriteFailed;
        QTest::newRow("disk full, ordered") << "out.csv"
                                            << "shouzhi"
                                            << "日期" << 64 * 1024 << CsvOutcome::WriteFailed;
        QTest::newRow("no such table") << "out.csv"
                                       << "nothing"
                                       << "" << 0 << CsvOutcome::ReadFailed;
        QTest::newRow("no such table, ordered") << "out.csv"
                                                << "nothing"
                                                << "日期" << 0 << CsvOutcome::ReadFailed;
    }
    void failures()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, table);
        QFETCH(QString, orderColumn);
        QFETCH(int, sizeLimit);
        QFETCH(CsvOutcome, outcome);
        TestEnv env;
        seedLedger(env, 5000);
        QTemporaryDir out;
        RecordSource source = RecordSource::all(table);
        if (!orderColumn.isEmpty())
            source.orderBy(orderColumn);

        // A file size limit stands for a full disk: writes past it fail.
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        if (sizeLimit > 0) {
            rlimit lower = old;
            lower.rlim_cur = static_cast<rlim_t>(sizeLimit);
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &lower), 0);
        }
        const CsvResult r =
            exportCsv(env.db(), source, {{"事项", "事项"}, {"日期", "日期"}, {"收入", "收入"}},
                      out.filePath(fileName), {}, 100);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSignal);

        QCOMPARE(r.outcome, outcome);
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
    }
};

QTEST_MAIN(TstCsvExport)
#include "tst_csv_export.moc"

#include "support/pg_cluster.h"
#include "data/database.h"
#include "data/money.h"
#include "data/password.h"
#include "data/program_paths.h"
#include "data/record_model.h"
#include "data/schema.h"
#include "data/table_rows.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace shop;

namespace {
QStringList salesRow(const QString& date, const QString& card, const QString& name)
{
    return {date, "商品销售", card, "P1", name, "1", "10元", "2026-01-01", "10", "", "王五", "", "0"};
}
} // namespace

class TstDatabase : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<Database> db_;
    int fileNo_ = 0;
    DbServer server_;

    // A second connection to the database of freshDb().
    std::unique_ptr<Database> openOther(Database& db, QString* err)
    {
        return db.onServer() ? Database::openServer(server_, err) : Database::open(db.path(), err);
    }
    // Another connection can fold the write-ahead log into the file (none
    // on a server).
    void checkpointNotBusy(Database& other)
    {
        if (other.onServer())
            return;
        auto ck = other.selectOne("PRAGMA wal_checkpoint(TRUNCATE)");
        QVERIFY(ck);
        QCOMPARE(ck->value(0).toInt(), 0); // not busy
    }

    // A fresh business database per test.
    Database& freshDb()
    {
        db_.reset();
        const QString b = dir_.filePath(QString("t%1/database/database.db").arg(fileNo_));
        const QString a = dir_.filePath(QString("t%1/database/userid.db").arg(fileNo_));
        ++fileNo_;
        QString err;
        if (test::testsOnServer()) {
            test::PgCluster* cluster = test::PgCluster::shared(&err);
            const auto server = cluster ? cluster->shopDatabase("pw", &err) : std::nullopt;
            db_ = server ? Database::openServer(*server, &err) : nullptr;
            server_ = server.value_or(DbServer{});
            if (!db_)
                qFatal("%s", qPrintable(err));
            return *db_;
        }
        if (!schema::createDatabaseFiles(b, a, "pw", &err))
            qFatal("%s", qPrintable(err));
        db_ = Database::open(b, &err);
        if (!db_)
            qFatal("%s", qPrintable(err));
        return *db_;
    }

    void insertSales(Database& db, const QList<QStringList>& rows)
    {
        Database::Transaction tx(db);
        for (const QStringList& r : rows) {
            QVariantList binds;
            for (const QString& v : r)
                binds << v;
            QVERIFY(db.exec("INSERT INTO salse VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)", binds).ok);
        }
        QVERIFY(tx.commit().ok);
    }

    // Every row the model shows, read through fetchMore like a scrolling view.
    QList<qint64> readAll(RecordModel& m)
    {
        while (m.canFetchMore())
            m.fetchMore();
        QList<qint64> ids;
        for (int r = 0; r < m.rowCount(); ++r)
            ids << m.rowidAt(r);
        return ids;
    }

    QList<qint64> reference(Database& db, const QString& sql, const QVariantList& binds = {})
    {
        QList<qint64> ids;
        db.select(sql, binds, [&ids](const QSqlQuery& q) {
            ids << q.value(0).toLongLong();
            return true;
        });
        return ids;
    }

private slots:
    // A program folder named with or without a trailing separator (or two)
    // opens the same database file; at the root of a file system the
    // separator is not doubled either.
    void programFolderJoinsOnce_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("no separator") << "";
        QTest::newRow("trailing separator") << "/";
        QTest::newRow("two separators") << "//";
    }
    void programFolderJoinsOnce()
    {
        QFETCH(QString, suffix);
        QCOMPARE(ProgramPaths{"/"}.businessDb(), QString("/database/database.db"));

        const QString folder = dir_.filePath("till");
        const ProgramPaths plain{folder};
        const ProgramPaths typed{folder + suffix};
        QCOMPARE(typed.businessDb(), plain.businessDb());
        QCOMPARE(typed.accountsDb(), plain.accountsDb());
        QVERIFY(!typed.businessDb().contains("//"));

        if (!QFile::exists(plain.businessDb())) {
            QString err;
            QVERIFY2(schema::createDatabaseFiles(plain.businessDb(), plain.accountsDb(), "pw", &err),
                     qPrintable(err));
        }
        QString err;
        auto writer = Database::open(typed.businessDb(), &err);
        QVERIFY2(writer, qPrintable(err));
        QVERIFY(writer->exec("INSERT INTO worker (姓名) VALUES (?)", {suffix}).ok);
        writer.reset();
        auto reader = Database::open(plain.businessDb(), &err);
        QVERIFY2(reader, qPrintable(err));
        const auto found = reader->selectOne("SELECT count(*) FROM worker WHERE 姓名 = ?", {suffix});
        QVERIFY(found.found());
        QCOMPARE(found->value(0).toInt(), 1);
    }

    void schemaHasColumnsInOrder()
    {
        Database& db = freshDb();
        for (const TableDef& t : schema::businessTables())
            QCOMPARE(db.columns(t.name), t.columns);
        QCOMPARE(schema::columnsOf("salse").size(), 13);
        QCOMPARE(schema::columnsOf("SALSE").value(12), QString("提成金额"));
        // The rowid a server table has is hidden.
        QVERIFY(!db.columns("salse").contains("rowid"));
        if (db.onServer()) {
            // Every commit is on disk before it is reported.
            QCOMPARE(db.selectOne("SHOW synchronous_commit")->value(0).toString(), QString("on"));
            return;
        }
        // WAL and full sync are in force on every connection.
        QCOMPARE(db.selectOne("PRAGMA journal_mode")->value(0).toString(), QString("wal"));
        QCOMPARE(db.selectOne("PRAGMA synchronous")->value(0).toInt(), 2);
    }

    // A creation that fails leaves no folder of its own behind (an empty
    // `database` folder keeps the program from offering to create the
    // files again), and every folder that was there before stays.
    void failedCreateLeavesNoFolderOfItsOwn_data()
    {
        QTest::addColumn<QString>("accountsFolder");
        QTest::addColumn<QString>("blocker"); // a file, or a folder ending in '/'
        QTest::newRow("accounts folder cannot be made") << "plainfile"
                                                        << "plainfile";
        QTest::newRow("accounts file cannot be written") << "acc"
                                                         << "acc/userid.db.creating/";
    }
    void failedCreateLeavesNoFolderOfItsOwn()
    {
        QFETCH(QString, accountsFolder);
        QFETCH(QString, blocker);
        QTemporaryDir dir;
        const QString target = dir.filePath(blocker);
        if (blocker.endsWith('/')) {
            QVERIFY(QDir().mkpath(target));
        } else {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString b = dir.filePath("new/database/database.db");
        const QString a = dir.filePath(accountsFolder + "/userid.db");
        QString err;
        QVERIFY(!schema::createDatabaseFiles(b, a, "pw", &err));
        QVERIFY(!err.isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath("new")));
        QVERIFY(QFileInfo::exists(target));
    }

    void createRefusesExistingFilesAndHashesPassword()
    {
        const QString b = dir_.filePath("create/database/database.db");
        const QString a = dir_.filePath("create/database/userid.db");
        QString err;
        QVERIFY(!schema::createDatabaseFiles(b, a, "", &err));
        QVERIFY(!QFile::exists(b));
        QVERIFY(schema::createDatabaseFiles(b, a, "S3cret", &err));
        const QByteArray before = [&] {
            QFile f(b);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        QVERIFY(!schema::createDatabaseFiles(b, a, "other", &err));
        QVERIFY(err.contains("已存在"));
        QFile f(b);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);

        auto acc = Database::open(a, &err);
        QVERIFY(acc);
        auto rows = acc->selectAll("SELECT username, password, usertype FROM username");
        QVERIFY(rows);
        QCOMPARE(rows->size(), 1);
        QCOMPARE(rows->at(0).at(0).toString(), QString("ZED"));
        QCOMPARE(rows->at(0).at(2).toString(), QString("M"));
        const QString stored = rows->at(0).at(1).toString();
        QVERIFY(!stored.contains("S3cret"));
        QVERIFY(stored.startsWith("$argon2id$"));
        QVERIFY(verifyPassword("S3cret", stored));
        QVERIFY(!verifyPassword("s3cret", stored));
        QVERIFY(!verifyPassword("S3cret ", stored));
    }

    void openFailures()
    {
        QString err;
        QVERIFY(!Database::open(dir_.filePath("missing.db"), &err));
        QVERIFY(!err.isEmpty());
        QVERIFY(!QFile::exists(dir_.filePath("missing.db")));

        const QString junk = dir_.filePath("junk.db");
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray content(4096, 'x');
        f.write(content);
        f.close();
        err.clear();
        QVERIFY(!Database::open(junk, &err));
        QVERIFY(!err.isEmpty());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content); // never overwritten
    }

    void hostileValuesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("apostrophe") << "O'Brien";
        QTest::newRow("percent") << "100%";
        QTest::newRow("underscore") << "a_b";
        QTest::newRow("injection") << "' or '1'='1";
        QTest::newRow("star") << "*";
        QTest::newRow("emoji") << QString::fromUtf8("茶😀");
        QTest::newRow("long") << QString(100000, QChar(u'长'));
        QTest::newRow("quote and semicolon") << "\"; DROP TABLE salse; --";
    }
    void hostileValuesRoundTrip()
    {
        QFETCH(QString, value);
        Database& db = freshDb();
        if (db.onServer() && value.size() > 1000) {
            // A server's index holds no key of such a size: the row is
            // refused whole, with the server's reason.
            const DbResult r = db.exec("INSERT INTO salse (卡号) VALUES (?)", {value});
            QVERIFY(!r.ok);
            QVERIFY2(r.error.contains("index row"), qPrintable(r.error));
            QCOMPARE(db.selectOne("SELECT count(*) FROM salse")->value(0).toInt(), 0);
            return;
        }
        insertSales(db, {salesRow("2026-12-07", value, "x"), salesRow("2026-12-07", "other", "y")});
        RecordModel m(db);
        QVERIFY(m.setSource(RecordSource::all("salse").filter("卡号", Op::Eq, value)).ok);
        QCOMPARE(m.rowCount(), 1);
        QCOMPARE(m.record(0)->value("卡号"), value);
        // A contains-search for the value finds exactly that row: its %, _ and
        // * match themselves.
        QVERIFY(m.setSource(RecordSource::all("salse").filter("卡号", Op::Contains, value)).ok);
        QCOMPARE(m.rowCount(), 1);
        QCOMPARE(m.record(0)->value(2), value);
        QCOMPARE(db.selectOne("SELECT count(*) FROM salse")->value(0).toInt(), 2);
    }

    void containsMatchesItsWildcardsLiterally_data()
    {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("percent") << "%" << QStringList{"50%"};
        QTest::newRow("underscore") << "_" << QStringList{"a_b"};
        QTest::newRow("star") << "*" << QStringList{"x*y"};
        QTest::newRow("backslash") << "\\" << QStringList{"c\\d"};
        QTest::newRow("letter case ignored") << "bC" << QStringList{"ABC"};
    }
    void containsMatchesItsWildcardsLiterally()
    {
        QFETCH(QString, needle);
        QFETCH(QStringList, expected);
        Database& db = freshDb();
        insertSales(db, {salesRow("d", "50%", ""), salesRow("d", "a_b", ""), salesRow("d", "x*y", ""),
                         salesRow("d", "c\\d", ""), salesRow("d", "ABC", ""), salesRow("d", "plain", "")});
        RecordModel m(db);
        QVERIFY(m.setSource(RecordSource::all("salse").filter("卡号", Op::Contains, needle)).ok);
        QStringList got;
        for (int r = 0; r < m.rowCount(); ++r)
            got << m.record(r)->value("卡号");
        QCOMPARE(got, expected);
    }

    void comparisonsIgnoreLetterCase()
    {
        Database& db = freshDb();
        insertSales(db, {salesRow("d", "abc", "b"), salesRow("d", "ABD", "A"), salesRow("d", "x", "C")});
        RecordModel m(db);
        QVERIFY(m.setSource(RecordSource::all("salse").filter("卡号", Op::Eq, "ABC")).ok);
        QCOMPARE(m.rowCount(), 1);
        QVERIFY(m.setSource(RecordSource::all("salse").orderBy("商品名称")).ok);
        QCOMPARE(m.record(0)->value("商品名称"), QString("A"));
        QCOMPARE(m.record(1)->value("商品名称"), QString("b"));
        QCOMPARE(m.record(2)->value("商品名称"), QString("C"));
    }

    void numbersOrderAsText()
    {
        Database& db = freshDb();
        insertSales(db, {salesRow("d", "9", ""), salesRow("d", "10", "")});
        RecordModel m(db);
        QVERIFY(m.setSource(RecordSource::all("salse").orderBy("卡号")).ok);
        QCOMPARE(m.record(0)->value("卡号"), QString("10"));
        // A date range selects by comparing the stored texts.
        insertSales(db, {salesRow("2026-11-30", "r", ""), salesRow("2026-12-01", "r", ""),
                         salesRow("2026-12-31", "r", ""), salesRow("2027-01-01", "r", "")});
        QVERIFY(m.setSource(RecordSource::all("salse")
                                .filter("业务日期", Op::Ge, "2026-12-01")
                                .filter("业务日期", Op::Le, "2026-12-31"))
                    .ok);
        QCOMPARE(m.rowCount(), 2);
    }

    void findFirstWithinFilteredSourceInItsOrder()
    {
        Database& db = freshDb();
        insertSales(db, {salesRow("2026-01-03", "A", "n1"), salesRow("2026-01-01", "A", "n2"),
                         salesRow("2026-01-02", "B", "n3"), salesRow("2026-01-01", "B", "n4")});
        RecordModel m(db);
        QVERIFY(m.setSource(RecordSource::all("salse").filter("卡号", Op::Eq, "A").orderBy("业务日期")).ok);
        auto hit = m.findFirst({{"业务日期", Op::Ge, "2026-01-01"}});
        QVERIFY(hit);
        QCOMPARE(hit->value("商品名称"), QString("n2"));
        // A row outside the source's filter is never found.
        QVERIFY(!m.findFirst({{"商品名称", Op::Eq, "n3"}}));
        // An apostrophe in the criterion is just a value.
        const auto quoted = m.findFirst({{"卡号", Op::Eq, "A' OR '1'='1"}});
        QVERIFY(!quoted.failed() && !quoted.found());
    }

    void deleteTouchesExactlyOneOfTwoIdenticalRows()
    {
        Database& db = freshDb();
        const QStringList same = salesRow("2026-12-07", "C1", "same");
        insertSales(db, {same, same, salesRow("2026-12-07", "C2", "other")});
        RecordModel m(db);
        QVERIFY(m.setSource(RecordSource::all("salse")).ok);
        const qint64 second = m.rowidAt(1);
        QVERIFY(m.deleteRowid(second).ok);
        QCOMPARE(m.rowCount(), 2);
        QCOMPARE(db.selectOne("SELECT count(*) FROM salse WHERE 卡号 = 'C1'")->value(0).toInt(), 1);
        QVERIFY(!db.selectOne("SELECT 1 FROM salse WHERE rowid = ?", {second}));
    }

    void editWritesOnlyItsRow()
    {
        Database& db = freshDb();
        const QStringList same = salesRow("2026-12-07", "C1", "same");
        insertSales(db, {same, same});
        RecordModel m(db);
        QVERIFY(m.setSource(RecordSource::all("salse")).ok);
        QVERIFY(!m.setData(m.index(0, 4), "changed")); // not editable yet
        m.setEditable(true);
        QVERIFY(m.setData(m.index(0, 4), "it's 改"));
        QVERIFY(m.hasPendingEdits());
        QCOMPARE(db.selectOne("SELECT count(*) FROM salse WHERE 商品名称 = 'same'")->value(0).toInt(), 2);
        QVERIFY(m.flushEdits().ok);
        auto rows = db.selectAll("SELECT 商品名称 FROM salse ORDER BY rowid");
        QCOMPARE(rows->at(0).at(0).toString(), QString("it's 改"));
        QCOMPARE(rows->at(1).at(0).toString(), QString("same"));
    }

    void pagingMatchesFullQuery_data()
    {
        QTest::addColumn<QString>("orderColumn");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("total");
        // The grid runs the source, or is handed the rowids a total read.
        QTest::addColumn<bool>("keysFromTotal");
        for (const bool keys : {false, true}) {
            const char* how = keys ? ", keys from the total" : "";
            auto row = [&](const char* name) { return &QTest::newRow(qPrintable(QString(name) + how)); };
            *row("table order") << "" << false << "" << 1000 << keys;
            *row("table order, filtered") << "" << false << "7" << 1000 << keys;
            *row("indexed column") << "业务日期" << false << "" << 1000 << keys;
            *row("column with duplicates") << "卡号" << false << "" << 1000 << keys;
            *row("descending") << "业务日期" << true << "" << 1000 << keys;
            *row("filtered and sorted") << "商品名称" << false << "7" << 1000 << keys;
            // The last fetch ends in a short page that is not kept in the cache.
            *row("short uncached last page") << "卡号" << false << "" << 300 << keys;
            // Without an index the rows after the first page come from one list of rowids.
            *row("unindexed column") << "商品名称" << false << "" << 1000 << keys;
            *row("unindexed descending") << "商品名称" << true << "" << 1000 << keys;
            *row("unindexed, every value tied") << "业务类型" << false << "" << 1000 << keys;
            *row("unindexed, short last page") << "商品名称" << true << "" << 300 << keys;
            *row("one page only") << "" << false << "" << 10 << keys;
            *row("nothing") << "" << false << "no such name" << 100 << keys;
        }
    }
    void pagingMatchesFullQuery()
    {
        QFETCH(QString, orderColumn);
        QFETCH(bool, descending);
        QFETCH(QString, filter);
        QFETCH(int, total);
        QFETCH(bool, keysFromTotal);
        Database& db = freshDb();
        QList<QStringList> rows;
        for (int i = 0; i < total; ++i)
            rows << salesRow(
                QString("2026-%1-%2").arg(1 + i % 12, 2, 10, QChar('0')).arg(1 + i % 28, 2, 10, QChar('0')),
                QString("C%1").arg(i % 7), QString("N%1").arg((i * 37) % 101));
        insertSales(db, rows);

        RecordSource src = RecordSource::all("salse");
        QString sql = "SELECT rowid FROM salse";
        QVariantList binds;
        if (!filter.isEmpty()) {
            src.filter("商品名称", Op::Contains, filter);
            sql += " WHERE 商品名称 LIKE ?";
            binds << "%" + filter + "%";
        }
        if (!orderColumn.isEmpty()) {
            src.orderBy(orderColumn, descending);
            sql += QString(" ORDER BY %1%2, rowid%2").arg(orderColumn, descending ? " DESC" : "");
        }
        RecordModel m(db);
        m.setPageSize(16);
        m.setMaxCachedPages(3);
        const QList<qint64> expected = reference(db, sql, binds);
        if (keysFromTotal) {
            QVector<qint64> keys;
            const auto total = money::receivedIn(db, src, &keys);
            QVERIFY(total.found());
            QCOMPARE(total->rows, expected.size());
            QCOMPARE(keys, QVector<qint64>(expected.begin(), expected.end()));
            QVERIFY(m.setSource(src, keys).ok);
        } else {
            QVERIFY(m.setSource(src).ok);
        }
        QCOMPARE(m.rowCount(), qMin(16, static_cast<int>(expected.size())));
        // The tester fetches further pages itself while it checks.
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(readAll(m), expected);
        // Pages evicted from the cache read back the same rows.
        QVERIFY(m.cachedPageCount() <= 3);
        for (int r = 0; r < m.rowCount(); r += 5)
            QCOMPARE(m.rowidAt(r), expected.at(r));
        if (expected.isEmpty()) {
            QVERIFY(m.isEmpty());
            return;
        }
        QCOMPARE(m.rowidAt(m.rowCount() - 1), expected.last());
        QCOMPARE(m.record(m.rowCount() - 1)->rowid, expected.last());
        QCOMPARE(m.rowOfRowid(expected.at(expected.size() / 2)), static_cast<int>(expected.size() / 2));
    }

    void unindexedOrderPagesFromOneSnapshot()
    {
        Database& db = freshDb();
        QList<QStringList> rows;
        for (int i = 0; i < 1000; ++i)
            rows << salesRow("2026-12-07", QString("C%1").arg(i), QString("N%1").arg((i * 37) % 101));
        insertSales(db, rows);
        const QString sql = "SELECT rowid FROM salse ORDER BY 商品名称, rowid";
        QList<qint64> expected = reference(db, sql);
        RecordModel m(db);
        m.setPageSize(16);
        m.setMaxCachedPages(3);
        QVERIFY(m.setSource(RecordSource::all("salse").orderBy("商品名称")).ok);
        // The tester fetches inside its own reset handler, so it watches one run at a time.
        auto tester = std::make_unique<QAbstractItemModelTester>(
            &m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.fetchMore();
        m.fetchMore(); // the second fetch takes the list of the rows after the read pages

        // Another connection writes between pages, and can checkpoint: the
        // list holds no read transaction open.
        QString err;
        auto other = openOther(db, &err);
        QVERIFY(other);
        const QList<qint64> gone{expected.at(100), expected.at(101), expected.at(500), expected.last()};
        for (qint64 rowid : gone)
            QVERIFY(other->exec("DELETE FROM salse WHERE rowid = ?", {rowid}).ok);
        QVERIFY(other->exec("INSERT INTO salse (商品名称) VALUES ('ZZZ')").ok);
        checkpointNotBusy(*other);

        // Deleted rows drop out of their pages, the new row waits for a re-run;
        // pages evicted on the way are read back from the list.
        QList<qint64> shown = readAll(m);
        QCOMPARE(m.rowCount(), 1000);
        QVERIFY(m.cachedPageCount() <= 3);
        shown.removeAll(0);
        for (qint64 rowid : gone)
            expected.removeAll(rowid);
        QCOMPARE(shown, expected);
        QCOMPARE(m.rowidAt(0), expected.first());

        // Far down, past evicted pages; a deleted row is not found.
        const int far = m.rowOfRowid(expected.at(900));
        QVERIFY(far >= 900);
        QCOMPARE(m.rowidAt(far), expected.at(900));
        QCOMPARE(m.rowOfRowid(gone.at(2)), -1);

        // An edit far down writes its own row.
        m.setEditable(true);
        QVERIFY(m.setData(m.index(far, 4), "A改"));
        QVERIFY(m.flushEdits().ok);
        QCOMPARE(db.selectOne("SELECT 商品名称 FROM salse WHERE rowid = ?", {expected.at(900)})
                     ->value(0)
                     .toString(),
                 QString("A改"));
        QCOMPARE(m.data(m.index(far, 4)).toString(), QString("A改"));

        // A re-run reads afresh: the new row, the edit in its new place.
        tester.reset();
        QVERIFY(m.rerun().ok);
        tester = std::make_unique<QAbstractItemModelTester>(
            &m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(readAll(m), reference(db, sql));
        QCOMPARE(m.rowOfRowid(expected.at(900)), 0);
    }

    void openReadsOnlyTheFirstPage()
    {
        Database& db = freshDb();
        QList<QStringList> rows;
        for (int i = 0; i < 2000; ++i)
            rows << salesRow("2026-12-07", QString::number(i), "n");
        insertSales(db, rows);
        RecordModel m(db);
        m.setPageSize(100);
        QVERIFY(m.setSource(RecordSource::all("salse")).ok);
        QCOMPARE(m.rowCount(), 100);
        QVERIFY(m.canFetchMore());
        QVERIFY(!m.isEmpty());
        QCOMPARE(m.count(), 2000);
        m.fetchMore();
        QCOMPARE(m.rowCount(), 200);
        QCOMPARE(m.rowOfRowid(m.rowidAt(150)), 150);
        QVERIFY(m.setSource(RecordSource::all("salse").filter("卡号", Op::Eq, "none")).ok);
        QVERIFY(m.isEmpty());
        QVERIFY(!m.canFetchMore());
    }

    void noStatementStaysOpen()
    {
        // A second connection can checkpoint and write while a view is open:
        // the view holds no read transaction between calls.
        Database& db = freshDb();
        QList<QStringList> rows;
        for (int i = 0; i < 600; ++i)
            rows << salesRow("2026-12-07", QString::number(i), "n");
        insertSales(db, rows);
        RecordModel m(db);
        QVERIFY(m.setSource(RecordSource::all("salse")).ok);
        QString err;
        auto other = openOther(db, &err);
        QVERIFY(other);
        QVERIFY(other->exec("INSERT INTO salse (卡号) VALUES ('new')").ok);
        checkpointNotBusy(*other);
        if (db.onServer()) {
            // No connection sits inside a transaction.
            auto open = other->selectOne("SELECT count(*) FROM pg_stat_activity WHERE datname = "
                                         "current_database() AND state <> 'idle' "
                                         "AND pid <> pg_backend_pid()");
            QVERIFY(open);
            QCOMPARE(open->value(0).toInt(), 0);
        }
    }

    void transactionRollsBackUnlessCommitted()
    {
        Database& db = freshDb();
        {
            Database::Transaction tx(db);
            QVERIFY(tx.active());
            QVERIFY(db.exec("INSERT INTO salse (卡号) VALUES ('gone')").ok);
        }
        QCOMPARE(db.selectOne("SELECT count(*) FROM salse")->value(0).toInt(), 0);
        {
            Database::Transaction tx(db);
            QVERIFY(db.exec("INSERT INTO salse (卡号) VALUES ('kept')").ok);
            QVERIFY(tx.commit().ok);
        }
        QCOMPARE(db.selectOne("SELECT count(*) FROM salse")->value(0).toInt(), 1);
        // A failing statement reports the driver's text.
        DbResult bad = db.exec("INSERT INTO no_such_table VALUES (1)");
        QVERIFY(!bad.ok);
        QVERIFY(bad.error.contains("no_such_table"));
    }

    // One employee's month is read through the employee-and-date index, not
    // the date index with every other employee's name compared on the way
    // (on a server the default planner prices chose that, ten times slower).
    void oneEmployeesMonthUsesTheEmployeeIndex()
    {
        Database& db = freshDb();
        const QDate first(2026, 1, 1);
        {
            Database::Transaction tx(db);
            QVERIFY(tx.active());
            // Business order: the days rise, the employees take turns.
            constexpr int kDays = 300, kPerDay = 120, kPerStatement = 100;
            QString rowMarks = QString("(?,?,?,?,?,?,?,?,?,?,?,?,?), ").repeated(kPerStatement);
            rowMarks.chop(2);
            QVariantList binds;
            for (int i = 0; i < kDays * kPerDay; ++i) {
                QStringList row = salesRow(first.addDays(i / kPerDay).toString("yyyy-MM-dd"),
                                           QString::number(i % 997), "洗剪吹");
                row[10] = QString("员工%1").arg(i % 20);
                for (const QString& v : row)
                    binds << v;
                if (binds.size() == 13 * kPerStatement) {
                    QVERIFY(db.exec("INSERT INTO salse VALUES " + rowMarks, binds).ok);
                    binds.clear();
                }
            }
            QVERIFY(tx.commit().ok);
        }
        QVERIFY(db.exec("ANALYZE").ok);
        const QString sql = "SELECT rowid, * FROM salse WHERE 业务日期 >= '2026-06-01' AND 业务日期 <= "
                            "'2026-06-30' AND 员工姓名 = '员工3' ORDER BY 业务日期, rowid";
        const auto plan = db.selectAll((db.onServer() ? "EXPLAIN " : "EXPLAIN QUERY PLAN ") + sql);
        QVERIFY(plan);
        QString text;
        for (const QVariantList& line : *plan)
            text += line.last().toString() + '\n';
        QVERIFY2(text.contains("ix_salse_员工姓名_业务日期"), qPrintable(text));
    }

    // Statements run together stop at the first that fails and say which;
    // outside a transaction none of them is kept, inside one the caller's
    // transaction decides.
    void execEachStopsAtTheFirstFailure_data()
    {
        QTest::addColumn<bool>("inTransaction");
        QTest::newRow("alone") << false;
        QTest::newRow("in a transaction") << true;
    }
    void execEachStopsAtTheFirstFailure()
    {
        QFETCH(bool, inTransaction);
        Database& db = freshDb();
        const QString insert = "INSERT INTO salse (卡号) VALUES (?)";
        std::optional<Database::Transaction> tx;
        if (inTransaction)
            tx.emplace(db);
        qsizetype failedAt = -1;
        const DbResult bad = db.execEach(
            {{insert, {"a"}}, {"INSERT INTO no_such_table VALUES (?)", {"b"}}, {insert, {"c"}}}, &failedAt);
        QVERIFY(!bad.ok);
        QCOMPARE(failedAt, 1);
        QVERIFY(bad.error.contains("no_such_table"));
        tx.reset(); // rolled back
        QCOMPARE(db.selectOne("SELECT count(*) FROM salse")->value(0).toInt(), 0);

        // The connection goes on; all of them stored when none fails, and
        // the last statement's count of rows.
        const DbResult good =
            db.execEach({{insert, {"a"}}, {insert, {"b"}}, {"DELETE FROM salse WHERE 卡号 = ?", {"a"}}});
        QVERIFY2(good.ok, qPrintable(good.error));
        QCOMPARE(good.rowsAffected, 1);
        QCOMPARE(reference(db, "SELECT 卡号 FROM salse").size(), 1);
    }

    // Queries read together: the first row of each (none where there is
    // none), and the first that fails is named.
    void selectOneEachReadsTheFirstRowOfEach()
    {
        Database& db = freshDb();
        const QString insert = "INSERT INTO salse (卡号, 员工姓名) VALUES (?, ?)";
        QVERIFY(db.execEach({{insert, {"a", "1"}}, {insert, {"b", "2"}}, {insert, {"a", "3"}}}).ok);
        const QString byCard = "SELECT 员工姓名 FROM salse WHERE 卡号 = ? ORDER BY rowid LIMIT 1";
        const auto rows = db.selectOneEach({{byCard, {"b"}}, {byCard, {"none"}}, {byCard, {"A"}}});
        QVERIFY2(rows, qPrintable(rows.error()));
        QCOMPARE(rows->size(), 3);
        QCOMPARE(rows->at(0).value().value(0).toString(), "2");
        QVERIFY(!rows->at(1).has_value());
        QCOMPARE(rows->at(2).value().value(0).toString(), "1");

        qsizetype failedAt = -1;
        const auto bad = db.selectOneEach(
            {{byCard, {"a"}}, {"SELECT x FROM no_such_table WHERE 1 = ?", {1}}, {byCard, {"b"}}},
            Database::RowLock::None, &failedAt);
        QVERIFY(bad.failed());
        QCOMPARE(failedAt, 1);
        QVERIFY(bad.error().contains("no_such_table"));
        QVERIFY(db.selectOneEach({{byCard, {"b"}}}));
    }

    // A transaction holds a row read for update from its first statement
    // to its end, however that statement is run (a server's BEGIN waits
    // for it), and the writes with the commit are all or none.
    void transactionHoldsWhatItReadUntilItEnds_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<bool>("writeFails");
        QTest::newRow("read for update, stored") << "for update" << false;
        QTest::newRow("read for update, a write fails") << "for update" << true;
        QTest::newRow("forward-only read first, stored") << "select" << false;
        QTest::newRow("forward-only read first, a write fails") << "select" << true;
    }
    void transactionHoldsWhatItReadUntilItEnds()
    {
        QFETCH(QString, first);
        QFETCH(bool, writeFails);
        Database& db = freshDb();
        QVERIFY(db.exec("INSERT INTO numbercard (卡号, 次数) VALUES ('c1', '5')").ok);
        QString err;
        auto other = openOther(db, &err);
        QVERIFY2(other, qPrintable(err));
        QVERIFY(other->exec(other->onServer() ? "SET lock_timeout = '50ms'" : "PRAGMA busy_timeout = 50").ok);
        const QString read = "SELECT rowid, 次数 FROM numbercard WHERE 卡号 = ?";
        {
            Database::Transaction tx(db);
            QVERIFY(tx.active());
            if (first == "select") {
                int n = 0;
                QVERIFY(db.select("SELECT count(*) FROM numbercard WHERE 卡号 = ?", {"c1"},
                                  [&n](const QSqlQuery& q) {
                                      n = q.value(0).toInt();
                                      return false;
                                  })
                            .ok);
                QCOMPARE(n, 1);
            }
            const auto held = db.selectOneEach({{read, {"c1"}}}, Database::RowLock::ForUpdate);
            QVERIFY2(held, qPrintable(held.error()));
            QCOMPARE(held->at(0).value().value(1).toString(), "5");
            // Another connection cannot change it meanwhile.
            QVERIFY(!other->exec("UPDATE numbercard SET 次数 = '9' WHERE 卡号 = 'c1'").ok);

            const QString set = "UPDATE numbercard SET 次数 = ? WHERE 卡号 = ?";
            QList<Database::Statement> writes = {{set, {"4", "c1"}}};
            if (writeFails)
                writes << Database::Statement{"INSERT INTO no_such_table VALUES (?)", {1}};
            writes << Database::Statement{"INSERT INTO salse (卡号) VALUES (?)", {"c1"}};
            qsizetype failedAt = -1;
            const DbResult done = tx.commitAfter(writes, &failedAt);
            QCOMPARE(done.ok, !writeFails);
            QCOMPARE(failedAt, writeFails ? 1 : -1);
            QVERIFY(!db.inTransaction());
        }
        QCOMPARE(other->selectOne("SELECT 次数 FROM numbercard")->value(0).toString(),
                 writeFails ? "5" : "4");
        QCOMPARE(other->selectOne("SELECT count(*) FROM salse")->value(0).toInt(), writeFails ? 0 : 1);
        // Held no longer.
        QVERIFY(other->exec("UPDATE numbercard SET 次数 = '9' WHERE 卡号 = 'c1'").ok);
        // A transaction that ran nothing commits nothing, and the
        // connection goes on.
        Database::Transaction empty(db);
        QVERIFY(empty.commit().ok);
        QCOMPARE(db.selectOne("SELECT 次数 FROM numbercard")->value(0).toString(), "9");
    }

    // Two tills give two cards the same number at once: both checks pass
    // before either writes, so the model checks again as it writes, and
    // drops the later edit of the number (the row's other edits are kept).
    void uniqueColumnEditTakenMeanwhileIsDropped_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("taken");
        QTest::newRow("the number the other till just gave") << 2 << "x" << true;
        QTest::newRow("a number stored before") << 2 << "a" << true;
        QTest::newRow("a free number") << 2 << "Y" << false;
        QTest::newRow("its own number in other letters") << 0 << "a" << false;
    }
    void uniqueColumnEditTakenMeanwhileIsDropped()
    {
        QFETCH(int, row);
        QFETCH(QString, number);
        QFETCH(bool, taken);
        Database& db = freshDb();
        const QString insert = "INSERT INTO numbercard (卡号, 次数) VALUES (?, ?)";
        QVERIFY(db.execEach({{insert, {"A", "1"}}, {insert, {"B", "2"}}, {insert, {"C", "3"}}}).ok);
        QString err;
        auto other = openOther(db, &err);
        QVERIFY2(other, qPrintable(err));
        RecordModel mine(db), theirs(*other);
        for (RecordModel* m : {&mine, &theirs}) {
            m->setEditable(true);
            m->setUniqueColumn("卡号");
            QVERIFY(m->setSource(RecordSource::all("numbercard")).ok);
        }
        const int numberAt = static_cast<int>(db.columns("numbercard").indexOf("卡号"));
        const int usesAt = static_cast<int>(db.columns("numbercard").indexOf("次数"));
        QSignalSpy mineTaken(&mine, &RecordModel::uniqueValueTaken);
        QSignalSpy theirsTaken(&theirs, &RecordModel::uniqueValueTaken);
        QVERIFY(mine.setData(mine.index(1, numberAt), "X"));
        QVERIFY(theirs.setData(theirs.index(row, numberAt), number));
        QVERIFY(theirs.setData(theirs.index(row, usesAt), "9"));
        QVERIFY(mine.flushEdits().ok);
        QVERIFY(theirs.flushEdits().ok);
        QCOMPARE(mineTaken.count(), 0);
        QCOMPARE(theirsTaken.count(), taken ? 1 : 0);
        QCOMPARE(theirs.data(theirs.index(row, numberAt)).toString(),
                 taken ? QString(QString("AC").at(row / 2)) : number);

        const auto rows = db.selectAll("SELECT 卡号, 次数 FROM numbercard ORDER BY rowid");
        QVERIFY(rows);
        QStringList stored;
        for (const QVariantList& r : *rows)
            stored << r.value(0).toString() + r.value(1).toString();
        QStringList expected = {"A1", "X2", "C3"};
        expected[row] = (taken ? expected[row].left(1) : number) + "9";
        QCOMPARE(stored, expected);
    }

    void unknownTableIsAnError()
    {
        Database& db = freshDb();
        RecordModel m(db);
        QVERIFY(!m.setSource(RecordSource::all("nope")).ok);
        QCOMPARE(m.rowCount(), 0);
        QCOMPARE(m.columnCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TstDatabase)
#include "tst_database.moc"

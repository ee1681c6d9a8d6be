// Text sorts in pinyin order: the grid's pages in the order of the library's
// collator (ties by rowid), figures and dates as before, the sorts served by
// indexes as before, and files made by an earlier version upgraded on open.
#include "data/backup_files.h"
#include "data/collation.h"
#include "data/record_model.h"
#include "data/schema.h"
#include "data/table_rows.h"
#include "support/pg_cluster.h"
#include "support/test_env.h"

#include <QCollator>
#include <QDir>
#include <QSqlDriver>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

using namespace shop;
using namespace shop::test;

namespace {

// The statements run on a connection while it lives, with their values in
// place (as SQLite's trace gives them).
class StatementLog {
public:
    explicit StatementLog(Database& db)
    {
        const QVariant h = db.handle().driver()->handle();
        raw_ = *static_cast<sqlite3* const*>(h.constData());
        sqlite3_trace_v2(raw_, SQLITE_TRACE_STMT, &StatementLog::onStatement, this);
    }
    ~StatementLog() { stop(); }
    void stop() { sqlite3_trace_v2(raw_, 0, nullptr, nullptr); }
    // The grid's reads (and look-ups) of rows.
    QStringList rowReads() const { return statements_.filter(QRegularExpression("^SELECT rowid\\b")); }

private:
    static int onStatement(unsigned, void* self, void* stmt, void*)
    {
        char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(stmt));
        if (sql)
            static_cast<StatementLog*>(self)->statements_ << QString::fromUtf8(sql);
        sqlite3_free(sql);
        return 0;
    }
    sqlite3* raw_ = nullptr;
    QStringList statements_;
};

QStringList planOf(Database& db, const QString& sql)
{
    QStringList steps;
    const auto plan = db.selectAll("EXPLAIN QUERY PLAN " + sql);
    if (plan.failed())
        return {"failed: " + plan.error()};
    for (const QVariantList& row : *plan)
        steps << row.value(3).toString();
    return steps;
}

// Every row a model shows, read page by page as a scrolling view reads them.
QStringList readColumn(RecordModel& m, int column, QList<qint64>* rowids = nullptr)
{
    while (m.canFetchMore())
        m.fetchMore();
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r) {
        out << m.index(r, column).data().toString();
        if (rowids)
            *rowids << m.rowidAt(r);
    }
    return out;
}

bool insertNames(Database& db, const QString& table, const QString& column, const QStringList& names)
{
    Database::Transaction tx(db);
    for (const QString& n : names)
        if (!db.exec(QString("INSERT INTO %1 (%2) VALUES (?)").arg(quoteIdent(table), quoteIdent(column)),
                     {n}))
            return false;
    return tx.commit().ok;
}

// Names as people have them: a surname and one or two given characters,
// among them characters with more than one reading; every seventh name
// repeats an earlier one, so ties fall across page ends.
QStringList thousandNames()
{
    const QString surnames = "赵钱孙李周吴郑王冯陈褚卫蒋沈韩杨朱秦尤许何吕施张孔曹严华金魏陶姜单曾"
                             "解查区仇朴翟欧阳上官司马诸葛乐缪覃";
    const QString given = "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰霞平刚桂玉萍红玲燕春菊凤洁梅琳"
                          "云莲雪荣爱香月瑞佳嘉琼珍莉叶晶妍茜秋珊莎婷颖露瑶怡雁蓓丹蓉君琴蕊薇梦岚重长行";
    std::mt19937 rng(1000);
    auto pick = [&rng](const QString& from) { return from.at(static_cast<int>(rng() % from.size())); };
    QStringList names;
    while (names.size() < 1000) {
        if (names.size() % 7 == 6) {
            names << names.at(static_cast<int>(rng() % names.size()));
            continue;
        }
        QString n = QString(pick(surnames)) + pick(given);
        if (rng() % 3 != 0)
            n += pick(given);
        names << n;
    }
    return names;
}

// A business and accounts file as an earlier version left them: the same
// tables, with the sort indexes in the columns' own order.
void makeEarlierFiles(const QString& business, const QString& accounts, const QStringList& customers)
{
    QString err;
    QVERIFY2(schema::createDatabaseFiles(business, accounts, "pw", &err), qPrintable(err));
    auto db = Database::open(business, &err);
    QVERIFY2(db, qPrintable(err));
    for (const char* ix : {"salse_员工姓名", "jinhuo_商品名称", "guke_姓名", "salary_姓名"}) {
        const QString name = QString("ix_%1").arg(QString::fromUtf8(ix));
        const QString table = name.section('_', 1, 1);
        const QString column = name.section('_', 2);
        QVERIFY(db->exec(QString("DROP INDEX %1").arg(quoteIdent(name + "_pinyin"))).ok);
        QVERIFY(db->exec(QString("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                             .arg(quoteIdent(name), table, quoteIdent(column)))
                    .ok);
    }
    QVERIFY(insertNames(*db, "guke", "姓名", customers));
    QVERIFY(db->exec("PRAGMA wal_checkpoint(TRUNCATE)").ok);
    auto acc = Database::open(accounts, &err);
    QVERIFY2(acc, qPrintable(err));
    QVERIFY(acc->exec("DROP INDEX ix_username_pinyin").ok);
    QVERIFY(acc->exec("PRAGMA wal_checkpoint(TRUNCATE)").ok);
}

QStringList indexNames(Database& db)
{
    QStringList names;
    const auto rows = db.selectAll("SELECT name FROM sqlite_master WHERE type = 'index'");
    for (const QVariantList& row : rows.value.value_or(QList<QVariantList>{}))
        names << row.value(0).toString();
    return names;
}

} // namespace

class TstPinyinOrder : public QObject {
    Q_OBJECT
private slots:
    void listsInPinyinOrder_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("expected");
        const QStringList surnames = {"李", "王", "张", "赵"};
        QTest::newRow("surnames, index")
            << "guke"
            << "姓名" << false << QStringList{"赵", "张", "王", "李"} << surnames;
        QTest::newRow("surnames, no index")
            << "numbercard"
            << "顾客姓名" << false << QStringList{"王", "赵", "李", "张"} << surnames;
        // Digits, then Latin letters without regard to case (equal ones in
        // stored order), then Chinese; a shorter text before its longer forms.
        const QStringList mixed = {"张三", "abc", "李四", "2号", "Zoe",  "ABD",
                                   "阿姨", "ABC", "",     "张",  "王五", "张a"};
        const QStringList mixedSorted = {"",     "2号",  "abc",  "ABC", "ABD", "Zoe",
                                         "阿姨", "李四", "王五", "张",  "张a", "张三"};
        QTest::newRow("mixed Latin and Chinese, index") << "guke"
                                                        << "姓名" << false << mixed << mixedSorted;
        QTest::newRow("mixed Latin and Chinese, no index") << "salse"
                                                           << "商品名称" << false << mixed << mixedSorted;
        QStringList reversed = mixedSorted;
        std::reverse(reversed.begin(), reversed.end());
        QTest::newRow("mixed, descending, no index") << "salse"
                                                     << "商品名称" << true << mixed << reversed;
        // Figures and dates keep the order of their text.
        QTest::newRow("figures") << "jinhuo"
                                 << "进货价格" << false << QStringList{"9.5", "10", "-2", "100"}
                                 << QStringList{"-2", "10", "100", "9.5"};
    }
    void listsInPinyinOrder()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(bool, descending);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, expected);
        TestEnv env;
        QVERIFY(insertNames(env.db(), table, column, stored));
        RecordModel m(env.db());
        m.setPageSize(16);
        QVERIFY(m.setSource(RecordSource{table, {column}, {}, {}}.orderBy(column, descending)).ok);
        QCOMPARE(readColumn(m, 0), expected);
    }

    // A thousand names read page by page (small pages, few kept) come in the
    // order of the library's own collator, ties in stored order.
    void thousandNamesInTheCollatorsOrder_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("descending");
        QTest::newRow("index") << "guke"
                               << "姓名" << false;
        QTest::newRow("no index") << "numbercard"
                                  << "顾客姓名" << false;
        QTest::newRow("no index, descending") << "numbercard"
                                              << "顾客姓名" << true;
    }
    void thousandNamesInTheCollatorsOrder()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(bool, descending);
        TestEnv env;
        const QStringList names = thousandNames();
        QVERIFY(insertNames(env.db(), table, column, names));

        QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        QList<int> order(names.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return collator.compare(names.at(a), names.at(b)) < 0; });
        if (descending)
            std::reverse(order.begin(), order.end());
        QStringList expected;
        QList<qint64> expectedRowids;
        for (int i : order) {
            expected << names.at(i);
            expectedRowids << i + 1;
        }
        QVERIFY(expected != names);

        RecordModel m(env.db());
        m.setPageSize(16);
        m.setMaxCachedPages(3);
        QVERIFY(m.setSource(RecordSource{table, {column}, {}, {}}.orderBy(column, descending)).ok);
        QList<qint64> rowids;
        QCOMPARE(readColumn(m, 0, &rowids), expected);
        QCOMPARE(rowids, expectedRowids);
        // Evicted pages read back the same rows.
        for (int r = 0; r < m.rowCount(); r += 37)
            QCOMPARE(m.rowidAt(r), expectedRowids.at(r));
    }

    // Every sort an index served before is still served by one (the first
    // page and the pages after it), and the look-ups the windows make by a
    // column whose index now sorts in pinyin order still use an index.
    void indexesServeSortsAndLookUps_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("index");
        QTest::addColumn<QStringList>("lookUp"); // the columns of a key look-up
        const QStringList none;
        auto row = [](const char* name, const char* table, const char* column, const char* index,
                      const QStringList& lookUp) {
            QTest::newRow(name) << QString::fromUtf8(table) << QString::fromUtf8(column)
                                << QString::fromUtf8(index) << lookUp;
        };
        // Employees' business, goods by name and code, customers by number and name.
        row("salse 员工姓名", "salse", "员工姓名", "ix_salse_员工姓名_pinyin", {"员工姓名"});
        row("jinhuo 商品名称", "jinhuo", "商品名称", "ix_jinhuo_商品名称_pinyin", {"商品名称", "产品编号"});
        row("guke 姓名", "guke", "姓名", "ix_guke_姓名_pinyin", {"编号", "姓名"});
        row("salary 姓名", "salary", "姓名", "ix_salary_姓名_pinyin", none);
        row("username", "username", "username", "ix_username_pinyin", {"username"});
        row("salse 业务日期", "salse", "业务日期", "ix_salse_业务日期", {"业务日期"});
        row("salse 卡号", "salse", "卡号", "ix_salse_卡号", {"卡号"});
        row("salse 产品编号", "salse", "产品编号", "ix_salse_产品编号", {"产品编号"});
        row("jinhuo 产品编号", "jinhuo", "产品编号", "ix_jinhuo_产品编号", {"产品编号"});
        row("numbercard 卡号", "numbercard", "卡号", "ix_numbercard_卡号", {"卡号"});
        row("guke 编号", "guke", "编号", "ix_guke_编号", {"编号"});
        row("shouzhi 日期", "shouzhi", "日期", "ix_shouzhi_日期", {"日期"});
    }
    void indexesServeSortsAndLookUps()
    {
        if (test::testsOnServer())
            QSKIP("about the file engine's query plans");
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QString, index);
        QFETCH(QStringList, lookUp);
        TestEnv env;
        Database& db = table == "username" ? env.accounts() : env.db();
        QStringList values;
        for (int i = 0; i < 200; ++i)
            values << QString("名%1").arg(i % 60);
        QVERIFY(insertNames(db, table, column, values));

        StatementLog log(db);
        RecordModel m(db);
        m.setPageSize(16);
        QVERIFY(m.setSource(RecordSource::all(table).orderBy(column)).ok);
        m.fetchMore();
        m.fetchMore(); // from here on, a sort of the whole result would read a list of rowids
        QList<Condition> key;
        for (const QString& c : lookUp)
            key << Condition{c, Op::Eq, c == column ? "名7" : ""};
        if (!key.isEmpty())
            QVERIFY(rows::firstRowid(db, table, key));
        log.stop();

        const QStringList reads = log.rowReads();
        QCOMPARE(reads.size(), key.isEmpty() ? 3 : 4);
        for (int i = 0; i < 3; ++i) {
            const QString plan = planOf(db, reads.at(i)).join('|');
            QVERIFY2(!plan.contains("TEMP B-TREE"), qPrintable(reads.at(i) + " → " + plan));
            QVERIFY2(plan.contains(QString("INDEX %1").arg(index)), qPrintable(reads.at(i) + " → " + plan));
            // Later pages start where the last one ended, not at the first row.
            if (i > 0)
                QVERIFY2(plan.startsWith("SEARCH"), qPrintable(reads.at(i) + " → " + plan));
        }
        if (!key.isEmpty()) {
            const QString plan = planOf(db, reads.last()).join('|');
            QVERIFY2(plan.contains(QRegularExpression("^SEARCH \\S+ USING (COVERING )?INDEX")),
                     qPrintable(reads.last() + " → " + plan));
        }

        // One value's rows in stored order (an employee's business, a
        // customer's records): found by an index, with no sort.
        StatementLog one(db);
        QVERIFY(m.setSource(RecordSource::all(table).filter(column, Op::Eq, "名7")).ok);
        QCOMPARE(m.rowCount(), 4);
        one.stop();
        const QString plan = planOf(db, one.rowReads().value(0)).join('|');
        QVERIFY2(plan.startsWith("SEARCH") && !plan.contains("TEMP B-TREE"), qPrintable(plan));
    }

    // Files of an earlier version get the pinyin indexes in place of the old
    // ones when they are opened at start or restored from a backup; they
    // then pass the integrity check and sort in pinyin order by the index.
    void earlierFilesUpgradedOnOpen_data()
    {
        QTest::addColumn<bool>("restored");
        QTest::newRow("opened at start") << false;
        QTest::newRow("restored from a backup") << true;
    }
    void earlierFilesUpgradedOnOpen()
    {
        if (test::testsOnServer())
            QSKIP("about files of an earlier version");
        QFETCH(bool, restored);
        const QStringList customers = {"赵", "张", "王", "李"};
        QTemporaryDir dir;
        ScriptedMessages messages;
        ScriptedPrinting printing;
        const ProgramPaths paths{dir.path()};
        AppContext ctx(paths, std::make_unique<FixedClock>(QDateTime(QDate(2026, 12, 7), QTime(9, 0))),
                       std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat),
                       messages, printing);
        QString err;
        if (restored) {
            QVERIFY(schema::createDatabaseFiles(paths.businessDb(), paths.accountsDb(), "pw", &err));
            QVERIFY2(ctx.openDatabases(&err), qPrintable(err));
            const QString backup = QDir(paths.backupDir()).filePath("2026-12-01_09-00-00");
            makeEarlierFiles(QDir(backup).filePath("database.db"), QDir(backup).filePath("userid.db"),
                             customers);
            if (QTest::currentTestFailed())
                return;
            const auto r = ctx.restoreFromBackup(backup);
            QVERIFY2(r.ok, qPrintable(r.error));
        } else {
            makeEarlierFiles(paths.businessDb(), paths.accountsDb(), customers);
            if (QTest::currentTestFailed())
                return;
            QVERIFY2(ctx.openDatabases(&err), qPrintable(err));
        }

        const QStringList business = indexNames(ctx.business());
        for (const char* name :
             {"ix_salse_员工姓名", "ix_jinhuo_商品名称", "ix_guke_姓名", "ix_salary_姓名"}) {
            QVERIFY2(business.contains(QString::fromUtf8(name) + "_pinyin"), name);
            QVERIFY2(business.contains(QString::fromUtf8(name)), name); // kept for equalities
        }
        QVERIFY(indexNames(ctx.accounts()).contains("ix_username_pinyin"));
        for (const QString& file : {paths.businessDb(), paths.accountsDb()})
            QCOMPARE(checkDatabaseFile(file, false), QString("ok"));

        StatementLog log(ctx.business());
        RecordModel m(ctx.business());
        QVERIFY(m.setSource(RecordSource{"guke", {"姓名"}, {}, {}}.orderBy("姓名")).ok);
        QCOMPARE(readColumn(m, 0), (QStringList{"李", "王", "张", "赵"}));
        log.stop();
        const QStringList plan = planOf(ctx.business(), log.rowReads().value(0));
        QCOMPARE(plan, QStringList{"SCAN guke USING COVERING INDEX ix_guke_姓名_pinyin"});
    }

    // Indexes made under another version of the collator's order (here: a
    // reversed order standing in for a changed ICU) are rebuilt when the
    // file is opened, so they pass the full check and serve sorts in order.
    void indexesOfAnotherOrderRebuilt()
    {
        if (test::testsOnServer())
            QSKIP("about the collator version a file keeps");
        QTemporaryDir dir;
        const QString business = dir.filePath("database.db");
        QString err;
        QVERIFY2(schema::createDatabaseFiles(business, dir.filePath("userid.db"), "pw", &err),
                 qPrintable(err));
        {
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(business).constData(), &raw), SQLITE_OK);
            auto reversed = [](void*, int an, const void* a, int bn, const void* b) {
                const int c = std::memcmp(a, b, static_cast<size_t>(std::min(an, bn)));
                return c != 0 ? -c : bn - an;
            };
            QCOMPARE(sqlite3_create_collation(raw, "PINYIN", SQLITE_UTF8, nullptr, reversed), SQLITE_OK);
            for (const char* name : {"张", "李", "赵", "王", "Bob", "alice"})
                QCOMPARE(sqlite3_exec(raw,
                                      qPrintable(QString("INSERT INTO guke (编号, 姓名) VALUES ('%1', '%1')")
                                                     .arg(QString::fromUtf8(name))),
                                      nullptr, nullptr, nullptr),
                         SQLITE_OK);
            QCOMPARE(sqlite3_exec(raw, "PRAGMA user_version = 1", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(raw);
        }
        QVERIFY(checkDatabaseFile(business, false) != "ok"); // out of order for this collator

        auto db = Database::open(business, &err);
        QVERIFY2(db, qPrintable(err));
        QVERIFY2(schema::upgradeBusinessTables(*db, &err), qPrintable(err));
        QCOMPARE(checkDatabaseFile(business, false), QString("ok"));
        RecordModel m(*db);
        QVERIFY(m.setSource(RecordSource{"guke", {"姓名"}, {}, {}}.orderBy("姓名")).ok);
        QCOMPARE(readColumn(m, 0), (QStringList{"alice", "Bob", "李", "王", "张", "赵"}));
        // The file now records the order it is indexed in.
        QCOMPARE(static_cast<quint32>(db->selectOne("PRAGMA user_version")->value(0).toLongLong()),
                 collation::pinyinVersion());
    }
};

QTEST_MAIN(TstPinyinOrder)
#include "tst_pinyin_order.moc"

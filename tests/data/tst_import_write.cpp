// The import's write: the checked rows in one transaction, cards with their
// ledger rows, and nothing at all written when it fails, is cancelled or
// finds the tables changed since the preview.
#include "data/card_ledger.h"
#include "data/import_write.h"
#include "data/money.h"
#include "data/schema.h"
#include "support/test_env.h"

#include <QFile>
#include <QTest>

using namespace shop;
using namespace shop::test;
using namespace shop::imports;

Q_DECLARE_METATYPE(shop::imports::Kind)

namespace {

namespace goods = schema::jinhuo;
namespace card = schema::numbercard;

QString writeFile(const QString& dir, const QString& text)
{
    const QString path = dir + "/in.csv";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A preview of `text` read to its end.
std::unique_ptr<ImportPreview> previewOf(TestEnv& env, Kind kind, const QString& text, bool updates = false)
{
    auto p = std::make_unique<ImportPreview>(env.db(), kind);
    if (!p->open(writeFile(env.dir(), text)))
        qFatal("cannot open: %s", qPrintable(p->error()));
    p->setUpdates(updates);
    while (!p->atEnd())
        if (!p->readMore(1000))
            qFatal("cannot read: %s", qPrintable(p->error()));
    return p;
}

// `n` goods lines, codes G1..Gn.
QString goodsFile(int n)
{
    QString text = "商品名称,产品编号,进货价格,零售价格,库存数量\n";
    for (int i = 1; i <= n; ++i)
        text += QStringLiteral("商品%1,G%1,10,20,%2\n").arg(i).arg(i % 7);
    return text;
}

// What the tables an import may touch hold.
QList<QList<QStringList>> tablesOf(TestEnv& env)
{
    return {env.rows(goods::kTable),          env.rows(card::kTable),
            env.rows(schema::kawu::kTable),   env.rows(schema::guke::kTable),
            env.rows(schema::worker::kTable), env.rows(schema::liushui::kTable)};
}

// Every index of the database with its definition, as the engine keeps it.
QList<QStringList> indexesOf(TestEnv& env)
{
    const auto rows = env.db().selectAll(
        env.db().onServer()
            ? "SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = current_schema() ORDER BY 1"
            : "SELECT name, sql FROM sqlite_master WHERE type = 'index' ORDER BY 1");
    if (!rows)
        qFatal("cannot read the indexes: %s", qPrintable(rows.error()));
    QList<QStringList> out;
    for (const QVariantList& r : *rows)
        out << QStringList{r.value(0).toString(), r.value(1).toString()};
    return out;
}

} // namespace

class TstImportWrite : public QObject {
    Q_OBJECT
private slots:
    // Added rows get every column the file feeds (the others empty); an
    // updated row gets the cells the file has for it and keeps the others
    // (a blank cell loses nothing stored); refused rows are left out.
    void addsAndUpdates()
    {
        TestEnv env;
        env.insert(goods::kTable,
                   {"洗发水", "A1", "500ml", "12", "10", "20", "5", "日化", "2024-01-02", "旧"});
        env.insert(goods::kTable, {"洗发水", "a1", "1L", "", "10", "30", "9", "", "", "第二条"});
        const auto p = previewOf(env, Kind::Goods,
                                 "商品名称,产品编号,进货价格,零售价格,库存数量,说明\n"
                                 "洗发水,A1,10,25,8, \n护发素,B1,12,24,3,新\n发蜡,B2,x,1,1,\n",
                                 true);
        const Written w = writeRows(env.db(), *p);
        QCOMPARE(int(w.outcome), int(Written::Outcome::Written));
        QCOMPARE(w.added, qsizetype(1));
        QCOMPARE(w.updated, qsizetype(1));
        QCOMPARE(w.tables, (QStringList{goods::kTable, schema::liushui::kTable}));
        QCOMPARE(
            env.rows(goods::kTable),
            (QList<QStringList>{{"洗发水", "A1", "500ml", "12", "10", "25", "8", "日化", "2024-01-02", "旧"},
                                {"洗发水", "a1", "1L", "", "10", "30", "9", "", "", "第二条"},
                                {"护发素", "B1", "", "", "12", "24", "3", "", "", "新"}}));
        // The stock each line was given, in the stock ledger beside it: the
        // added line from nothing, the updated one from what it held.
        const auto ledger = env.db().selectAll("SELECT 商品记录号, 产品编号, 类别, 原库存, 新库存, 进货价格, "
                                               "原因 FROM kucun_liushui ORDER BY rowid");
        QVERIFY(ledger.found());
        QList<QStringList> rows;
        for (const QVariantList& r : *ledger) {
            QStringList texts;
            for (const QVariant& v : r)
                texts << v.toString();
            rows << texts;
        }
        QCOMPARE(rows, (QList<QStringList>{{"1", "A1", "导入", "5", "8", "10", "从文件导入"},
                                           {"3", "B1", "导入", "0", "3", "12", "从文件导入"}}));
    }

    // Each imported card has its 导入 row in the card ledger: its balance and
    // uses, no money received; an update that changes its figures has one
    // too. Neither counts as money received nor as balance given that day.
    void cardsWithTheirLedgerRows()
    {
        TestEnv env;
        env.insert(card::kTable, {"2024-01-01", "C9", "", "某人", "", "0", "3", "月卡", ""});
        const qsizetype kept = env.rows(schema::kawu::kTable).size();
        const auto p = previewOf(env, Kind::Cards,
                                 "开卡日期,卡号,经手人,顾客姓名,金额,次数,卡类型\n"
                                 "2024-01-02,C1,李娜,张三,0,10,月卡\n,C2,,李四,500,,钻石卡\n"
                                 ",C9,,某人,0,8,月卡\n,C3,,,0,1,月卡\n",
                                 true);
        const Written w = writeRows(env.db(), *p);
        QCOMPARE(int(w.outcome), int(Written::Outcome::Written));
        QCOMPARE(w.tables, (QStringList{card::kTable, schema::kawu::kTable}));
        QCOMPARE(env.rows(card::kTable),
                 (QList<QStringList>{{"2024-01-01", "C9", "", "某人", "", "0", "8", "月卡", ""},
                                     {"2024-01-02", "C1", "李娜", "张三", "", "0", "10", "月卡", ""},
                                     {"", "C2", "", "李四", "", "500", "", "钻石卡", ""}}));
        // 时间 卡号 类别 原金额 新金额 原次数 新次数 收款金额 操作员 经手人 业务编号 备注 卡记录号
        const QString now = env.db().writeTime();
        QCOMPARE(env.rows(schema::kawu::kTable).mid(kept),
                 (QList<QStringList>{{now, "C1", "导入", "", "0", "", "10", "", "", "李娜", "", "", "2"},
                                     {now, "C2", "导入", "", "500", "", "", "", "", "", "", "", "3"},
                                     {now, "C9", "导入", "0", "0", "3", "8", "", "", "", "", "", "1"}}));
        const auto totals = money::ledgerTotals(env.db(), money::ledgerDay(env.ctx().today()));
        QVERIFY(totals.found());
        QCOMPARE(totals->received.total, 0.0);
        QCOMPARE(totals->freeBalance.total, 0.0);
        QCOMPARE(totals->freeUses.total, 0.0);
    }

    // Texts with what a bulk write must carry as it is (a tab, a quote, a
    // backslash, line breaks, what reads as "no value" or an end of data):
    // stored as the file had them, in the line and in its ledger row.
    void textsKeptAsTheyWere_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("before"); // the cells before the text
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("column");
        QTest::newRow("goods name") << Kind::Goods << "产品编号,进货价格,零售价格,库存数量,商品名称"
                                    << "G1,10,20,3," << goods::kTable << 0;
        QTest::newRow("customer address") << Kind::Customers << "编号,姓名,通信地址"
                                          << "C1,张三," << schema::guke::kTable << 6;
    }
    void textsKeptAsTheyWere()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, heading);
        QFETCH(QString, before);
        QFETCH(QString, table);
        QFETCH(int, column);
        const QString text = "甲\t乙\"丙\\丁\n戊\r\n己\\N\t\\.\n\\";
        TestEnv env;
        const auto p = previewOf(
            env, kind, heading + "\n" + before + "\"" + QString(text).replace("\"", "\"\"") + "\"\n");
        QCOMPARE(p->counts().added, qsizetype(1));
        const Written w = writeRows(env.db(), *p);
        QCOMPARE(int(w.outcome), int(Written::Outcome::Written));
        const QList<QStringList> rows = env.rows(table);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).at(column), text);
        if (kind == Kind::Goods)
            QCOMPARE(env.rows(schema::liushui::kTable).value(0).value(2), text);
    }

    // A statement that fails at a row past the first slices sent, a cancel
    // at the first report and one just before the commit, and a record
    // stored since the preview: the tables stay as they were.
    void nothingWrittenUnlessWhole_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("fault"); // fail:<table>:<condition>, cancel:<call>, stored
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("error");
        const QString cards = "卡号,顾客姓名,金额,次数,卡类型\nK1,张三,0,5,月卡\nK2,李四,100,,钻石卡\n";
        QTest::newRow("goods: fails at row 4501")
            << Kind::Goods << goodsFile(5000) << "fail:jinhuo:NEW.\"产品编号\" = 'G4500'"
            << int(Written::Outcome::Failed) << "磁盘已满";
        QTest::newRow("goods: the ledger row of row 4501 fails")
            << Kind::Goods << goodsFile(5000) << "fail:kucun_liushui:NEW.\"产品编号\" = 'G4500'"
            << int(Written::Outcome::Failed) << "磁盘已满";
        // Large enough for the table's indexes to be built again at the end.
        QTest::newRow("goods, large: fails at row 11991")
            << Kind::Goods << goodsFile(12000) << "fail:jinhuo:NEW.\"产品编号\" = 'G11990'"
            << int(Written::Outcome::Failed) << "磁盘已满";
        QTest::newRow("goods, large: cancelled before the commit")
            << Kind::Goods << goodsFile(12000) << "cancel:7" << int(Written::Outcome::Cancelled) << "";
        QTest::newRow("cards: the ledger row of the second card fails")
            << Kind::Cards << cards << "fail:kawu:NEW.\"卡号\" = 'K2'" << int(Written::Outcome::Failed)
            << "磁盘已满";
        QTest::newRow("goods: cancelled at the first report")
            << Kind::Goods << goodsFile(5000) << "cancel:1" << int(Written::Outcome::Cancelled) << "";
        QTest::newRow("goods: cancelled before the commit")
            << Kind::Goods << goodsFile(5000) << "cancel:3" << int(Written::Outcome::Cancelled) << "";
        QTest::newRow("cards: cancelled before the commit")
            << Kind::Cards << cards << "cancel:1" << int(Written::Outcome::Cancelled) << "";
        QTest::newRow("cards: stored since the preview")
            << Kind::Cards << cards << "stored" << int(Written::Outcome::Changed)
            << "第 3 行：卡号“K2” 的会员卡已存在。";
    }
    void nothingWrittenUnlessWhole()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, file);
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        QFETCH(QString, error);
        TestEnv env;
        env.insert(goods::kTable, {"旧货", "Z1", "", "", "1", "2", "3", "", "", ""});
        env.insert(card::kTable, {"", "Z9", "", "旧人", "", "0", "3", "月卡", ""});
        const auto p = previewOf(env, kind, file);
        QCOMPARE(p->counts().refused, qsizetype(0));
        int calls = 0;
        WriteProgress progress;
        if (fault.startsWith("fail:"))
            QVERIFY(addFailingTrigger(env.db(), "import_fault",
                                      "BEFORE INSERT ON " + fault.section(':', 1, 1), "磁盘已满",
                                      fault.section(':', 2)));
        else if (fault.startsWith("cancel:"))
            progress = [&calls, at = fault.section(':', 1).toInt()](qsizetype, qsizetype) {
                return ++calls < at;
            };
        else
            env.insert(card::kTable, {"", "k2", "", "别人", "", "0", "1", "年卡", ""});
        const auto before = tablesOf(env);
        const auto indexes = indexesOf(env);
        const Written w = writeRows(env.db(), *p, progress);
        QCOMPARE(int(w.outcome), outcome);
        if (outcome == int(Written::Outcome::Failed))
            QVERIFY2(w.error.contains(error), qPrintable(w.error));
        else
            QCOMPARE(w.error, error);
        QCOMPARE(tablesOf(env), before);
        QCOMPARE(indexesOf(env), indexes);
        QVERIFY(w.tables.isEmpty());
        QCOMPARE(w.added, qsizetype(0));
        // The connection is whole again: a later import writes.
        if (fault.startsWith("fail:"))
            QVERIFY(dropTrigger(env.db(), "import_fault"));
        if (outcome != int(Written::Outcome::Changed)) {
            const Written again = writeRows(env.db(), *p);
            QCOMPARE(int(again.outcome), int(Written::Outcome::Written));
            QCOMPARE(env.rows(tableOf(kind)).size(),
                     before.at(kind == Kind::Goods ? 0 : 1).size() + p->size());
            // Built again as they were.
            QCOMPARE(indexesOf(env), indexes);
        }
    }
};

QTEST_MAIN(TstImportWrite)
#include "tst_import_write.moc"

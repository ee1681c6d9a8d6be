// Reading a shop's CSV as spreadsheets save it, and the verdict on each row
// before an import writes anything.
#include "data/csv_export.h"
#include "data/import_preview.h"
#include "data/schema.h"
#include "support/test_env.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace shop;
using namespace shop::test;
using namespace shop::imports;

Q_DECLARE_METATYPE(shop::CsvEncoding)
Q_DECLARE_METATYPE(shop::imports::Kind)

namespace {

QString writeFile(const QString& dir, const QByteArray& bytes)
{
    const QString path = dir + "/in.csv";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray encoded(const QString& text, const char* encoding)
{
    QStringEncoder e(encoding);
    return e.encode(text);
}

// Every record of a file as "row:cell|cell", the heading first.
QStringList recordsOf(CsvReader& reader)
{
    QStringList out{"1:" + reader.headings().join('|')};
    CsvRecord r;
    while (reader.next(r))
        out << QString::number(r.row) + ':' + r.cells.join('|');
    return out;
}

// The program's own rows, each with cells that quoting, line breaks and the
// formula guard must bring back as they were.
QList<QStringList> trickyRows(Kind kind)
{
    switch (kind) {
    case Kind::Goods:
        return {{"洗发水, 大瓶", "A001", "500ml", "12", "10.50", "20", "100", "上海\"日化\"", "2024-01-02",
                 "第一行\r\n第二行"},
                {"=SUM(A1)", "-abc", "", "", "0", "0.5", "0", "+86 138", "2024-02-29", "'quoted"},
                {" 前后空格 ", "a\tb", "-7", "", "3", "4", "5", "@x", "", "只有\n换行"}};
    case Kind::Cards:
        return {{"2024-01-02", "A1", "王芳", "张三", "洗剪吹", "0", "10", "月卡", "备注,有逗号"},
                {"", "=B2", "", "李\"四\"", "", "500.00", "", "钻石卡", "line1\nline2"}};
    case Kind::Customers:
        return {
            {"001", "张三", "男", "1990-05", "13800138000", "2024-01-02", "上海市,黄浦区", "喜欢\"短发\""},
            {"001", "李四", "", "", "-", "", "", "'不是公式"}};
    case Kind::Employees:
        return {{"王芳", "女", "1992-03", "大专", "上海", "未婚", "发型师", "3500", "13900000000",
                 "2023-06-01", "310101199203030022", "地址\r\n二行"},
                {"李娜", "", "", "", "", "", "", "", "", "", "X1", "=1+2"}};
    }
    return {};
}

} // namespace

class TstCsvImport : public QObject {
    Q_OBJECT
private slots:
    // Records as a spreadsheet reads them, whatever the chunks the file is
    // read in: the row numbers are the spreadsheet's.
    void records_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("comma, CRLF") << QByteArray("a,b\r\n1,2\r\n") << QStringList{"1:a|b", "2:1|2"};
        QTest::newRow("tab separated") << QByteArray("a\tb\r\nx,y\tz\r\n") << QStringList{"1:a|b", "2:x,y|z"};
        QTest::newRow("quoted line breaks") << QByteArray("a,b\r\n\"l1\nl2\",x\r\n\"c\r\nd\",y\r\nz,w\r\n")
                                            << QStringList{"1:a|b", "2:l1\nl2|x", "3:c\r\nd|y", "4:z|w"};
        QTest::newRow("quotes doubled, separators quoted")
            << QByteArray("a,b\n\"say \"\"hi\"\"\",\"1,2\"\n") << QStringList{"1:a|b", "2:say \"hi\"|1,2"};
        QTest::newRow("quote inside text, text after a closing quote")
            << QByteArray("a,b\nx\"y,\"q\"r\n") << QStringList{"1:a|b", "2:x\"y|qr"};
        QTest::newRow("blank lines keep their row")
            << QByteArray("a\n\n,\nb") << QStringList{"1:a", "2:", "3:|", "4:b"};
        QTest::newRow("CR line ends") << QByteArray("a,b\rc,d\r") << QStringList{"1:a|b", "2:c|d"};
        QTest::newRow("the export's formula guard")
            << QByteArray("a\n'=1+2\n\"'=a,b\"\n'-abc\n'abc\n'-5\n'\n")
            << QStringList{"1:a", "2:=1+2", "3:=a,b", "4:-abc", "5:'abc", "6:'-5", "7:'"};
    }
    void records()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString path = writeFile(dir.path(), file);
        for (const qsizetype chunk : {1, 2, 5, 1 << 18}) {
            CsvReader reader(chunk);
            QVERIFY2(reader.open(path), qPrintable(reader.error()));
            QCOMPARE(recordsOf(reader), expected);
            QVERIFY2(!reader.failed(), qPrintable(reader.error()));
        }
    }

    // UTF-8 with and without a byte-order mark, GB18030 as a spreadsheet on
    // a Chinese system saves it (a short file too, where ICU's detector has
    // little to go on), UTF-16 with its mark.
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<CsvEncoding>("encoding");
        QTest::addColumn<QStringList>("expected");
        const QString text = "卡号,顾客姓名,卡类型\r\nA1,张三𠀀,月卡\r\nB2,\"李四,㐀\",钻石卡\r\n";
        const QStringList cells{"1:卡号|顾客姓名|卡类型", "2:A1|张三𠀀|月卡", "3:B2|李四,㐀|钻石卡"};
        QTest::newRow("UTF-8 with a mark") << "\xEF\xBB\xBF" + text.toUtf8() << CsvEncoding::Utf8 << cells;
        QTest::newRow("UTF-8") << text.toUtf8() << CsvEncoding::Utf8 << cells;
        QTest::newRow("GB18030") << encoded(text, "GB18030") << CsvEncoding::Gb18030 << cells;
        QTest::newRow("GBK, two lines") << encoded("姓名\r\n张三\r\n", "GB18030") << CsvEncoding::Gb18030
                                        << QStringList{"1:姓名", "2:张三"};
        QTest::newRow("UTF-16LE with a mark")
            << encoded(QChar(0xFEFF) + text, "UTF-16LE") << CsvEncoding::Utf16LE << cells;
        QTest::newRow("UTF-16BE with a mark")
            << encoded(QChar(0xFEFF) + text, "UTF-16BE") << CsvEncoding::Utf16BE << cells;
    }
    void encodings()
    {
        QFETCH(QByteArray, file);
        QFETCH(CsvEncoding, encoding);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString path = writeFile(dir.path(), file);
        for (const qsizetype chunk : {1, 3, 1 << 18}) {
            CsvReader reader(chunk);
            QVERIFY2(reader.open(path), qPrintable(reader.error()));
            QCOMPARE(reader.encoding(), encoding);
            QCOMPARE(recordsOf(reader), expected);
            QVERIFY2(!reader.failed(), qPrintable(reader.error()));
        }
    }

    // A file that cannot be read on says why and where, never with a
    // replacement character in a cell.
    void faults_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("rowsRead");
        QTest::newRow("empty") << QByteArray() << "文件是空的：第一行应是各列的名称。" << 0;
        QTest::newRow("a mark only") << QByteArray("\xEF\xBB\xBF") << "文件是空的：第一行应是各列的名称。"
                                     << 0;
        const QByteArray start = QByteArray("a,b\r\n") + QByteArray(70 * 1024, 'x') + ",y\r\n";
        QTest::newRow("not UTF-8 past the start")
            << start + "1,\xE5\x95\r\n2,3\r\n"
            << "第 3 行有不是 UTF-8 文本的字节：文件可能已损坏，或混用了两种编码。" << 1;
        QTest::newRow("cut off at the end")
            << start + "1,\xE5\x95"
            << "第 3 行有不是 UTF-8 文本的字节：文件可能已损坏，或混用了两种编码。" << 1;
        QTest::newRow("not GB18030 past the start")
            << encoded("商品名称,产品编号\r\n" + QString("洗发水,A1\r\n").repeated(7000), "GB18030") +
                   "\x81\x20,x\r\n"
            << "第 7002 行有不是 GB18030 文本的字节：文件可能已损坏，或混用了两种编码。" << 7000;
        QTest::newRow("quote left open") << QByteArray("a,b\r\n1,2\r\n3,\"x\r\n4,5\r\n")
                                         << "第 3 行的引号没有配对：从这里到文件末尾都在一个单元格里。" << 1;
        QTest::newRow("Shift_JIS") << encoded("商品名称,产品编号\r\nシャンプー,A1\r\nリンス,A2\r\n",
                                              "Shift_JIS")
                                   << "文件不是 UTF-8 或 GB18030（GBK）编码的文本（看来是 Shift_JIS "
                                      "编码）。请在表格程序中把它另存为 UTF-8 "
                                      "或 GBK 编码的 CSV 文件。"
                                   << 0;
    }
    void faults()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        QFETCH(int, rowsRead);
        QTemporaryDir dir;
        CsvReader reader(4096);
        int read = 0;
        if (reader.open(writeFile(dir.path(), file))) {
            CsvRecord r;
            while (reader.next(r)) {
                QVERIFY(!r.cells.join("").contains(QChar::ReplacementCharacter));
                ++read;
            }
        }
        QCOMPARE(reader.error(), error);
        QCOMPARE(read, rowsRead);
    }

    // The program's export of each table reads back as it was stored, and
    // every row would be added to empty tables; against the tables it came
    // from, every row is a stored record.
    void roundTrip_data()
    {
        QTest::addColumn<Kind>("kind");
        for (Kind k : allKinds())
            QTest::newRow(qPrintable(kindText(k))) << k;
    }
    void roundTrip()
    {
        QFETCH(Kind, kind);
        TestEnv source;
        for (const QStringList& r : trickyRows(kind))
            source.insert(tableOf(kind), r);
        QList<CsvColumn> columns;
        for (const QString& c : columnsOf(kind))
            columns << CsvColumn{c, c};
        const QString file = source.dir() + "/export.csv";
        QCOMPARE(exportCsv(source.db(), RecordSource::all(tableOf(kind)), columns, file).outcome,
                 CsvOutcome::Written);
        const QList<QStringList> stored = source.rows(tableOf(kind));

        TestEnv empty;
        for (const bool intoEmpty : {true, false}) {
            ImportPreview p(intoEmpty ? empty.db() : source.db(), kind);
            QVERIFY2(p.open(file), qPrintable(p.error()));
            QVERIFY(p.columns().unmatched().isEmpty());
            QVERIFY2(p.readMore(1000), qPrintable(p.error()));
            QVERIFY(p.atEnd());
            QCOMPARE(p.size(), stored.size());
            for (qsizetype i = 0; i < p.size(); ++i) {
                QCOMPARE(p.values(i), stored.at(i));
                QCOMPARE(p.row(i), i + 2);
                QCOMPARE(int(p.verdict(i).refusal), int(intoEmpty ? Refusal::None : Refusal::Exists));
            }
            QCOMPARE(p.counts().added, intoEmpty ? stored.size() : 0);
            QCOMPARE(p.counts().refused, intoEmpty ? 0 : stored.size());
            p.setUpdates(true);
            QCOMPARE(p.counts().updated, intoEmpty ? 0 : stored.size());
            QCOMPARE(p.counts().added, intoEmpty ? stored.size() : 0);
        }
    }

    // Each reason a row is refused, with its row and column; a stored record
    // becomes an update only when updates are asked for.
    void verdicts_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("withoutUpdates");
        QTest::addColumn<QStringList>("withUpdates");
        const QString added = "新增";
        const QString updated = "更新已有的记录";
        const QString range = "超出范围：“%1”（应不小于 0，且不超过 15 位有效数字）。";
        QStringList goods{"第 2 行「商品名称」为空。",
                          "第 3 行「进货价格」不是数字：“十元”。",
                          "第 4 行「库存数量」" + range.arg("-3"),
                          "第 5 行「零售价格」" + range.arg("1234567890123456"),
                          "第 6 行「进货日期」不是“年-月-日”形式的日期（如 2024-03-08）：“2024/1/2”。",
                          added,
                          "第 8 行：商品名称“洗发水”、产品编号“a1”、进货价格“10” 与第 7 行重复。",
                          added,
                          "第 10 行的单元格比标题行多：多出的单元格不属于任何一列。",
                          added,
                          "第 13 行「每箱件数」不是数字：“1,5”。",
                          "第 14 行：商品名称“精华液”、产品编号“B1”、进货价格“30” 的商品已存在。"};
        QTest::newRow("goods") << Kind::Goods
                               << QStringList{"精华液", "b1", "", "", "30", "40", "1", "", "", ""}
                               << "商品名称,产品编号,进货价格,零售价格,库存数量,进货日期,每箱件数\n"
                                  " ,A0,10,20,5,,\n护发素,A3,十元,20,5,,\n护发素,A4,10,20,-3,,\n"
                                  "护发素,A5,10,1234567890123456,5,,\n护发素,A6,10,20,5,2024/1/2,\n"
                                  "洗发水,A1,10,20,5,2024-01-02,\n洗发水,a1,10,20,5,,\n洗发水,A1,11,20,5,,\n"
                                  "发蜡,A7,10,20,5,,,多余\n发蜡,A8, 12.50 ,20,0.000000000000001,,,\n,,,,,,\n"
                                  "发蜡,A9,10,20,5,,\"1,5\"\n精华液,B1,30,40,1,,\n"
                               << goods << goods.mid(0, 11) + QStringList{updated};
        QStringList cards{added,
                          added,
                          "第 4 行「次数」为空。",
                          "第 5 行「卡类型」“金卡”不是本程序的卡类型。",
                          "第 6 行：卡号“c1” 与第 2 行重复。",
                          "第 7 行：卡号“C9” 的会员卡已存在。",
                          "第 8 行「金额」不是数字：“abc”。",
                          "第 9 行「开卡日期」不是“年-月-日”形式的日期（如 2024-03-08）：“2024-13-01”。",
                          "第 10 行「卡号」为空。",
                          "第 11 行「顾客姓名」为空。",
                          "第 12 行「金额」为空。"};
        QTest::newRow("cards")
            << Kind::Cards << QStringList{"", "C9", "", "某人", "", "0", "3", "月卡", ""}
            << "开卡日期,卡号,顾客姓名,金额,次数,卡类型\n2024-01-02,C1,张三,0,10,月卡\n,C2,李四,500,,钻石卡\n"
               ",C3,王五,,,月卡\n,C4,赵六,100,,金卡\n,c1,孙七,0,5,季卡\n,C9,周八,0,5,年卡\n,C5,吴九,abc,5,"
               "其它\n"
               "2024-13-01,C6,郑十,0,5,月卡\n,,钱一,0,5,月卡\n,C7,,0,5,月卡\n,C8,冯二,,5,钻石卡\n"
            << cards << cards.mid(0, 5) + QStringList{updated} + cards.mid(6);
        QStringList employees{added,
                              "第 3 行：员工姓名“王芳”已被另一位员工使用。",
                              "第 4 行：员工姓名“李娜”与第 2 行的另一位员工相同。",
                              "第 5 行：身份证号码“id2” 与第 2 行重复。",
                              "第 6 行：身份证号码“ID1” 的员工已存在。",
                              "第 7 行「薪金」不是数字：“3千”。",
                              "第 8 行「身份证号码」为空。"};
        QTest::newRow("employees") << Kind::Employees
                                   << QStringList{"王芳", "", "", "", "", "", "", "", "", "", "id1", ""}
                                   << "姓名,身份证号码,薪金,入职日期\n李娜,ID2,3000,2024-01-02\n王芳,ID3,"
                                      "3000,\n李娜,ID4,,\n刘洋,id2,,\n"
                                      "王芳,ID1,4000,\n陈静,ID5,3千,\n陈静,,,\n"
                                   << employees
                                   << employees.mid(0, 4) + QStringList{updated} + employees.mid(5);
        QStringList customers{"第 2 行：编号“001”、姓名“张三” 的顾客已存在。", added,
                              "第 4 行：编号“001”、姓名“李四” 与第 3 行重复。", "第 5 行「姓名」为空。",
                              "第 6 行「创建日期」不是“年-月-日”形式的日期（如 2024-03-08）：“2024-1-2”。"};
        QTest::newRow("customers")
            << Kind::Customers << QStringList{"001", "张三", "", "", "", "", "", ""}
            << "编号,姓名,创建日期\n001,张三,\n001,李四,2024-01-02\n001,李四,\n002,,\n003,赵,2024-1-2\n"
            << customers << QStringList{updated} + customers.mid(1);
    }
    void verdicts()
    {
        QFETCH(Kind, kind);
        QFETCH(QStringList, stored);
        QFETCH(QString, file);
        QFETCH(QStringList, withoutUpdates);
        QFETCH(QStringList, withUpdates);
        TestEnv env;
        env.insert(tableOf(kind), stored);
        ImportPreview p(env.db(), kind);
        QVERIFY2(p.open(writeFile(env.dir(), file.toUtf8())), qPrintable(p.error()));
        QCOMPARE(p.missingColumns(), QString());
        // A first screen, then the rest: the rows before count against later ones.
        QVERIFY(p.readMore(3));
        QVERIFY(p.readMore(100));
        QVERIFY(p.atEnd());
        for (const bool updates : {false, true, false}) {
            p.setUpdates(updates);
            QStringList texts;
            for (qsizetype i = 0; i < p.size(); ++i)
                texts << p.verdictText(i);
            const QStringList& expected = updates ? withUpdates : withoutUpdates;
            QCOMPARE(texts, expected);
            QCOMPARE(p.counts().added, expected.count("新增"));
            QCOMPARE(p.counts().updated, expected.count("更新已有的记录"));
            QCOMPARE(p.counts().refused, expected.size() - p.counts().added - p.counts().updated);
        }
    }

    // A real spreadsheet's CSV (Gnumeric's ssconvert, GB18030, from a sheet
    // made of a goods file): CRLF between rows but a bare LF inside a cell,
    // a four-byte character, and what the spreadsheet made of the cells
    // (dates in its own form, leading zeros and the apostrophe gone).
    void spreadsheetFile()
    {
        TestEnv env;
        ImportPreview p(env.db(), Kind::Goods);
        QVERIFY2(p.open(QFINDTESTDATA("data/fixtures/goods_gnumeric_gb18030.csv")), qPrintable(p.error()));
        QCOMPARE(p.reader().encoding(), CsvEncoding::Gb18030);
        QVERIFY(p.readMore(10) && p.atEnd());
        QCOMPARE(p.size(), qsizetype(4));
        QCOMPARE(p.values(0), (QStringList{"洗发水", "A001", "500ml", "12", "10.5", "20", "100",
                                           "上海\"日化\"", "2024/01/02", "第一行\n第二行"}));
        QCOMPARE(p.values(1),
                 (QStringList{"护发素, 大瓶", "7", "", "6", "8", "15.5", "0", "", "", "=SUM(A1)"}));
        QCOMPARE(p.values(2).first(), "发蜡𠀀");
        QStringList texts;
        for (qsizetype i = 0; i < p.size(); ++i)
            texts << QString::number(p.row(i)) + ' ' + p.verdictText(i);
        QCOMPARE(texts, (QStringList{
                            "2 第 2 行「进货日期」不是“年-月-日”形式的日期（如 2024-03-08）：“2024/01/02”。",
                            "3 新增", "4 新增",
                            "5 第 5 行「库存数量」超出范围：“-5”（应不小于 0，且不超过 15 位有效数字）。"}));
    }

    // Headings the table lacks are left for the person to map or skip; a
    // required column missing is said before any row is read, and a mapping
    // checks the rows read again.
    void columns()
    {
        namespace goods = schema::jinhuo;
        TestEnv env;
        ImportPreview p(env.db(), Kind::Goods);
        QVERIFY(
            p.open(writeFile(env.dir(), "商品 名称,产品编号,进价,零售价格,库存数量,供 应 商,备注,产品编号\n"
                                        "洗发水,A1,10,20,5,日化,好,X\n")));
        QCOMPARE(p.columns().unmatched(), (QList<int>{2, 6, 7}));
        QCOMPARE(p.columns().target(5), goods::kSupplier);
        QCOMPARE(p.missingColumns(), "商品资料文件缺少必需的列：「进货价格」。文件的第一行应是各列的名称。");
        QVERIFY(!p.readMore(10));
        QCOMPARE(p.error(), p.missingColumns());
        QCOMPARE(p.size(), qsizetype(0));

        QVERIFY(p.assign(2, goods::kPurchasePrice));
        QCOMPARE(p.columns().unmatched(), (QList<int>{6, 7}));
        QVERIFY(p.readMore(10));
        QCOMPARE(p.values(0), (QStringList{"洗发水", "A1", "", "", "10", "20", "5", "日化", "", ""}));
        QCOMPARE(p.verdictText(0), "新增");
        QCOMPARE(p.cell(0, 6), "好");
        QVERIFY(p.assign(6, goods::kDate));
        QCOMPARE(p.verdictText(0), "第 2 行「进货日期」不是“年-月-日”形式的日期（如 2024-03-08）：“好”。");
        QVERIFY(p.assign(7, goods::kCode));
        QCOMPARE(p.columns().target(1), QString());
        QCOMPARE(p.values(0).at(1), "X");
        QVERIFY(p.assign(6, QString()));
        QVERIFY(p.columns().unmatched().isEmpty());
        QCOMPARE(p.counts().added, qsizetype(1));
        QVERIFY(!p.assign(0, "没有这一列"));
    }
};

QTEST_MAIN(TstCsvImport)
#include "tst_csv_import.moc"

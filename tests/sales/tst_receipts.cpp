// Receipts at the counter: printed after the stored sale as 系统设置 says,
// laid out for the paper with the transaction's own figures; a failed print
// or a missing printer never touches the sale; 补打小票 prints it again.
#include "sales/business_window.h"
#include "sales/receipt.h"
#include "sales/sales_records_window.h"
#include "ui/record_view.h"
#include "support/pdf_tools.h"
#include "support/test_env.h"
#include "support/ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace shop;
using namespace shop::test;

namespace {

// Columns a line takes: two for a Chinese character.
int columns(const QString& line)
{
    int n = 0;
    for (QChar c : line)
        n += c.unicode() >= 0x2E80 ? 2 : 1;
    return n;
}

// The text of a PDF file as laid out on the page.
QString pdfText(const QString& file)
{
    return toolOutput("pdftotext", {"-layout", "-enc", "UTF-8", file, "-"});
}

// The lines of a text with the runs of blanks between words as one blank:
// what a PDF reader gives back of columns laid out with blanks.
QStringList words(const QString& text)
{
    QStringList out;
    for (const QString& line : text.split(QRegularExpression("[\\n\\f]"), Qt::SkipEmptyParts))
        if (!line.simplified().isEmpty())
            out << line.simplified();
    return out;
}

} // namespace

class TstReceipts : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void receiptOfEachSale_data();
    void receiptOfEachSale();
    void longValuesWrap_data();
    void longValuesWrap();
    void printingNeverTouchesTheSale_data();
    void printingNeverTouchesTheSale();
    void noPrinterSaidOncePerStart_data();
    void noPrinterSaidOncePerStart();
    void reprint_data();
    void reprint();

private:
    // Receipts on, on `paper`, printed on `printer`.
    void receiptsOn(const QString& paper = "58", const QString& printer = {});
    BusinessWindow* openBusiness();
    // A sale entered as a person enters it: the boxes clicked, the fields
    // typed, the product looked up by Enter, 保存 pressed and confirmed.
    // The boxes stay ticked after a sale: `tick` false leaves them. The
    // confirmation is answered Yes, the boxes after it by `answers`.
    void sell(const QString& type, const QString& card, bool tick = true,
              const QList<QMessageBox::StandardButton>& answers = {});

    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<BusinessWindow> w_;
};

void TstReceipts::init()
{
    env_ = std::make_unique<TestEnv>();
    env_->ctx().setLogin("ZED", "M");
    env_->ctx().settings().setValue("settings/CompanyName", "街角洗车行");
    env_->insert("jinhuo",
                 {"车用香水（大瓶装）", "P1", "瓶", "24", "2", "12.5", "5", "供应商甲", "2026-11-01", ""});
    env_->insert("numbercard", {"2026-01-01", "M00010001", "李四", "王五", "洗车", "0", "10", "月卡", ""});
    env_->insert("numbercard", {"2026-01-01", "D00020002", "李四", "赵六", "洗车", "100", "0", "钻石卡", ""});
}

void TstReceipts::cleanup()
{
    w_.reset();
    env_.reset();
}

void TstReceipts::receiptsOn(const QString& paper, const QString& printer)
{
    QSettings& s = env_->ctx().settings();
    s.setValue("settings/ReceiptOn", true);
    s.setValue("settings/ReceiptPaper", paper);
    s.setValue("settings/ReceiptPrinter", printer);
}

BusinessWindow* TstReceipts::openBusiness()
{
    w_ = std::make_unique<BusinessWindow>(env_->ctx());
    if (!showActive(w_.get()))
        qFatal("the business window does not become active");
    return w_.get();
}

void TstReceipts::sell(const QString& type, const QString& card, bool tick,
                       const QList<QMessageBox::StandardButton>& answers)
{
    BusinessWindow* w = w_.get();
    if (tick && type.contains("goods"))
        QTest::mouseClick(child<QCheckBox>(w, "shangpin"), Qt::LeftButton, {}, QPoint(5, 5));
    if (tick && type.contains("service"))
        QTest::mouseClick(child<QCheckBox>(w, "qita"), Qt::LeftButton, {}, QPoint(5, 5));
    test::type(child<QLineEdit>(w, "txt_card_number"), card);
    if (type.contains("goods")) {
        test::type(child<QLineEdit>(w, "txt_production_code"), "P1");
        pressEnter(w, "txt_production_code");
        test::type(child<QLineEdit>(w, "txt_quantily"), "2");
    }
    test::type(child<QLineEdit>(w, "txt_money"), "30");
    if (type.contains("service"))
        test::type(child<QLineEdit>(w, "txt_service"), "洗车");
    test::type(child<QComboBox>(w, "com_name"), "张三");
    env_->messages().answer(QMessageBox::Yes);
    for (QMessageBox::StandardButton a : answers)
        env_->messages().answer(a);
    press(w, "cmd_save");
}

// Each kind of sale on each paper: the lines fit the width, the values are
// the sale's and the card's as the sale left it, and the PDF of the slip
// reads as the text printed.
void TstReceipts::receiptOfEachSale_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("paper");
    QTest::addColumn<int>("width");         // characters a line
    QTest::addColumn<qreal>("pageMm");      // the page's width
    QTest::addColumn<QStringList>("shown"); // label, value, label, value...
    QTest::addColumn<QStringList>("absent");

    const QStringList goods{"商品名称", "车用香水（大瓶装）", "数量", "2", "单价", "12.5元", "金额", "25"};
    const QStringList service{"服务项目", "洗车"};
    const QStringList usesLeft{"卡号", "****0001", "卡类型", "月卡", "剩余次数", "9"};
    const QStringList balanceLeft{"卡号", "****0002", "卡类型", "钻石卡", "卡内余额", "70"};
    const QStringList common{"单号", "1",      "时间", "2026-12-07 10:00:00", "实收金额", "30", "员工",
                             "张三", "收银员", "ZED"};
    QTest::newRow("goods, no card, 58 mm")
        << "goods"
        << ""
        << "58" << 32 << 58.0 << common + goods + QStringList{"业务类型", "商品销售", "卡号", "非会员"}
        << QStringList{"服务项目", "剩余次数", "卡内余额", "重印时间"};
    QTest::newRow("service, card of uses, 58 mm")
        << "service"
        << "M00010001"
        << "58" << 32 << 58.0 << common + service + usesLeft + QStringList{"业务类型", "其它服务"}
        << QStringList{"商品名称", "卡内余额"};
    QTest::newRow("goods and service, stored-value card, 80 mm")
        << "goods service"
        << "D00020002"
        << "80" << 48 << 80.0
        << common + goods + service + balanceLeft + QStringList{"业务类型", "商品销售+其它服务"}
        << QStringList{"剩余次数"};
    QTest::newRow("goods, card of uses, 80 mm")
        << "goods"
        << "M00010001"
        << "80" << 48 << 80.0 << common + goods + usesLeft << QStringList{"服务项目", "卡内余额"};
    QTest::newRow("service, stored-value card, A5")
        << "service"
        << "D00020002"
        << "A5" << 64 << 148.0 << common + service + balanceLeft << QStringList{"商品名称", "剩余次数"};
}

void TstReceipts::receiptOfEachSale()
{
    QFETCH(QString, type);
    QFETCH(QString, card);
    QFETCH(QString, paper);
    QFETCH(int, width);
    QFETCH(qreal, pageMm);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, absent);

    QTemporaryDir pdfs;
    env_->printing().setPrinter(true);
    env_->printing().writePdfsTo(pdfs.path());
    receiptsOn(paper, "前台小票机");
    openBusiness();
    sell(type, card);
    QTRY_COMPARE(env_->printing().printed().size(), 1);
    QCOMPARE(shownAll(*env_), QStringList{ask("请确认你输入的资料是否正确，然后再保存！ ", "保存")});
    QCOMPARE(env_->rows("salse").size(), 1);

    const Printed& p = env_->printing().printed().first();
    QCOMPARE(p.kind, Printed::Direct);
    QCOMPARE(p.printer, QString("前台小票机"));
    QCOMPARE(p.title, QString("销售小票"));
    const QStringList lines = p.text.split('\n');
    QCOMPARE(lines.value(0).trimmed(), QString("街角洗车行"));
    QCOMPARE(lines.value(1).trimmed(), QString("销售小票"));
    QCOMPARE(lines.last().trimmed(), QString("谢谢惠顾"));
    for (const QString& line : lines)
        QVERIFY2(columns(line) <= width, qPrintable(line));
    for (qsizetype i = 0; i + 1 < shown.size(); i += 2) {
        const QRegularExpression pair("^" + QRegularExpression::escape(shown.at(i)) + " +" +
                                      QRegularExpression::escape(shown.at(i + 1)) + "$");
        QVERIFY2(lines.indexOf(pair) >= 0, qPrintable(shown.at(i) + " " + shown.at(i + 1) + "\n" + p.text));
    }
    for (const QString& label : absent)
        QVERIFY2(lines.indexOf(QRegularExpression(label + "( .*)?")) < 0, qPrintable(label));

    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    const QList<QSizeF> pages = pdfPageSizes(p.pdf);
    QCOMPARE(pages.size(), 1);
    QVERIFY2(qAbs(pages.first().width() - pageMm) < 0.5, qPrintable(QString::number(pages.first().width())));
    const QString text = pdfText(p.pdf);
    QCOMPARE(words(text), words(p.text));
    for (QChar c : text)
        QVERIFY2(c.unicode() < 0x2E80 || c.unicode() > 0x2FDF, qPrintable(text));
}

// Values too long for a line go on the lines below their label, cut at the
// width (a Chinese character is never split across the edge), and read
// back whole; a line break stored in a value does not break the layout.
void TstReceipts::longValuesWrap_data()
{
    QTest::addColumn<QString>("paper");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("name");
    QTest::newRow("58 mm, Chinese") << "58" << 32 << QString("进口汽车专用高级全合成机油保养套装含机滤");
    QTest::newRow("58 mm, odd width at the edge") << "58" << 32 << QString("A") + QString(20, QChar(0x6C7D));
    QTest::newRow("80 mm, mixed") << "80" << 48
                                  << QString("Castrol EDGE 5W-30 全合成机油 4L 装（附赠机滤一个）");
    QTest::newRow("58 mm, a stored line break") << "58" << 32 << QString("机油\n保养");
}

void TstReceipts::longValuesWrap()
{
    QFETCH(QString, paper);
    QFETCH(int, width);
    QFETCH(QString, name);

    Receipt r;
    r.company = "街角洗车行汽车美容养护连锁中心（人民路旗舰店）";
    r.type = "商品销售";
    r.productName = name;
    r.quantity = "1";
    r.price = "368元";
    r.received = "368";
    const QStringList lines = receiptLines(r, receiptColumns(paper));
    for (const QString& line : lines)
        QVERIFY2(columns(line) <= width, qPrintable(line));
    // The name beside its label, or on the lines below it.
    const int next = lines.indexOf(QRegularExpression("^数量 +1$"));
    const int at = lines.indexOf(QRegularExpression("商品名称( .*)?"));
    QVERIFY2(at >= 0 && next > at, qPrintable(lines.join('\n')));
    QString back = lines.at(at).mid(4);
    for (int i = at + 1; i < next; ++i)
        back += lines.at(i);
    QCOMPARE(back.remove(' '), QString(name).remove('\n').remove(' '));
    const int title = lines.indexOf(QRegularExpression("^ *销售小票$"));
    QCOMPARE(lines.mid(0, title).join(QString()).remove(' '), r.company);
}

// A print that fails says why after the sale was stored; the sale and the
// card's charge stay, and the entry is ready for the next sale. With
// receipts off nothing is printed or said.
void TstReceipts::printingNeverTouchesTheSale_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("printer");   // chosen in the settings
    QTest::addColumn<QString>("fault");     // the printer's failure; empty: none
    QTest::addColumn<QStringList>("after"); // what is said after the confirmation
    QTest::addColumn<int>("printed");

    const QString hint = "\n本笔业务已经保存，可在表格的右键菜单中选择“补打小票”重新打印。";
    QTest::newRow("the printer fails")
        << true << ""
        << "打印机缺纸" << QStringList{stop("小票打印失败：打印机缺纸" + hint, "打印错误")} << 0;
    QTest::newRow("the chosen printer is gone")
        << true << "旧打印机"
        << "" << QStringList{stop("小票打印失败：找不到打印机“旧打印机”" + hint, "打印错误")} << 0;
    QTest::newRow("printed") << true << ""
                             << "" << QStringList{} << 1;
    QTest::newRow("receipts off") << false << ""
                                  << "" << QStringList{} << 0;
}

void TstReceipts::printingNeverTouchesTheSale()
{
    QFETCH(bool, on);
    QFETCH(QString, printer);
    QFETCH(QString, fault);
    QFETCH(QStringList, after);
    QFETCH(int, printed);

    env_->printing().setPrinter(true);
    if (on)
        receiptsOn("58", printer);
    if (!fault.isEmpty())
        env_->printing().failNext(fault);
    openBusiness();
    sell("goods service", "M00010001");
    QTest::qWait(50);
    QTRY_COMPARE(shownAll(*env_),
                 QStringList{ask("请确认你输入的资料是否正确，然后再保存！ ", "保存")} + after);
    QCOMPARE(env_->printing().printed().size(), printed);
    // Stored with its charge; the entry cleared for the next sale.
    QCOMPARE(env_->rows("salse").size(), 1);
    QCOMPARE(env_->rows("salse_history").size(), 1);
    QCOMPARE(env_->rows("numbercard").first().value(6), QString("9"));
    QCOMPARE(env_->rows("jinhuo").first().value(6), QString("3"));
    QCOMPARE(textOf(w_.get(), "txt_card_number"), QString());
    QCOMPARE(focusName(), QString("txt_card_number"));
}

// No printer installed while receipts are on: said at the first sale after
// the start, with the offer to turn receipts off or to save the receipt as a
// PDF file; not at the next sale.
void TstReceipts::noPrinterSaidOncePerStart_data()
{
    QTest::addColumn<QString>("answer"); // "off", "pdf", "pdf cancelled"
    QTest::addColumn<bool>("stillOn");
    QTest::newRow("turn receipts off") << "off" << false;
    QTest::newRow("save the receipt as PDF") << "pdf" << true;
    QTest::newRow("PDF file not chosen") << "pdf cancelled" << true;
}

void TstReceipts::noPrinterSaidOncePerStart()
{
    QFETCH(QString, answer);
    QFETCH(bool, stillOn);

    receiptsOn();
    QTemporaryDir out;
    const QString file = out.filePath("小票1.pdf");
    if (answer == "pdf")
        env_->messages().answerFile(file);
    openBusiness();
    sell("service", "D00020002", true, {answer == "off" ? QMessageBox::Yes : QMessageBox::No});
    const QString confirm = ask("请确认你输入的资料是否正确，然后再保存！ ", "保存");
    QStringList said{confirm, ask("没有安装打印机，小票无法打印。\n要关闭“打印小票”吗？\n"
                                  "选“否”将本张小票另存为PDF文件。",
                                  "打印小票")};
    if (answer == "pdf")
        said << info("小票已保存为PDF文件：\n" + QDir::toNativeSeparators(file));
    QTRY_COMPARE(shownAll(*env_).size(), said.size() + (answer == "off" ? 0 : 1));
    QStringList shown = shownAll(*env_);
    if (answer != "off")
        shown.removeAt(2); // the file dialog
    QCOMPARE(shown, said);
    QCOMPARE(env_->ctx().receiptSettings().on, stillOn);
    QCOMPARE(QFileInfo::exists(file), answer == "pdf");
    if (answer == "pdf") {
        const QString text = pdfText(file);
        QVERIFY2(text.contains(QRegularExpression("卡内余额 +70")), qPrintable(text));
    }

    // The next sale of the same start says nothing more.
    env_->messages().clear();
    sell("service", "D00020002", false);
    QTest::qWait(50);
    QCOMPARE(shownAll(*env_), QStringList{confirm});
    QCOMPARE(env_->rows("salse").size(), 2);
    QCOMPARE(env_->messages().unusedAnswers(), 0);
}

// 补打小票 from the popup of the business grid and of the sales records
// browser: the selected sale's receipt again, marked 重印, receipts on or
// off; without a printer the PDF file is offered.
void TstReceipts::reprint_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("printer");
    QTest::newRow("business grid") << "frmyewu"
                                   << "reprint_receipt" << true;
    QTest::newRow("sales records") << "frm_salse"
                                   << "reprint_receipt" << true;
    QTest::newRow("sales records, no printer") << "frm_salse"
                                               << "reprint_receipt" << false;
    QTest::newRow("business grid, preview without a printer") << "frmyewu"
                                                              << "preview_receipt" << false;
    QTest::newRow("sales records, preview") << "frm_salse"
                                            << "preview_receipt" << true;
}

void TstReceipts::reprint()
{
    QFETCH(QString, window);
    QFETCH(QString, item);
    QFETCH(bool, printer);
    const bool preview = item == "preview_receipt";

    env_->insert("salse",
                 {"2026-12-01", "其它服务", "M00010001", "", "", "", "", "", "20", "打蜡", "李四", "", "0"});
    env_->insert("salse", {"2026-12-02", "商品销售", "非会员", "P1", "车用香水（大瓶装）", "3", "12.5元",
                           "2026-11-01", "37.5", "", "张三", "", "0"});
    env_->printing().setPrinter(printer);
    env_->clock().set(QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5)));
    std::unique_ptr<QWidget> w;
    RecordView* grid = nullptr;
    if (window == "frmyewu") {
        grid = openBusiness()->grid();
    } else {
        auto* records = new SalesRecordsWindow(env_->ctx());
        w.reset(records);
        QVERIFY(showActive(records));
        grid = records->grid();
    }
    QTemporaryDir out;
    const QString file = out.filePath("重印.pdf");
    if (!printer && !preview) {
        env_->messages().answer(QMessageBox::Yes);
        env_->messages().answerFile(file);
    }
    env_->ctx().settings().setValue("settings/ReceiptPaper", "80");
    clickRow(grid, 1);
    action(grid->window(), qPrintable(item))->trigger();

    QString text;
    if (printer || preview) {
        QCOMPARE(shownAll(*env_), QStringList{});
        QCOMPARE(env_->printing().printed().size(), 1);
        const Printed& p = env_->printing().printed().first();
        QCOMPARE(p.kind, preview ? Printed::Preview : Printed::Direct);
        QVERIFY(p.paper && p.paper->roll && p.paper->sizeMm.width() == 80);
        text = p.text;
    } else {
        QCOMPARE(env_->messages().shown().size(), 3);
        QCOMPARE(shown(env_->messages().shown().first()),
                 ask("没有安装打印机，小票无法打印。\n是否将小票另存为PDF文件？", "打印小票"));
        text = pdfText(file);
    }
    const QStringList lines = words(text);
    QCOMPARE(lines.value(1), QString("销售小票（重印）"));
    for (const QString line :
         {"单号 2", "时间 2026-12-02", "商品名称 车用香水（大瓶装）", "数量 3", "金额 37.5", "实收金额 37.5",
          "卡号 非会员", "员工 张三", "重印时间 2026-12-08 09:30:05", "重印人 ZED"})
        QVERIFY2(lines.contains(line), qPrintable(QString(line) + "\n" + text));
}

QTEST_MAIN(TstReceipts)
#include "tst_receipts.moc"

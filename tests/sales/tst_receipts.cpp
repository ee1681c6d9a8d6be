// Receipts at the counter: printed after the stored sale as 系统设置 says,
// laid out for the paper with the transaction's own figures; a failed print
// or a missing printer never touches the sale; 补打小票 prints it again.
#include "sales/business_window.h"
#include "sales/sale_service.h"
#include "sales/sales_records_window.h"
#include "ui/record_view.h"
#include "support/pdf_tools.h"
#include "support/test_env.h"
#include "support/ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace shop;
using namespace shop::test;
using Answers = QList<QMessageBox::StandardButton>;

namespace {

// Columns a line takes: two for a Chinese character.
int columns(const QString& line)
{
    int n = 0;
    for (QChar c : line)
        n += c.unicode() >= 0x2E80 ? 2 : 1;
    return n;
}

// The lines of a text, runs of blanks as one: a PDF's text as laid out on
// the page compares with the text printed so.
QStringList words(const QString& text)
{
    QStringList out;
    for (const QString& line : text.split(QRegularExpression("[\\n\\f]"), Qt::SkipEmptyParts))
        if (!line.simplified().isEmpty())
            out << line.simplified();
    return out;
}

const QString kConfirm = ask("请确认你输入的资料是否正确，然后再保存！ ", "保存");

// A line of `width` columns with `text` in its middle.
QString centred(const QString& text, int width)
{
    return QString((width - columns(text)) / 2, u' ') + text;
}

} // namespace

class TstReceipts : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { w_.reset(), env_.reset(); }

    void receiptOfEachSale_data();
    void receiptOfEachSale();
    void theSaleStays_data();
    void theSaleStays();
    void reprint_data();
    void reprint();

private:
    void receiptsOn(const QString& paper = "58", const QString& printer = {});
    BusinessWindow* openBusiness();
    // A sale entered as a person enters it: the boxes clicked (they stay
    // ticked for the next sale), the fields typed, the product looked up by
    // Enter, 保存 pressed and confirmed; `answers` answer what follows.
    void sell(const QString& type, const QString& card, bool tick = true, const Answers& answers = {});

    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<BusinessWindow> w_;
};

void TstReceipts::init()
{
    env_ = std::make_unique<TestEnv>();
    env_->ctx().setLogin("ZED", "M");
    env_->ctx().settings().setValue("settings/CompanyName", "街角洗车行");
    env_->insert("jinhuo",
                 {"车用香水（大瓶装）", "P1", "瓶", "24", "2", "12.5", "5", "甲", "2026-11-01", ""});
    env_->insert("jinhuo", {"进口汽车专用全合成机油保养套装（附赠机滤 1 个）", "P2", "套", "1", "2", "368",
                            "5", "甲", "2026-11-01", ""});
    env_->insert("numbercard", {"2026-01-01", "M00010001", "李四", "王五", "洗车", "0", "10", "月卡", ""});
    env_->insert("numbercard", {"2026-01-01", "D00020002", "李四", "赵六", "洗车", "100", "0", "钻石卡", ""});
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

void TstReceipts::sell(const QString& type, const QString& card, bool tick, const Answers& answers)
{
    BusinessWindow* w = w_.get();
    if (tick && type.contains("goods"))
        QTest::mouseClick(child<QCheckBox>(w, "shangpin"), Qt::LeftButton, {}, QPoint(5, 5));
    if (tick && type.contains("service"))
        QTest::mouseClick(child<QCheckBox>(w, "qita"), Qt::LeftButton, {}, QPoint(5, 5));
    test::type(child<QLineEdit>(w, "txt_card_number"), card);
    if (type.contains("goods")) {
        test::type(child<QLineEdit>(w, "txt_production_code"), type.contains("long") ? "P2" : "P1");
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
// the sale's and the card's as the same transaction left it, and the PDF of
// the slip is as wide as the paper and reads as the text printed. The same
// sale again at once (as the first receipt waits) is numbered by its own key.
void TstReceipts::receiptOfEachSale_data()
{
    QTest::addColumn<QString>("sale"); // what was sold, then the card
    QTest::addColumn<QString>("paper");
    QTest::addColumn<QStringList>("shown"); // whole lines, blanks as one
    QTest::addColumn<QStringList>("absent");

    const QStringList common{"街角洗车行", "销售小票", "时间 2026-12-07 10:00:00", "实收金额 30", "员工 张三",
                             "收银员 ZED", "谢谢惠顾"};
    const QStringList goods{"商品名称 车用香水（大瓶装）", "数量 2", "单价 12.5", "金额 25"};
    const QStringList uses{"卡号 ****0001", "卡类型 月卡", "剩余次数 9"};
    const QStringList balance{"卡号 ****0002", "卡类型 钻石卡", "卡内余额 70"};
    QTest::newRow("goods, no card, 58 mm")
        << "goods"
        << "58" << common + goods + QStringList{"业务类型 商品销售", "卡号 非会员"}
        << QStringList{"服务项目", "剩余次数", "卡内余额", "重印时间"};
    QTest::newRow("service, card of uses, 58 mm")
        << "service M00010001"
        << "58" << common + uses + QStringList{"服务项目 洗车"} << QStringList{"商品名称", "卡内余额"};
    QTest::newRow("goods and service, stored-value card, 80 mm")
        << "goods service D00020002"
        << "80" << common + goods + balance + QStringList{"服务项目 洗车", "业务类型 商品销售+其它服务"}
        << QStringList{"剩余次数"};
    QTest::newRow("a name longer than the line, 58 mm")
        << "long goods M00010001"
        << "58" << common + uses + QStringList{"商品名称", "金额 736"} << QStringList{"卡内余额"};
    QTest::newRow("service, stored-value card, A5") << "service D00020002"
                                                    << "A5" << common + balance << QStringList{"商品名称"};
}

void TstReceipts::receiptOfEachSale()
{
    QFETCH(QString, sale);
    QFETCH(QString, paper);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, absent);
    const QString card = sale.section(' ', -1).startsWith("goods") ? QString() : sale.section(' ', -1);
    const int width = paper == "80" ? 48 : paper == "A5" ? 64 : 32;
    const qreal pageMm = paper == "80" ? 80 : paper == "A5" ? 148 : 58;

    QTemporaryDir pdfs;
    env_->printing().setPrinter(true);
    env_->printing().writePdfsTo(pdfs.path());
    receiptsOn(paper, "前台小票机");
    openBusiness();
    sell(sale, card);
    sell(sale, card, false);
    QTRY_COMPARE(env_->printing().printed().size(), 2);
    QCOMPARE(shownAll(*env_), QStringList(2, kConfirm));
    const auto keys = env_->db().selectAll("SELECT rowid FROM salse ORDER BY rowid");
    QVERIFY(keys && keys->size() == 2);

    for (int i = 0; i < 2; ++i) {
        const Printed& p = env_->printing().printed().at(i);
        QCOMPARE(p.printer, QString("前台小票机"));
        QCOMPARE(words(p.text).filter(QRegularExpression("^单号 ")),
                 QStringList{"单号 " + keys->at(i).value(0).toString()});
        for (const QString& line : p.text.split('\n'))
            QVERIFY2(columns(line) <= width, qPrintable(line));
    }
    const Printed& p = env_->printing().printed().first();
    // The paper's own width, every blank counted: the titles centred by the
    // columns their characters take, the rules and the amount's line full.
    const QStringList raw = p.text.split('\n');
    QCOMPARE(raw.mid(0, 3),
             (QStringList{centred("街角洗车行", width), centred("销售小票", width), QString(width, '-')}));
    QCOMPARE(columns(raw.filter(QRegularExpression("^实收金额 ")).value(0)), width);
    const QStringList lines = words(p.text);
    for (const QString& line : shown)
        QVERIFY2(lines.contains(line), qPrintable(line + "\n" + p.text));
    for (const QString& label : absent)
        QVERIFY2(lines.indexOf(QRegularExpression(label + "( .*)?")) < 0, qPrintable(label));
    // A long name goes on the lines below its label, whole.
    if (sale.contains("long"))
        QVERIFY2(lines.join(QString()).remove(' ').contains(
                     "商品名称进口汽车专用全合成机油保养套装（附赠机滤1个）数量"),
                 qPrintable(p.text));

    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    const QList<QSizeF> pages = pdfPageSizes(p.pdf);
    QCOMPARE(pages.size(), 1);
    QVERIFY2(qAbs(pages.first().width() - pageMm) < 0.5, qPrintable(QString::number(pages.first().width())));
    const QString text = pdfText(p.pdf);
    QCOMPARE(words(text), lines);
    for (QChar c : text)
        QVERIFY2(c.unicode() < 0x2E80 || c.unicode() > 0x2FDF, qPrintable(text));
}

// Whatever becomes of the receipt, the sale and its charge are stored and
// the entry is ready for the next sale. A failed print says why; no printer
// is said at the first sale after the start only, with the offer to save
// the receipt as PDF, turn receipts off or skip this one; receipts off say
// nothing.
void TstReceipts::theSaleStays_data()
{
    QTest::addColumn<bool>("printer");
    QTest::addColumn<bool>("on");          // receipts on in the settings
    QTest::addColumn<int>("answer");       // to the no-printer question
    QTest::addColumn<QStringList>("said"); // after the confirmation

    const QString noPrinter =
        withButtons(ask("没有安装打印机，小票无法打印。\n可将本张小票另存为PDF文件，或关闭“打印小票”"
                        "（可在“系统设置”中重新打开）。",
                        "打印小票"),
                    {"另存为PDF", "关闭小票打印", "跳过本张"});
    QTest::newRow("the printer fails")
        << true << true << 0
        << QStringList{stop(
               "小票打印失败：打印机缺纸\n本笔业务已经保存，可在表格的右键菜单中选择“补打小票”重新打印。",
               "打印错误")};
    QTest::newRow("receipts off") << true << false << 0 << QStringList{};
    QTest::newRow("no printer: turn receipts off")
        << false << true << int(QMessageBox::Discard) << QStringList{noPrinter};
    QTest::newRow("no printer: save as PDF")
        << false << true << int(QMessageBox::Save)
        << QStringList{noPrinter, "小票另存为PDF|save|销售小票1.pdf", info("小票已保存为PDF文件：\n<file>")};
    QTest::newRow("no printer: skip this one")
        << false << true << int(QMessageBox::Cancel) << QStringList{noPrinter};
}

void TstReceipts::theSaleStays()
{
    QFETCH(bool, printer);
    QFETCH(bool, on);
    QFETCH(int, answer);
    QFETCH(QStringList, said);

    env_->printing().setPrinter(printer);
    if (on)
        receiptsOn();
    env_->printing().failNext("打印机缺纸");
    QTemporaryDir out;
    const QString file = out.filePath("小票.pdf");
    if (answer == QMessageBox::Save)
        env_->messages().answerFile(file);
    openBusiness();
    sell("goods service", "M00010001", true,
         answer ? Answers{QMessageBox::StandardButton(answer)} : Answers{});
    said.prepend(kConfirm);
    said.replaceInStrings("<file>", QDir::toNativeSeparators(file));
    QTRY_COMPARE(shownAll(*env_), said);
    on = on && answer != QMessageBox::Discard;
    QCOMPARE(env_->ctx().shopSettings().receipt().on, on);
    QCOMPARE(pdfText(file).contains(QRegularExpression("剩余次数 +9")), answer == QMessageBox::Save);
    QCOMPARE(env_->rows("salse").size(), 1);
    QCOMPARE(env_->rows("numbercard").first().value(6), QString("9"));
    QCOMPARE(textOf(w_.get(), "txt_card_number"), QString());
    QCOMPARE(focusName(), QString("txt_card_number"));

    // The next sale of the same start: printed when it can be, nothing said.
    env_->messages().clear();
    const qsizetype printed = env_->printing().printed().size();
    sell("goods service", "M00010001", false);
    QCoreApplication::processEvents(); // the receipt the save queued
    QTRY_COMPARE(shownAll(*env_), QStringList{kConfirm});
    QCOMPARE(env_->printing().printed().size(), printed + (printer && on ? 1 : 0));
    QCOMPARE(env_->rows("salse").size(), 2);
    QCOMPARE(env_->messages().unusedAnswers(), 0);
}

// 补打小票 and 小票预览 in the popups of the business grid and the sales
// records browser: the selected sale's receipt again on the chosen paper,
// receipts on or off, with what its charge left on the card when the ledger
// kept it (not what the card holds now). A reprint is marked 重印, with when and by whom; a preview shows
// the receipt as sold. Without a printer 补打小票 offers the PDF file and
// the preview still shows the receipt.
void TstReceipts::reprint_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("printer");
    QTest::addColumn<QString>("card"); // sold to twice since the ledger
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("shown");

    const QStringList goods =
        QString("单号 2|时间 2026-12-02|商品名称 车用香水（大瓶装）|数量 3|单价 12.5|金额 "
                "37.5|实收金额 37.5|卡号 非会员|员工 张三")
            .split('|');
    const QStringList sold{"单号 3",        "时间 2026-12-03", "服务项目 洗车",
                           "卡号 ****0002", "卡类型 钻石卡",   "卡内余额 70"};
    QTest::newRow("business grid, sold since the ledger")
        << "frmyewu"
        << "reprint_receipt" << true << "D00020002" << 2 << sold;
    QTest::newRow("sales records, a card of uses sold since the ledger")
        << "frm_salse"
        << "reprint_receipt" << true << "M00010001" << 2
        << QStringList{"单号 3", "卡号 ****0001", "卡类型 月卡", "剩余次数 9"};
    QTest::newRow("sales records, from before the ledger, no printer")
        << "frm_salse"
        << "reprint_receipt" << false << "D00020002" << 0
        << QStringList{"单号 1", "卡号 ****0001", "卡类型 月卡", "服务项目 打蜡"};
    QTest::newRow("business grid, preview, no printer")
        << "frmyewu"
        << "preview_receipt" << false << "D00020002" << 1 << goods;
    QTest::newRow("sales records, preview") << "frm_salse"
                                            << "preview_receipt" << true << "D00020002" << 2 << sold;
}

void TstReceipts::reprint()
{
    QFETCH(QString, window);
    QFETCH(QString, item);
    QFETCH(bool, printer);
    QFETCH(QString, card);
    QFETCH(int, row);
    QFETCH(QStringList, shown);
    const bool preview = item == "preview_receipt";

    // Two sales stored before sales had keys and a ledger, then two sold.
    env_->insert("salse",
                 {"2026-12-01", "其它服务", "M00010001", "", "", "", "", "", "20", "打蜡", "李四", "", "0"});
    env_->insert("salse", {"2026-12-02", "商品销售", "非会员", "P1", "车用香水（大瓶装）", "3", "12.5元",
                           "2026-11-01", "37.5", "", "张三", "", "0"});
    SaleEntry e;
    e.service = true;
    e.card = card;
    e.money = "30";
    e.serviceItem = "洗车";
    e.employee = "张三";
    SaleService sales(env_->db());
    QCOMPARE(sales.save(e, sales.check(e), "2026-12-03").kind, SaleOutcome::Saved);
    QCOMPARE(sales.save(e, sales.check(e), "2026-12-04").kind, SaleOutcome::Saved);
    env_->printing().setPrinter(printer);
    env_->ctx().settings().setValue("settings/ReceiptPaper", "80");
    env_->clock().set(QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5)));
    std::unique_ptr<SalesRecordsWindow> records;
    RecordView* grid = nullptr;
    if (window == "frmyewu") {
        grid = openBusiness()->grid();
    } else {
        records = std::make_unique<SalesRecordsWindow>(env_->ctx());
        QVERIFY(showActive(records.get()));
        grid = records->grid();
    }
    QTemporaryDir out;
    const QString file = out.filePath("重印.pdf");
    if (!printer && !preview) {
        env_->messages().answer(QMessageBox::Save);
        env_->messages().answerFile(file);
    }
    clickRow(grid, row);
    action(grid->window(), qPrintable(item))->trigger();

    QString text = pdfText(file);
    if (printer || preview) {
        QCOMPARE(shownAll(*env_), QStringList{});
        QCOMPARE(env_->printing().printed().size(), 1);
        const Printed& p = env_->printing().printed().first();
        QCOMPARE(p.kind, preview ? Printed::Preview : Printed::Direct);
        QVERIFY(p.paper && p.paper->roll && p.paper->sizeMm.width() == 80);
        text = p.text;
    } else {
        QCOMPARE(shownAll(*env_).first(),
                 withButtons(ask("没有安装打印机，小票无法打印。\n可将小票另存为PDF文件。", "打印小票"),
                             {"另存为PDF", "跳过本张"}));
    }
    const QStringList lines = words(text);
    QCOMPARE(lines.value(1), QString(preview ? "销售小票" : "销售小票（重印）"));
    const QStringList marks =
        preview ? QStringList() : QStringList{"重印时间 2026-12-08 09:30:05", "重印人 ZED"};
    QCOMPARE(lines.filter(QRegularExpression("^(重印时间|重印人|收银员) ")), marks);
    for (const QString& line : shown)
        QVERIFY2(lines.contains(line), qPrintable(line + "\n" + text));
    // What is left on the card is said only as the ledger kept it.
    const QRegularExpression left("^(剩余次数|卡内余额) ");
    QCOMPARE(lines.filter(left).size(), shown.filter(left).size());
}

QTEST_MAIN(TstReceipts)
#include "tst_receipts.moc"

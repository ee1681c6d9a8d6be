// Every document the program saves, saved as a person saves it: a PDF
// reads back as the text printed, whatever characters it holds, and no
// document is ever written over the program's own database files.
#include "reports/day_closing_window.h"
#include "reports/overview_widget.h"
#include "sales/sales_records_window.h"
#include "staff/salary_window.h"
#include "support/pdf_tools.h"
#include "support/tab_host.h"
#include "support/test_env.h"
#include "support/ui.h"

#include <QChartView>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

using namespace shop;
using namespace shop::test;

namespace {

// Figures of every digit after Latin letters (where the CJK fonts draw
// other glyphs for them), full-width punctuation, and ideographs whose
// glyphs the fonts share with radicals (工 日 金 车 见 户).
const QString kShop = "A1美发：金工店（No.2）";
const QStringList kSale =
    QString("2026-12-07|商品销售+其它服务|非会员|P0123456789|机油X9876543210，金！|3|45.6元|"
            "2026-11-01|136.8|车见户？|Amy B2||0")
        .split('|');
const QStringList kOtherSale =
    QString("2026-12-07|商品销售|非会员|Q5|Ab 7（日）|2|5|2026-11-01|10||Amy B2||0").split('|');
const QStringList kStatement =
    QString("Mia P0123456789|1234.5元|678元|90|12|34|5|6|7| 2048.5元| 2030.5元").split('|');

// The text as words: a PDF's text laid out on the page against the text
// drawn.
QStringList words(const QString& text)
{
    return text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
}

// A person's way to a document's save dialog: what is said before it, and
// the dialog. The answers to what is asked are queued here.
struct Flow {
    std::unique_ptr<QWidget> window;
    QStringList said;
};

Flow reachSaveDialog(TestEnv& env, const QString& document)
{
    Flow f;
    ScriptedMessages& m = env.messages();
    const auto shown = [&f](QWidget* w) {
        f.window.reset(w);
        return showActive(w);
    };
    const QString noPrinter =
        stop("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！", "打印错误");
    if (document == "slip") {
        // A saved statement, selected, printed without a printer.
        env.insert("salary", kStatement);
        auto* w = new SalaryWindow(env.ctx());
        if (!shown(w))
            return {};
        clickRow(child<RecordView>(w, "bg"), 0);
        m.answer(QMessageBox::Ok);
        m.answer(QMessageBox::Yes);
        press(w, "cmd_prn");
        f.said = QStringList{noPrinter, ask("是否将工资单另存为PDF文件？", "打印"),
                             "另存为PDF|save|Mia P01234567892026-12-07.pdf"};
    } else if (document == "receipt") {
        // 补打小票 of a stored sale without a printer.
        env.insert("salse", kSale);
        auto* w = new SalesRecordsWindow(env.ctx());
        if (!shown(w))
            return {};
        clickRow(w->grid(), 0);
        m.answer(QMessageBox::Save);
        action(w, "reprint_receipt")->trigger();
        f.said = QStringList{
            withButtons(ask("没有安装打印机，小票无法打印。\n可将小票另存为PDF文件。", "打印小票"),
                        {"另存为PDF", "跳过本张"}),
            "小票另存为PDF|save|销售小票1.pdf"};
    } else if (document == "closing") {
        // 日结's 打印 without a printer.
        for (const char* table : {"salse", "salse_history"}) {
            env.insert(table, kSale);
            env.insert(table, kOtherSale);
        }
        auto* w = new DayClosingWindow(env.ctx());
        if (!shown(w))
            return {};
        m.answer(QMessageBox::Ok);
        m.answer(QMessageBox::Yes);
        press(w, "cmd_print");
        f.said = QStringList{noPrinter, ask("是否将日结报表另存为PDF文件？", "打印"),
                             "另存为PDF|save|日结报表2026-12-07.pdf"};
    } else if (document == "chart") {
        // A chart of the overview, from its own menu.
        env.insert("salse", kSale);
        auto* o = new OverviewWidget(env.ctx());
        QSignalSpy read(o, &OverviewWidget::figuresShown);
        o->resize(1200, 700);
        if (!shown(o) || (read.isEmpty() && !read.wait(5000)))
            return {};
        auto* view = child<QChartView>(o, "chart_days");
        QTimer::singleShot(0, [] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
                clickMenuItem(menu, "save_png");
        });
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(20, 20),
                                     view->viewport()->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(view->viewport(), &rightClick);
        f.said = QStringList{"保存图表|save|近30天每日实收金额（点击查看当日业务）.png"};
    }
    return f;
}

} // namespace

class TstDocuments : public QObject {
    Q_OBJECT
private slots:
    void pdfReadsAsPrinted_data();
    void pdfReadsAsPrinted();
    void neverOverADatabase_data();
    void neverOverADatabase();
};

void TstDocuments::pdfReadsAsPrinted_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("saved");       // what is said after the file was written
    QTest::addColumn<QStringList>("printed"); // some of the words on it
    QTest::newRow("salary slip") << "slip"
                                 << "工资单已保存为PDF文件：\n"
                                 << QStringList{"A1美发：金工店（No.2）", "Mia", "P0123456789", "1234.5元"};
    QTest::newRow("receipt") << "receipt"
                             << "小票已保存为PDF文件：\n"
                             << QStringList{"机油X9876543210，金！", "136.8", "车见户？", "B2"};
    QTest::newRow("day's closing") << "closing"
                                   << "日结报表已保存为PDF文件：\n"
                                   << QStringList{"P0123456789", "机油X9876543210，金！", "Q5", "7（日）",
                                                  "147"};
}

void TstDocuments::pdfReadsAsPrinted()
{
    QFETCH(QString, document);
    QFETCH(QString, saved);
    QFETCH(QStringList, printed);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    env.ctx().settings().setValue("settings/CompanyName", kShop);
    QTemporaryDir out;
    const QString pdf = out.filePath("document.pdf");
    env.messages().answerFile(pdf);
    Flow f = reachSaveDialog(env, document);
    QVERIFY(f.window);

    QCOMPARE(shownAll(env), f.said << info(saved + QDir::toNativeSeparators(pdf)));
    QCOMPARE(env.printing().saved().size(), 1);
    const Printed& p = env.printing().saved().first();
    QCOMPARE(p.pdf, pdf);
    const QStringList drawn = words(p.text);
    for (const QString& w : printed)
        QVERIFY2(drawn.contains(w), qPrintable(w + " not in:\n" + p.text));
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QCOMPARE(words(pdfText(pdf)).join(u' '), drawn.join(u' '));
}

void TstDocuments::neverOverADatabase_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("target"); // a file of the database folder
    QTest::newRow("salary slip over the accounts") << "slip"
                                                   << "userid.db";
    QTest::newRow("receipt over the business journal") << "receipt"
                                                       << "database.db-wal";
    QTest::newRow("day's closing over the business") << "closing"
                                                     << "database.db";
    QTest::newRow("chart over the accounts") << "chart"
                                             << "userid.db";
}

void TstDocuments::neverOverADatabase()
{
    QFETCH(QString, document);
    QFETCH(QString, target);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    // Something written already, so that the journal has its head as a file
    // in use has (a new file's first opening writes nothing).
    env.insert("guke", {"001", "张三", "", "", "", "", "", ""});
    const QString file = QDir(env.ctx().paths().databaseDir()).filePath(target);
    QFile db(file);
    QVERIFY(db.open(QIODevice::ReadOnly));
    const QByteArray head = db.read(16);
    db.close();
    env.messages().answerFile(file);
    Flow f = reachSaveDialog(env, document);
    QVERIFY(f.window);

    QCOMPARE(shownAll(env), f.said << stop("不能保存到数据库文件，请另选文件名！"));
    QVERIFY(env.printing().saved().isEmpty());
    QVERIFY(db.open(QIODevice::ReadOnly));
    QCOMPARE(db.read(16), head);
    QVERIFY(env.db().selectAll("SELECT * FROM salse"));
    QCOMPARE(env.messages().unusedAnswers(), 0);
}

QTEST_MAIN(TstDocuments)
#include "tst_integration_documents.moc"

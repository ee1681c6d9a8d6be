// The printing seam: PDF files hold the document's Chinese text as printed,
// whichever font the window chose; a file that cannot be written is refused.
#include "support/pdf_tools.h"
#include "support/test_env.h"
#include "ui/printing.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrintPreviewWidget>
#include <QScreen>
#include <QPrinter>
#include <QProcess>
#include <QTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTextDocument>

using namespace shop;
using namespace shop::test;

class TstPrinting : public QObject {
    Q_OBJECT
private slots:
    void pdfHoldsChineseText_data();
    void pdfHoldsChineseText();
    void printUsesChosenPaper_data();
    void printUsesChosenPaper();
    void unwritableFileIsRefused_data();
    void unwritableFileIsRefused();
    void paperLaysOutPages_data();
    void paperLaysOutPages();
};

void TstPrinting::pdfHoldsChineseText_data()
{
    QTest::addColumn<QString>("service"); // "real" or "scripted"
    QTest::addColumn<QString>("family");  // the document's font; empty: the default
    QTest::addColumn<QString>("text");

    // 工 目 至 日 金 share their glyphs with Kangxi radicals, 户 车 见 龙
    // with supplement radicals, 胶 with a rarer character below it.
    const QString slip = "员工工资单 2026-12 应发项目 至 日期 奖金\n张三 实发工资 1234.50";
    const QString shared = "户主 胶水 车 见 龙 角 民工";
    QTest::newRow("real, default font") << "real" << QString() << slip;
    QTest::newRow("real, a font without Chinese") << "real"
                                                  << "DejaVu Sans Mono" << slip + "\n" + shared;
    QTest::newRow("real, the slip's font") << "real"
                                           << "Noto Sans CJK SC" << shared;
    QTest::newRow("test double writes the file too") << "scripted" << QString() << slip;
}

void TstPrinting::pdfHoldsChineseText()
{
    QFETCH(QString, service);
    QFETCH(QString, family);
    QFETCH(QString, text);

    TestEnv env;
    QtPrintService real;
    PrintService& printing = service == "real" ? static_cast<PrintService&>(real) : env.printing();
    QTextDocument doc;
    if (!family.isEmpty())
        doc.setDefaultFont(QFont(family));
    doc.setPlainText(text);
    const QString file = env.dir() + "/工资.pdf";

    QVERIFY(printing.saveAsPdf(doc, file));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.read(4), QByteArray("%PDF"));

    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QProcess p;
    p.start(pdftotext, {"-enc", "UTF-8", file, "-"});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    // The text as printed, character for character: searching the file for
    // 工资 finds it, and copied text is what was printed.
    const QString extracted = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(extracted.startsWith(text + "\n"), qPrintable(extracted));
    for (QChar c : extracted)
        QVERIFY2(c.unicode() < 0x2E80 || c.unicode() > 0x2FDF, qPrintable(extracted));
}

// The print dialog's paper is the paper printed on.
void TstPrinting::printUsesChosenPaper_data()
{
    QTest::addColumn<int>("paper"); // QPageSize::PageSizeId chosen in the dialog
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QSizeF>("points"); // the page's width and height
    QTest::newRow("A5") << int(QPageSize::A5) << false << QSizeF(420, 595);
    QTest::newRow("Letter, landscape") << int(QPageSize::Letter) << true << QSizeF(792, 612);
}

void TstPrinting::printUsesChosenPaper()
{
    QFETCH(int, paper);
    QFETCH(bool, landscape);
    QFETCH(QSizeF, points);

    TestEnv env;
    QTextDocument doc;
    doc.setPlainText("员工工资单");
    // The printer as the dialog leaves it: printing to a file, its paper chosen.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(env.dir() + "/slip.pdf");
    printer.setPageSize(QPageSize(QPageSize::PageSizeId(paper)));
    printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    QCOMPARE(QtPrintService::printOn(doc, printer), PrintResult::Printed);
    QFile f(printer.outputFileName());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QRegularExpressionMatch box =
        QRegularExpression("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]").match(QString::fromLatin1(f.readAll()));
    QVERIFY(box.hasMatch());
    QCOMPARE(QSizeF(qRound(box.captured(1).toDouble()), qRound(box.captured(2).toDouble())), points);
}

void TstPrinting::unwritableFileIsRefused_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("missing folder") << "no-such-folder/out.pdf";
    QTest::newRow("a folder of that name") << "folder.pdf";
}

void TstPrinting::unwritableFileIsRefused()
{
    QFETCH(QString, file);
    TestEnv env;
    QVERIFY(QDir(env.dir()).mkdir("folder.pdf"));
    const QString path = env.dir() + "/" + file;
    const bool existed = QFileInfo::exists(path);

    QTextDocument doc;
    doc.setPlainText("工资");
    QVERIFY(!env.printing().saveAsPdf(doc, path));
    QCOMPARE(QFileInfo::exists(path), existed);
    // Without a printer nothing is printed.
    QVERIFY(!env.printing().hasPrinter());
    QCOMPARE(env.printing().print(doc, "工资"), PrintResult::Failed);
    QVERIFY(env.printing().printed().isEmpty());
}

// A document on a given paper, in the PDF and in the real preview: a roll
// is as wide as chosen and one page as long as the text; a sheet keeps its
// size and takes more pages; without a paper it goes on A4. Nothing is
// added to the text.
void TstPrinting::paperLaysOutPages_data()
{
    QTest::addColumn<QString>("paper"); // empty: none given
    QTest::addColumn<int>("lines");
    QTest::addColumn<qreal>("width"); // mm
    QTest::addColumn<int>("pages");

    QTest::newRow("58 mm roll, a short slip") << "58" << 4 << 58.0 << 1;
    QTest::newRow("80 mm roll, a long slip") << "80" << 120 << 80.0 << 1;
    QTest::newRow("A5, more than a page") << "A5" << 60 << 148.0 << 2;
    QTest::newRow("no paper: A4") << "" << 20 << 210.0 << 1;
}

void TstPrinting::paperLaysOutPages()
{
    QFETCH(QString, paper);
    QFETCH(int, lines);
    QFETCH(qreal, width);
    QFETCH(int, pages);

    TestEnv env;
    std::optional<Paper> p;
    if (!paper.isEmpty())
        p = paper == "A5" ? Paper::a5() : Paper::rollOf(paper.toDouble(), 4);
    QTextDocument doc;
    doc.setDefaultFont(QFont("Noto Sans Mono CJK SC", 9));
    QStringList text;
    for (int i = 1; i <= lines; ++i)
        text << QString("第%1行 金额 12.50").arg(i);
    doc.setPlainText(text.join("\n"));

    // The real preview dialog, closed as soon as it shows its pages; it fits
    // on the screen, title bar and all.
    int shown = -1;
    QRect dialogAt;
    QTimer::singleShot(0, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            if (auto* view = dialog->findChild<QPrintPreviewWidget*>())
                shown = view->pageCount();
            dialogAt = dialog->frameGeometry();
            dialog->close();
        }
    });
    QtPrintService real;
    QCOMPARE(real.preview(doc, "小票", p), PrintResult::Cancelled);
    QCOMPARE(shown, pages);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(dialogAt), qPrintable(QString("%1x%2 on %3x%4")
                                                       .arg(dialogAt.width())
                                                       .arg(dialogAt.height())
                                                       .arg(screen.width())
                                                       .arg(screen.height())));

    const QString file = env.dir() + "/slip.pdf";
    QVERIFY(env.printing().saveAsPdf(doc, file, p));
    if (QStandardPaths::findExecutable("pdfinfo").isEmpty())
        QSKIP("pdfinfo (poppler-utils) is not installed");
    const QList<QSizeF> sizes = pdfPageSizes(file);
    QCOMPARE(sizes.size(), pages);
    QVERIFY2(qAbs(sizes.first().width() - width) < 0.5, qPrintable(QString::number(sizes.first().width())));
    // About 4 mm a line at 9 pt; the margins and a millimetre to spare.
    const qreal h = sizes.first().height();
    if (p && p->roll)
        QVERIFY2(h > lines * 3.5 + 7 && h < lines * 5.0 + 12, qPrintable(QString::number(h)));
    if (p && !p->roll)
        QCOMPARE(qRound(h), 210);
    const QString extracted = toolOutput("pdftotext", {"-enc", "UTF-8", file, "-"});
    // Nothing but the text: no page numbers either.
    QCOMPARE(extracted.split(QRegularExpression("[\\n\\f]+"), Qt::SkipEmptyParts), text);
}

QTEST_MAIN(TstPrinting)
#include "tst_printing.moc"

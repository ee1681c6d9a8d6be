#include "printing.h"

#include "document_path.h"
#include "pdf_text.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextDocument>

#include <memory>

namespace shop {

namespace {
QPageLayout pageOf(const Paper& paper, qreal heightMm)
{
    return QPageLayout(QPageSize(QSizeF(paper.sizeMm.width(), heightMm), QPageSize::Millimeter, QString(),
                                 QPageSize::ExactMatch),
                       QPageLayout::Portrait, paper.marginsMm, QPageLayout::Millimeter);
}

// A copy of the document laid out for the paper (without one, for the
// printer's page as its dialog left it) at the printer's own resolution, so
// the lines break where they will on paper. A roll's page is as long as the
// content.
std::unique_ptr<QTextDocument> layOutOn(const QTextDocument& document, QPrinter& printer,
                                        const std::optional<Paper>& paper)
{
    std::unique_ptr<QTextDocument> doc(document.clone());
    printer.setFullPage(false);
    if (paper)
        printer.setPageLayout(pageOf(*paper, paper->sizeMm.height()));
    doc->documentLayout()->setPaintDevice(&printer);
    const int dpi = printer.resolution();
    QRectF area = printer.pageLayout().paintRectPixels(dpi);
    doc->setTextWidth(area.width());
    if (paper && paper->roll) {
        // A millimetre to spare, so that rounding never starts a second page.
        const qreal content = doc->size().height() * 25.4 / dpi;
        printer.setPageLayout(
            pageOf(*paper, content + paper->marginsMm.top() + paper->marginsMm.bottom() + 1));
        area = printer.pageLayout().paintRectPixels(dpi);
    }
    doc->setPageSize(area.size());
    return doc;
}

// Whether the print of `drawn` went through; a PDF file (saved, or printed
// to a file) is made to read as the text printed.
bool finished(const QTextDocument& drawn, QPrinter& printer)
{
    if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return false;
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return nameGlyphsAsDrawn(drawn, printer.outputFileName());
    return true;
}

// Prints the document as laid out above. Qt's own layout of a document
// without pages would add margins of 2 cm and page numbers, more than half
// of a slip; and numbers drawn between the pages would number the PDF's
// glyphs otherwise than the text's order.
bool printLaidOut(const QTextDocument& document, QPrinter& printer, const std::optional<Paper>& paper)
{
    const std::unique_ptr<QTextDocument> doc = layOutOn(document, printer, paper);
    doc->print(&printer);
    return finished(*doc, printer);
}
} // namespace

std::unique_ptr<QTextDocument> documentFor(const QString& html, qreal points)
{
    auto doc = std::make_unique<QTextDocument>();
    QFont font(QStringList{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Microsoft YaHei"),
                           QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSizeF(points);
    doc->setDefaultFont(font);
    doc->setDocumentMargin(24);
    doc->setHtml(html);
    return doc;
}

Paper Paper::rollOf(qreal widthMm, qreal sideMarginMm)
{
    // The height is where a roll's layout starts; the page is cut to the
    // content.
    return Paper{QSizeF(widthMm, 297), QMarginsF(sideMarginMm, 3, sideMarginMm, 3), true};
}

Paper Paper::a5()
{
    return Paper{QSizeF(148, 210), QMarginsF(10, 10, 10, 10), false};
}

Paper Paper::a4()
{
    return Paper{QSizeF(210, 297), QMarginsF(15, 15, 15, 15), false};
}

bool QtPrintService::hasPrinter()
{
    return !QPrinterInfo::availablePrinters().isEmpty();
}

QStringList QtPrintService::printers()
{
    return QPrinterInfo::availablePrinterNames();
}

PrintResult QtPrintService::print(const QTextDocument& document, const QString& title)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintDialog dialog(&printer);
    dialog.setWindowTitle(title);
    if (dialog.exec() != QDialog::Accepted)
        return PrintResult::Cancelled;
    return printOn(document, printer);
}

PrintResult QtPrintService::printOn(const QTextDocument& document, QPrinter& printer)
{
    return printLaidOut(document, printer, std::nullopt) ? PrintResult::Printed : PrintResult::Failed;
}

PrintResult QtPrintService::preview(const QTextDocument& document, const QString& title,
                                    const std::optional<Paper>& paper)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    if (!paper)
        printer.setPageSize(QPageSize(QPageSize::A4));
    QPrintPreviewDialog dialog(&printer);
    dialog.setWindowTitle(QStringLiteral("打印预览 - ") + title);
    // Drawn again for each change of the view and for the print from the
    // dialog; a page set up in the dialog is kept unless the paper is fixed.
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&](QPrinter* p) { layOutOn(document, *p, paper)->print(p); });
    // A page as large as the screen leaves room for, with its frame and
    // title bar (on a laptop's 768 pixels too).
    const QScreen* screen = QApplication::activeWindow() ? QApplication::activeWindow()->screen()
                                                         : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() - QSize(40, 60) : QSize(800, 900);
    dialog.resize(QSize(800, 900).boundedTo(room));
    if (dialog.exec() != QDialog::Accepted)
        return PrintResult::Cancelled;
    // Printed from the dialog, as laid out there.
    return finished(*layOutOn(document, printer, paper), printer) ? PrintResult::Printed
                                                                  : PrintResult::Failed;
}

PrintResult QtPrintService::printOn(const QTextDocument& document, const QString& title,
                                    const QString& printer, const Paper& paper, QString* error)
{
    QPrinterInfo info =
        printer.isEmpty() ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(printer);
    if (info.isNull() && printer.isEmpty() && !QPrinterInfo::availablePrinters().isEmpty())
        info = QPrinterInfo::availablePrinters().first();
    if (info.isNull()) {
        *error = printer.isEmpty() ? QStringLiteral("没有安装打印机")
                                   : QStringLiteral("找不到打印机“%1”").arg(printer);
        return PrintResult::Failed;
    }
    QPrinter out(info, QPrinter::HighResolution);
    out.setDocName(title);
    if (!out.isValid()) {
        *error = QStringLiteral("打印机“%1”不能使用").arg(info.printerName());
        return PrintResult::Failed;
    }
    if (!printLaidOut(document, out, paper)) {
        *error = QStringLiteral("打印机“%1”报告了错误").arg(info.printerName());
        return PrintResult::Failed;
    }
    return PrintResult::Printed;
}

SaveOutcome QtPrintService::saveAsPdf(const QTextDocument& document, const QString& fileName,
                                      const std::optional<Paper>& paper)
{
    // Drawn into a scratch file, then written in one piece: a failure leaves
    // no part of a PDF behind, and an older file of that name as it was.
    QTemporaryDir scratch;
    const QString draft = scratch.filePath(QStringLiteral("draft.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(draft);
    printer.setDocName(QFileInfo(fileName).completeBaseName());
    printer.setPageSize(QPageSize(QPageSize::A4));
    QFile drawn(draft);
    QByteArray pdf;
    if (scratch.isValid() && printLaidOut(document, printer, paper.value_or(Paper::a4())) &&
        drawn.open(QIODevice::ReadOnly))
        pdf = drawn.readAll();
    if (pdf.isEmpty())
        return {QStringLiteral("无法生成PDF文件：临时文件夹“%1”不能写入。")
                    .arg(QDir::toNativeSeparators(QDir::tempPath()))};
    QSaveFile out(fileName);
    if (out.open(QIODevice::WriteOnly) && out.write(pdf) == pdf.size() && out.commit())
        return {};
    return {fileWriteFailure(fileName, pdf.size(), out.errorString())};
}

} // namespace shop

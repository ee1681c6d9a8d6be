#include "printing.h"

#include "document_path.h"
#include "pdf_text.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextDocument>

#include <memory>

namespace shop {

namespace {
// Whether the print went through; a PDF file (saved, or printed to a file)
// is made to read as the text printed.
bool finished(const QTextDocument& document, QPrinter& printer)
{
    if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return false;
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return nameGlyphsAsDrawn(document, printer.outputFileName());
    return true;
}

// Chinese text needs no font of its own: Qt falls back to a font with the
// glyphs, and the PDF embeds it (tested with a Latin-only font).
bool printTo(const QTextDocument& document, QPrinter& printer)
{
    document.print(&printer);
    return finished(document, printer);
}

QPageLayout pageOf(const Paper& paper, qreal heightMm)
{
    return QPageLayout(QPageSize(QSizeF(paper.sizeMm.width(), heightMm), QPageSize::Millimeter, QString(),
                                 QPageSize::ExactMatch),
                       QPageLayout::Portrait, paper.marginsMm, QPageLayout::Millimeter);
}

// Lays the document out for the paper at the printer's own resolution (so
// the lines break where they will on paper) and prints it as laid out: Qt's
// own layout would add margins of 2 cm and page numbers, more than half of
// a slip. A roll's page is as long as the content.
void layOutOn(const QTextDocument& document, QPrinter& printer, const Paper& paper)
{
    const std::unique_ptr<QTextDocument> doc(document.clone());
    printer.setFullPage(false);
    printer.setPageLayout(pageOf(paper, paper.sizeMm.height()));
    doc->documentLayout()->setPaintDevice(&printer);
    const int dpi = printer.resolution();
    QRectF area = printer.pageLayout().paintRectPixels(dpi);
    doc->setTextWidth(area.width());
    if (paper.roll) {
        // A millimetre to spare, so that rounding never starts a second page.
        const qreal content = doc->size().height() * 25.4 / dpi;
        printer.setPageLayout(pageOf(paper, content + paper.marginsMm.top() + paper.marginsMm.bottom() + 1));
        area = printer.pageLayout().paintRectPixels(dpi);
    }
    doc->setPageSize(area.size());
    doc->print(&printer);
}

// On the paper given, or as Qt lays the document out on the printer's.
bool printOnPaper(const QTextDocument& document, QPrinter& printer, const std::optional<Paper>& paper)
{
    if (!paper)
        return printTo(document, printer);
    layOutOn(document, printer, *paper);
    return finished(document, printer);
}
} // namespace

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
    return printTo(document, printer) ? PrintResult::Printed : PrintResult::Failed;
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
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* p) {
        if (paper)
            layOutOn(document, *p, *paper);
        else
            document.print(p);
    });
    dialog.resize(800, 900);
    if (dialog.exec() != QDialog::Accepted)
        return PrintResult::Cancelled;
    return finished(document, printer) ? PrintResult::Printed : PrintResult::Failed;
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
    if (!printOnPaper(document, out, paper)) {
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
    if (scratch.isValid() && printOnPaper(document, printer, paper) && drawn.open(QIODevice::ReadOnly))
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

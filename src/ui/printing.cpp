#include "printing.h"

#include "pdf_text.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

namespace shop {

namespace {
// Chinese text needs no font of its own: Qt falls back to a font with the
// glyphs, and the PDF embeds it (tested with a Latin-only font).
bool printTo(const QTextDocument& document, QPrinter& printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    document.print(&printer);
    if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return false;
    // A PDF file (saved, or printed to a file) reads as the text printed.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return nameGlyphsAsDrawn(document, printer.outputFileName());
    return true;
}
} // namespace

bool QtPrintService::hasPrinter()
{
    return !QPrinterInfo::availablePrinters().isEmpty();
}

PrintResult QtPrintService::print(const QTextDocument& document, const QString& title)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintDialog dialog(&printer);
    dialog.setWindowTitle(title);
    if (dialog.exec() != QDialog::Accepted)
        return PrintResult::Cancelled;
    return printTo(document, printer) ? PrintResult::Printed : PrintResult::Failed;
}

bool QtPrintService::saveAsPdf(const QTextDocument& document, const QString& fileName)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    printer.setDocName(QFileInfo(fileName).completeBaseName());
    return printTo(document, printer) && QFileInfo(fileName).size() > 0;
}

} // namespace shop

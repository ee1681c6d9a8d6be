#include "printing.h"

#include "document_path.h"
#include "pdf_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextDocument>

namespace shop {

namespace {
// Chinese text needs no font of its own: Qt falls back to a font with the
// glyphs, and the PDF embeds it (tested with a Latin-only font).
bool printTo(const QTextDocument& document, QPrinter& printer)
{
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
    return printOn(document, printer);
}

PrintResult QtPrintService::printOn(const QTextDocument& document, QPrinter& printer)
{
    return printTo(document, printer) ? PrintResult::Printed : PrintResult::Failed;
}

SaveOutcome QtPrintService::saveAsPdf(const QTextDocument& document, const QString& fileName)
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
    if (scratch.isValid() && printTo(document, printer) && drawn.open(QIODevice::ReadOnly))
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

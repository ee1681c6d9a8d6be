#pragma once

#include <QString>

class QPrinter;
class QTextDocument;

namespace shop {

// What became of a print: the user may cancel the print dialog, and a
// started print may still fail.
enum class PrintResult { Printed, Cancelled, Failed };

// What became of a PDF file: written, or why not, in Chinese.
struct SaveOutcome {
    QString failure; // empty when the file was written
    explicit operator bool() const { return failure.isEmpty(); }
};

// Every print goes through this seam, so tests can tell "no printer" from a
// print and read what would have gone to paper.
class PrintService {
public:
    virtual ~PrintService() = default;

    // At least one printer is installed.
    virtual bool hasPrinter() = 0;
    // Shows the print dialog and prints.
    virtual PrintResult print(const QTextDocument& document, const QString& title) = 0;
    // Writes the document as an A4 PDF file, whole or not at all (a file of
    // that name stays as it was when the new one cannot be written).
    virtual SaveOutcome saveAsPdf(const QTextDocument& document, const QString& fileName) = 0;
};

// The real printers, through Qt Print Support.
class QtPrintService : public PrintService {
public:
    bool hasPrinter() override;
    PrintResult print(const QTextDocument& document, const QString& title) override;
    // Prints on the printer as its dialog left it: its paper, margins and
    // output (a file chosen there is a PDF that reads as the text printed).
    static PrintResult printOn(const QTextDocument& document, QPrinter& printer);
    SaveOutcome saveAsPdf(const QTextDocument& document, const QString& fileName) override;
};

} // namespace shop

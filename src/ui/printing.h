#pragma once

#include <QString>

class QTextDocument;

namespace shop {

// What became of a print: the user may cancel the print dialog, and a
// started print may still fail.
enum class PrintResult { Printed, Cancelled, Failed };

// Every print goes through this seam, so tests can tell "no printer" from a
// print and read what would have gone to paper.
class PrintService {
public:
    virtual ~PrintService() = default;

    // At least one printer is installed.
    virtual bool hasPrinter() = 0;
    // Shows the print dialog and prints.
    virtual PrintResult print(const QTextDocument& document, const QString& title) = 0;
    // Writes the document as an A4 PDF file; false when it cannot be written.
    virtual bool saveAsPdf(const QTextDocument& document, const QString& fileName) = 0;
};

// The real printers, through Qt Print Support.
class QtPrintService : public PrintService {
public:
    bool hasPrinter() override;
    PrintResult print(const QTextDocument& document, const QString& title) override;
    bool saveAsPdf(const QTextDocument& document, const QString& fileName) override;
};

} // namespace shop

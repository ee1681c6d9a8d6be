#pragma once

#include <QMarginsF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

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

// The paper a document is laid out for by the printing service: a sheet of
// a fixed size, or a roll of a width that is cut where the content ends.
struct Paper {
    QSizeF sizeMm;
    QMarginsF marginsMm;
    bool roll = false;

    static Paper rollOf(qreal widthMm, qreal sideMarginMm);
    static Paper a5();
    static Paper a4();
    qreal printableWidthMm() const { return sizeMm.width() - marginsMm.left() - marginsMm.right(); }
    bool operator==(const Paper&) const = default;
};

// A document of `html` as every printed page but the receipt is made: in
// a face with the Chinese glyphs first, so that figures and names share one
// face (the platform falls back when none of them is installed), of
// `points`, with the documents' margin.
std::unique_ptr<QTextDocument> documentFor(const QString& html, qreal points);

// Every print goes through this seam, so tests can tell "no printer" from a
// print and read what would have gone to paper. A document is printed as
// laid out for its paper (without one, the paper and margins chosen in the
// dialog, or A4 for a file): those margins, no page numbers.
class PrintService {
public:
    virtual ~PrintService() = default;

    // At least one printer is installed.
    virtual bool hasPrinter() = 0;
    // The installed printers' names.
    virtual QStringList printers() = 0;
    // Shows the print dialog and prints.
    virtual PrintResult print(const QTextDocument& document, const QString& title) = 0;
    // Shows the pages as they will print; the person may print from there.
    virtual PrintResult preview(const QTextDocument& document, const QString& title,
                                const std::optional<Paper>& paper = std::nullopt) = 0;
    // Prints without a dialog on `printer` (empty: the default printer);
    // on failure `error` says why.
    virtual PrintResult printOn(const QTextDocument& document, const QString& title, const QString& printer,
                                const Paper& paper, QString* error) = 0;
    // Writes the document as a PDF file (A4 unless a paper is given), whole
    // or not at all (a file of that name stays as it was when the new one
    // cannot be written).
    virtual SaveOutcome saveAsPdf(const QTextDocument& document, const QString& fileName,
                                  const std::optional<Paper>& paper = std::nullopt) = 0;
};

// The real printers, through Qt Print Support.
class QtPrintService : public PrintService {
public:
    bool hasPrinter() override;
    QStringList printers() override;
    PrintResult print(const QTextDocument& document, const QString& title) override;
    // Prints on the printer as its dialog left it: its paper, margins and
    // output (a file chosen there is a PDF that reads as the text printed).
    static PrintResult printOn(const QTextDocument& document, QPrinter& printer);
    PrintResult preview(const QTextDocument& document, const QString& title,
                        const std::optional<Paper>& paper = std::nullopt) override;
    PrintResult printOn(const QTextDocument& document, const QString& title, const QString& printer,
                        const Paper& paper, QString* error) override;
    SaveOutcome saveAsPdf(const QTextDocument& document, const QString& fileName,
                          const std::optional<Paper>& paper = std::nullopt) override;
};

} // namespace shop

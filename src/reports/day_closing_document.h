#pragma once

#include "data/money.h"
#include "data/money_margin.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QTextDocument;

namespace shop {

// What the printed day's closing shows besides the figures.
struct DayClosingPage {
    QString company;
    QString printedOn;
    money::DayClosing figures;
    // The day's margin, for a supervisor only: without it the page shows
    // neither cost nor 毛利.
    std::optional<money::Margins> margins;
};

// The document's title, also the print job's name.
QString dayClosingTitle();

// The day's closing as pages: the day's takings, the cards, the income and
// expense ledger, the goods sold, the employees and the voids, and the
// margin when the page has it.
std::unique_ptr<QTextDocument> dayClosingDocument(const DayClosingPage& page);

// The page's head alone (the title and the day's figures), for a window
// that shows the goods and the employees apart.
std::unique_ptr<QTextDocument> dayClosingHead(const DayClosingPage& page);
// The goods sold and the employees' business, as the page's tables.
struct DayClosingTable {
    QString caption;
    QStringList headings;
    QList<QStringList> rows;
};
DayClosingTable dayClosingGoods(const money::DayClosing& figures);
DayClosingTable dayClosingEmployees(const money::DayClosing& figures);
// The caption of the margin's table, in the window and on the page.
QString dayClosingMarginCaption();

// The same figures as rows of a CSV file, the headings first; the margin's
// rows last, when given.
QList<QStringList> dayClosingRows(const money::DayClosing& figures,
                                  const std::optional<money::Margins>& margins = std::nullopt);

} // namespace shop

#pragma once

#include "data/money.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QTextDocument;

namespace shop {

// What the printed day's closing shows besides the figures.
struct DayClosingPage {
    QString company;
    QString printedOn;
    money::DayClosing figures;
};

// The document's title, also the print job's name.
QString dayClosingTitle();

// The day's closing as pages: the day's takings, the cards, the income and
// expense ledger, the goods sold, the employees and the voids.
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

// The same figures as rows of a CSV file, the headings first.
QList<QStringList> dayClosingRows(const money::DayClosing& figures);

} // namespace shop

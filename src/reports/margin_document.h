#pragma once

#include "data/money_margin.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QTextDocument;

namespace shop {

// The margin report of a period: by goods and by month.
struct MarginPage {
    QString from;
    QString to;
    QString printedOn;
    money::Margins figures;
};

QString marginTitle();

// The goods sold with their cost and 毛利, then one line for the services
// (money received, no cost) and the goods' total: the day's closing's grid.
// A line none of whose sales had a cost says so in place of cost and 毛利.
struct MarginTable {
    QStringList headings;
    QList<QStringList> rows;
};
MarginTable marginGoodsTable(const money::Margins& m);

std::unique_ptr<QTextDocument> marginDocument(const MarginPage& page);
// The same figures as rows of a CSV file, the headings first.
QList<QStringList> marginRows(const MarginPage& page);

} // namespace shop

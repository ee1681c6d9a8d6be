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
std::unique_ptr<QTextDocument> marginDocument(const MarginPage& page);
// The same figures as rows of a CSV file, the headings first.
QList<QStringList> marginRows(const MarginPage& page);

} // namespace shop

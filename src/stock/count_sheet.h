#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QTextDocument;

namespace shop {

// The count sheet to count on paper: every line of the count (the rows of
// counts::sheet()) with a blank for its counted quantity.
QString countSheetTitle();
std::unique_ptr<QTextDocument> countSheetDocument(const QList<QStringList>& sheet, const QString& printedOn);
// The same lines as rows of a CSV file, the headings first.
QList<QStringList> countSheetCsv(const QList<QStringList>& sheet);

} // namespace shop

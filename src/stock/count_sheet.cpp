#include "count_sheet.h"

#include "data/stocktaking.h"
#include "ui/printing.h"

#include <QTextDocument>

namespace shop {

namespace {

const QStringList kHeadings = {QStringLiteral("产品编号"), QStringLiteral("商品名称"),
                               QStringLiteral("供应商"), QStringLiteral("账面数量"),
                               QStringLiteral("实盘数量")};

QStringList shown(const QStringList& row)
{
    return {row.value(counts::Code), row.value(counts::Name), row.value(counts::Supplier),
            row.value(counts::SheetStock), row.value(counts::Counted)};
}

} // namespace

QString countSheetTitle()
{
    return QStringLiteral("盘点表");
}

std::unique_ptr<QTextDocument> countSheetDocument(const QList<QStringList>& sheet, const QString& printedOn)
{
    QString html = QStringLiteral("<h3 align=\"center\">%1</h3><table border=\"1\" cellspacing=\"0\" "
                                  "cellpadding=\"3\" width=\"100%\"><tr>")
                       .arg(countSheetTitle());
    for (const QString& h : kHeadings)
        html += QStringLiteral("<th>%1</th>").arg(h);
    html += QStringLiteral("</tr>");
    for (const QStringList& row : sheet) {
        const QStringList v = shown(row);
        html +=
            QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td align=\"right\">%4</td><td>%5</td></tr>")
                .arg(v.at(0).toHtmlEscaped(), v.at(1).toHtmlEscaped(), v.at(2).toHtmlEscaped(),
                     v.at(3).toHtmlEscaped(), v.at(4).toHtmlEscaped());
    }
    html += QStringLiteral("</table><p align=\"right\">打印日期：%1</p>").arg(printedOn.toHtmlEscaped());
    return documentFor(html, 10);
}

QList<QStringList> countSheetCsv(const QList<QStringList>& sheet)
{
    QList<QStringList> out{kHeadings};
    for (const QStringList& row : sheet)
        out << shown(row);
    return out;
}

} // namespace shop

#include "margin_document.h"

#include "data/numeric.h"
#include "ui/printing.h"

#include <QTextDocument>

namespace shop {

namespace {

QString amount(const money::RoundedTotal& t)
{
    return t.overflow ? QStringLiteral("超出范围") : QString::number(t.total);
}

const QStringList kHeadings = {QStringLiteral("实收金额（元）"), QStringLiteral("成本（元）"),
                               QStringLiteral("毛利（元）"), QStringLiteral("无成本销售额（元）")};

QStringList figures(const money::Margin& m)
{
    return {amount(m.received), amount(m.cost), amount(m.margin()), amount(m.withoutCost)};
}

QList<QStringList> goodsRows(const money::Margins& m)
{
    QList<QStringList> out;
    for (const money::GoodsMargin& g : m.goods)
        out << QStringList{g.code, g.name, numberText(g.quantity)} + figures(g.figures);
    return out;
}

QList<QStringList> monthRows(const money::Margins& m)
{
    QList<QStringList> out;
    for (auto it = m.months.constBegin(); it != m.months.constEnd(); ++it)
        out << QStringList{it.key()} + figures(*it) + QStringList{amount(it->services)};
    return out;
}

QString table(const QString& title, const QStringList& headings, const QList<QStringList>& rows)
{
    QString html = QStringLiteral("<h4>%1</h4><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
                                  "width=\"100%\"><tr>")
                       .arg(title.toHtmlEscaped());
    for (const QString& h : headings)
        html += QStringLiteral("<th>%1</th>").arg(h.toHtmlEscaped());
    html += QStringLiteral("</tr>");
    for (const QStringList& r : rows) {
        html += QStringLiteral("<tr>");
        for (const QString& v : r)
            html += QStringLiteral("<td>%1</td>").arg(v.toHtmlEscaped());
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

const QStringList kGoodsHeadings =
    QStringList{QStringLiteral("产品编号"), QStringLiteral("商品名称"), QStringLiteral("出货数量")} +
    kHeadings;
const QStringList kMonthHeadings =
    QStringList{QStringLiteral("月份")} + kHeadings + QStringList{QStringLiteral("服务收入（元）")};

} // namespace

QString marginTitle()
{
    return QStringLiteral("毛利报表");
}

std::unique_ptr<QTextDocument> marginDocument(const MarginPage& page)
{
    const money::Margin& t = page.figures.total;
    QString html = QStringLiteral("<h3 align=\"center\">%1　%2 至 %3</h3>")
                       .arg(marginTitle(), page.from.toHtmlEscaped(), page.to.toHtmlEscaped());
    html += table(QStringLiteral("合计"), kHeadings + QStringList{QStringLiteral("服务收入（元）")},
                  {figures(t) + QStringList{amount(t.services)}});
    html += table(QStringLiteral("按商品"), kGoodsHeadings, goodsRows(page.figures));
    html += table(QStringLiteral("按月份"), kMonthHeadings, monthRows(page.figures));
    html += QStringLiteral("<p align=\"right\">打印日期：%1</p>").arg(page.printedOn.toHtmlEscaped());
    return documentFor(html, 10);
}

MarginTable marginGoodsTable(const money::Margins& m)
{
    MarginTable out{kGoodsHeadings, {}};
    const QString noCost = QStringLiteral("无进货价");
    for (const money::GoodsMargin& g : m.goods) {
        QStringList row = QStringList{g.code, g.name, numberText(g.quantity)} + figures(g.figures);
        // Nothing of it had a cost: neither a cost of 0 nor its money as 毛利.
        if (g.figures.received.rows == 0) {
            row[4] = noCost;
            row[5] = noCost;
        }
        out.rows << row;
    }
    out.rows << QStringList{
        {}, QStringLiteral("服务项目"), {}, amount(m.total.services), QStringLiteral("无成本"), {}, {}};
    out.rows << QStringList{QStringLiteral("合计"), {}, {}} + figures(m.total);
    return out;
}

QList<QStringList> marginRows(const MarginPage& page)
{
    QList<QStringList> out{QStringList{QStringLiteral("类别"), QStringLiteral("项目"),
                                       QStringLiteral("商品名称"), QStringLiteral("出货数量")} +
                           kHeadings};
    for (const QStringList& g : goodsRows(page.figures))
        out << QStringList{QStringLiteral("按商品")} + g;
    for (const QStringList& m : monthRows(page.figures))
        out << QStringList{QStringLiteral("按月份"), m.at(0), {}, {}} + m.mid(1, 4);
    return out;
}

} // namespace shop

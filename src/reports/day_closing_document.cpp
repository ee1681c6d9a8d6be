#include "day_closing_document.h"

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

// The figures as (section, item, value) lines: the one list that both the
// page and the CSV file show.
struct Line {
    QString section;
    QString item;
    QString value;
};

// A group of takings as its lines: the count, the whole and its two parts.
void takingsLines(QList<Line>& out, const QString& section, const QString& count, const QString& whole,
                  const money::Takings& t)
{
    if (!count.isEmpty())
        out.append({section, count, QString::number(t.total.rows)});
    out.append({section, whole, amount(t.total)});
    out.append({section, QStringLiteral("其中非会员现金（元）"), amount(t.cash)});
    out.append({section, QStringLiteral("其中会员卡业务（元）"), amount(t.card())});
}

QList<Line> lines(const money::DayClosing& d)
{
    const QString cards = QStringLiteral("会员卡");
    const QString ledger = QStringLiteral("收支");
    const QString count = QStringLiteral("撤销笔数");
    const QString voided = QStringLiteral("撤销实收金额（元）");
    QList<Line> out;
    takingsLines(out, QStringLiteral("营业收入"), QStringLiteral("业务笔数"),
                 QStringLiteral("实收金额合计（元）"), d.takings.sales);
    takingsLines(out, QStringLiteral("当日业务撤销"), count, voided, d.takings.voidsSame);
    takingsLines(out, QStringLiteral("往日业务撤销"), count, voided, d.takings.voidsEarlier);
    takingsLines(out, QStringLiteral("实收净额"), {}, QStringLiteral("实收净额合计（元）"), d.takings.net());
    out.append({
        {cards, QStringLiteral("开卡收款（元）"), amount(d.cards.opened)},
        {cards, QStringLiteral("充值收款（元）"), amount(d.cards.toppedUp())},
        {cards, QStringLiteral("未收款增加金额（元）"), amount(d.cards.freeBalance)},
        {cards, QStringLiteral("未收款增加次数"), amount(d.cards.freeUses)},
        {cards, QStringLiteral("扣卡金额（元）"), amount(d.cards.charged)},
        {cards, QStringLiteral("扣卡次数"), amount(d.cards.uses)},
        {cards, QStringLiteral("撤销退回金额（元）"), amount(d.cards.chargedBack)},
        {cards, QStringLiteral("撤销退回次数"), amount(d.cards.usesBack)},
        {ledger, QStringLiteral("支出费用（元）"), amount(d.expense)},
        {ledger, QStringLiteral("收入（元）"), amount(d.income)},
    });
    return out;
}

QString escaped(const QString& s)
{
    return s.toHtmlEscaped();
}

QString row(const QStringList& cells, const QString& tag = QStringLiteral("td"), bool whole = false)
{
    QString html = QStringLiteral("<tr>");
    for (const QString& c : cells)
        html +=
            QStringLiteral("<%1%3>%2</%1>")
                .arg(tag, escaped(c), whole ? QStringLiteral(" style=\"white-space: nowrap\"") : QString());
    return html + QStringLiteral("</tr>");
}

// `whole`: no cell broken over lines (a table of many columns would break
// its headings, and a PDF reader would read their pieces out of order).
QString table(const QString& caption, const QStringList& headings, const QList<QStringList>& rows,
              bool whole = false)
{
    QString html = QStringLiteral("<h4>%1</h4>").arg(escaped(caption));
    html += QStringLiteral("<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">");
    html += row(headings, QStringLiteral("th"), whole);
    for (const QStringList& r : rows)
        html += row(r, QStringLiteral("td"), whole);
    return html + QStringLiteral("</table>");
}

QList<QStringList> goodsRows(const money::DayClosing& d)
{
    QList<QStringList> out;
    for (const money::GoodsFigures& g : d.goods)
        out << QStringList{g.code, g.name, numberText(g.quantity), amount(g.received)};
    return out;
}

QList<QStringList> employeeRows(const money::DayClosing& d)
{
    QList<QStringList> out;
    for (const money::EmployeeFigures& e : d.employees)
        out << QStringList{e.name, QString::number(e.received.rows), amount(e.received),
                           amount(e.commission)};
    return out;
}

const QStringList kGoodsHeadings = {QStringLiteral("产品编号"), QStringLiteral("商品名称"),
                                    QStringLiteral("出货数量"), QStringLiteral("实收金额（元）")};
const QStringList kEmployeeHeadings = {QStringLiteral("员工姓名"), QStringLiteral("业务笔数"),
                                       QStringLiteral("实收金额（元）"), QStringLiteral("提成金额（元）")};

} // namespace

QString dayClosingTitle()
{
    return QStringLiteral("日结报表");
}

namespace {

// The title and the day's figures: the head of the page.
QString headHtml(const DayClosingPage& page)
{
    const money::DayClosing& d = page.figures;
    QString html;
    if (!page.company.isEmpty())
        html += QStringLiteral("<h2 align=\"center\">%1</h2>").arg(escaped(page.company));
    html += QStringLiteral("<h3 align=\"center\">%1　%2</h3>").arg(dayClosingTitle(), escaped(d.date));
    QList<QStringList> figures;
    for (const Line& l : lines(d))
        figures << QStringList{l.section, l.item, l.value};
    html += table(QStringLiteral("当日合计"),
                  {QStringLiteral("类别"), QStringLiteral("项目"), QStringLiteral("数值")}, figures);
    return html;
}

std::unique_ptr<QTextDocument> document(const QString& html)
{
    return documentFor(html, 10);
}

} // namespace

std::unique_ptr<QTextDocument> dayClosingDocument(const DayClosingPage& page)
{
    const DayClosingTable goods = dayClosingGoods(page.figures);
    const DayClosingTable employees = dayClosingEmployees(page.figures);
    QString html = headHtml(page);
    html += table(goods.caption, goods.headings, goods.rows);
    html += table(employees.caption, employees.headings, employees.rows);
    if (page.margins) {
        const MarginTable margin = marginGoodsTable(*page.margins);
        html += table(dayClosingMarginCaption(), margin.headings, margin.rows, true);
    }
    html += QStringLiteral("<p align=\"right\">打印日期：%1</p>").arg(escaped(page.printedOn));
    return document(html);
}

std::unique_ptr<QTextDocument> dayClosingHead(const DayClosingPage& page)
{
    return document(headHtml(page));
}

DayClosingTable dayClosingGoods(const money::DayClosing& figures)
{
    return {QStringLiteral("商品销售"), kGoodsHeadings, goodsRows(figures)};
}

DayClosingTable dayClosingEmployees(const money::DayClosing& figures)
{
    return {QStringLiteral("员工业务"), kEmployeeHeadings, employeeRows(figures)};
}

QString dayClosingMarginCaption()
{
    return QStringLiteral("商品毛利");
}

QList<QStringList> dayClosingRows(const money::DayClosing& d, const std::optional<money::Margins>& margins)
{
    QList<QStringList> out{{QStringLiteral("日期"), QStringLiteral("类别"), QStringLiteral("项目"),
                            QStringLiteral("数值"), QStringLiteral("实收金额（元）"),
                            QStringLiteral("提成金额（元）")}};
    for (const Line& l : lines(d))
        out << QStringList{d.date, l.section, l.item, l.value, {}, {}};
    for (const QStringList& g : goodsRows(d))
        out << QStringList{
            d.date, QStringLiteral("商品销售"), g.at(0) + QLatin1Char(' ') + g.at(1), g.at(2), g.at(3), {}};
    for (const QStringList& e : employeeRows(d))
        out << QStringList{d.date, QStringLiteral("员工业务"), e.at(0), e.at(1), e.at(2), e.at(3)};
    if (!margins)
        return out;
    // The margin's three figures in columns of their own, named in the
    // headings; the rows above keep their six fields (a spreadsheet shows
    // the rest empty), so a file read by its first six columns reads as
    // before.
    const MarginTable margin = marginGoodsTable(*margins);
    out.first() += margin.headings.mid(4);
    const QString section = dayClosingMarginCaption();
    for (const QStringList& m : margin.rows) {
        const QString item =
            m.at(0).isEmpty() || m.at(1).isEmpty() ? m.at(0) + m.at(1) : m.at(0) + QLatin1Char(' ') + m.at(1);
        out << QStringList{d.date, section, item, m.at(2), m.at(3), {}} + m.mid(4);
    }
    return out;
}

} // namespace shop

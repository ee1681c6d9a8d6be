#include "day_sheet.h"

#include <QFont>
#include <QTextDocument>

namespace shop {

namespace {

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString cell(const QString& text, const char* tag = "td")
{
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), escaped(text));
}

} // namespace

QString daySheetTitle(const DaySheet& sheet)
{
    const QString who = sheet.employee.isEmpty() ? QStringLiteral("未指定员工") : sheet.employee;
    return QStringLiteral("预约日程表-%1-%2").arg(who, sheet.date);
}

std::unique_ptr<QTextDocument> daySheetDocument(const DaySheet& sheet)
{
    const QString who = sheet.employee.isEmpty() ? QStringLiteral("未指定员工") : sheet.employee;
    QString html = QStringLiteral("<h3 align=\"center\">%1</h3><p>员工：%2　日期：%3</p>")
                       .arg(QStringLiteral("预约日程表"), escaped(who), escaped(sheet.date));
    html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\"><tr>");
    for (const char* h : {"时间", "顾客", "卡号", "联系电话", "服务项目", "状态", "备注"})
        html += cell(QString::fromUtf8(h), "th");
    html += QStringLiteral("</tr>");
    int shown = 0;
    for (const bookings::Booking& b : sheet.bookings) {
        if (bookings::stateOf(b.state) == bookings::State::Cancelled)
            continue;
        html += QStringLiteral("<tr>") + cell(b.start + QLatin1Char('-') + b.end) + cell(b.name) +
                cell(b.card) + cell(b.phone) + cell(b.serviceItem) + cell(b.state) + cell(b.remark) +
                QStringLiteral("</tr>");
        ++shown;
    }
    html += QStringLiteral("</table>");
    html += QStringLiteral("<p>共 %1 个预约</p>").arg(shown);
    html += QStringLiteral("<p align=\"right\">打印日期：%1</p>").arg(escaped(sheet.printedOn));

    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(
        QFont(QStringList{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Microsoft YaHei"),
                          QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")},
              10));
    doc->setDocumentMargin(24);
    doc->setHtml(html);
    return doc;
}

} // namespace shop

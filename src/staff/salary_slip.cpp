#include "salary_slip.h"

#include "ui/printing.h"

#include <QTextDocument>

namespace shop {

namespace {

QString cell(const QString& text)
{
    return QStringLiteral("<td align=\"right\">%1</td>").arg(text.trimmed().toHtmlEscaped());
}

QString head(const QString& text)
{
    return QStringLiteral("<th align=\"left\" bgcolor=\"#eeeeee\">%1</th>").arg(text);
}

// One line of the table: an income item on the left, a deduction on the
// right (or blank cells).
QString line(const QString& leftHead, const QString& leftValue, const QString& rightHead = {},
             const QString& rightValue = {})
{
    return QStringLiteral("<tr>") + head(leftHead) + cell(leftValue) +
           (rightHead.isEmpty() ? QStringLiteral("<td></td><td></td>") : head(rightHead) + cell(rightValue)) +
           QStringLiteral("</tr>");
}

} // namespace

QString salarySlipTitle()
{
    return QStringLiteral("员工工资单");
}

std::unique_ptr<QTextDocument> salarySlipDocument(const SalarySlip& slip)
{
    const SalaryStatement& s = slip.statement;
    const QString period = slip.from.isEmpty() && slip.to.isEmpty()
                               ? QStringLiteral("未记录")
                               : slip.from.toHtmlEscaped() + QStringLiteral(" 至 ") + slip.to.toHtmlEscaped();

    QString html;
    html += QStringLiteral("<h2 align=\"center\">%1</h2>").arg(slip.company.toHtmlEscaped());
    html += QStringLiteral("<h3 align=\"center\">%1</h3>").arg(salarySlipTitle());
    html += QStringLiteral("<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"5\">");
    html += QStringLiteral("<tr>") + head(QStringLiteral("姓名")) +
            QStringLiteral("<td>%1</td>").arg(s.name.toHtmlEscaped()) + head(QStringLiteral("统计期间")) +
            QStringLiteral("<td>%1</td></tr>").arg(period);
    html += QStringLiteral("<tr><th colspan=\"2\">应发项目</th><th colspan=\"2\">扣款项目</th></tr>");
    html += line(QStringLiteral("底薪"), s.basePay, QStringLiteral("迟到"), s.lateness);
    html += line(slip.commissionTyped ? QStringLiteral("提成总额（手工填写）") : QStringLiteral("提成总额"),
                 s.commission, QStringLiteral("早退"), s.earlyLeave);
    html += line(QStringLiteral("全勤奖"), s.fullAttendance, QStringLiteral("罚款"), s.fine);
    html += line(QStringLiteral("工龄奖"), s.seniority);
    html += line(QStringLiteral("奖金"), s.bonus);
    html += line(QStringLiteral("应发工资"), s.gross, QStringLiteral("实发工资"), s.net);
    html += QStringLiteral("</table>");
    html += QStringLiteral("<p align=\"right\">打印日期：%1</p>").arg(slip.printedOn.toHtmlEscaped());

    return documentFor(html, 11);
}

} // namespace shop

#pragma once

#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace shop::test {

// What a command-line tool (pdftotext, pdfinfo) prints; empty when it is not
// installed or fails.
inline QString toolOutput(const QString& tool, const QStringList& args)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return {};
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of a PDF file as laid out on its pages.
inline QString pdfText(const QString& pdf)
{
    return toolOutput("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"});
}

// Each page's width and height in millimetres, as pdfinfo reads them.
inline QList<QSizeF> pdfPageSizes(const QString& pdf)
{
    QList<QSizeF> out;
    const QString info = toolOutput("pdfinfo", {"-f", "1", "-l", "999", pdf});
    static const QRegularExpression size("Page +\\d+ size: +([0-9.]+) x ([0-9.]+) pts");
    for (auto m = size.globalMatch(info); m.hasNext();) {
        const auto match = m.next();
        out << QSizeF(match.captured(1).toDouble() * 25.4 / 72, match.captured(2).toDouble() * 25.4 / 72);
    }
    return out;
}

} // namespace shop::test

#include "day_closing_window.h"

#include "day_closing_document.h"

#include "data/csv_export.h"
#include "ui/document_path.h"
#include "ui/widgets.h"

#include <QDate>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

namespace shop {

namespace {
const QString kCaption = QStringLiteral("日结");
const QString kError = QStringLiteral("错误");
} // namespace

DayClosingWindow::DayClosingWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frm_rijie"));
    setWindowTitle(kCaption);

    date_ = dateEdit("txt_date");
    date_->setText(ctx_.today());
    QPushButton* countButton = button("cmd_count", QStringLiteral("统计(&S)"));
    QPushButton* printButton = button("cmd_print", QStringLiteral("打印(&P)"));
    QPushButton* previewButton = button("cmd_preview", QStringLiteral("打印预览(&V)"));
    QPushButton* pdfButton = button("cmd_pdf", QStringLiteral("保存PDF(&F)"));
    QPushButton* csvButton = button("cmd_csv", QStringLiteral("导出CSV(&C)"));
    QPushButton* exitButton = button("cmd_exit", QStringLiteral("退出(&E)"));
    report_ = new QTextBrowser;
    report_->setObjectName(QStringLiteral("txt_report"));

    auto* top = new QHBoxLayout;
    top->addWidget(buddyLabel(QStringLiteral("日期(&D)"), date_));
    top->addWidget(date_);
    top->addLayout(buttonRow({countButton, printButton, previewButton, pdfButton, csvButton, exitButton},
                             SpareWidth::After),
                   1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(report_, 1);

    connect(date_, &QLineEdit::returnPressed, this, &DayClosingWindow::count);
    connect(countButton, &QPushButton::clicked, this, &DayClosingWindow::count);
    connect(printButton, &QPushButton::clicked, this, &DayClosingWindow::print);
    connect(previewButton, &QPushButton::clicked, this, [this] {
        // The report as it will print; no printer is needed to see it.
        if (figures_)
            ctx_.printing().preview(*dayClosingDocument({{}, ctx_.today(), *figures_}), dayClosingTitle());
    });
    connect(pdfButton, &QPushButton::clicked, this, &DayClosingWindow::savePdf);
    connect(csvButton, &QPushButton::clicked, this, &DayClosingWindow::saveCsv);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);

    resize(720, 640);
    count();
}

void DayClosingWindow::count()
{
    // The one date form of the program; anything else would find no row.
    if (!checkDateBox(date_, ctx_.messages(), ctx_.today()))
        return;
    const QString typed = date_->text();
    const auto figures = money::dayClosing(ctx_.business(), typed);
    if (!figures) {
        ctx_.messages().databaseError(figures.error());
        return;
    }
    figures_ = *figures;
    report_->setDocument(nullptr);
    const auto document = dayClosingDocument({{}, ctx_.today(), *figures_});
    report_->setHtml(document->toHtml());
}

void DayClosingWindow::print()
{
    if (!figures_)
        return;
    PrintService& printing = ctx_.printing();
    if (!printing.hasPrinter()) {
        ctx_.messages().critical(
            QStringLiteral("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！"),
            QStringLiteral("打印错误"));
        // Asked first, as the salary slip asks: 打印 opens no save dialog unasked.
        if (ctx_.messages().question(QStringLiteral("是否将日结报表另存为PDF文件？"), QStringLiteral("打印")))
            savePdf();
        return;
    }
    const auto document = dayClosingDocument({{}, ctx_.today(), *figures_});
    if (printing.print(*document, dayClosingTitle()) == PrintResult::Failed)
        ctx_.messages().critical(QStringLiteral("打印失败，日结报表没有打印出来！请检查打印机后重试。"),
                                 QStringLiteral("打印错误"));
}

QString DayClosingWindow::chooseFile(const QString& caption, const QString& suffix, const QString& filter)
{
    return chooseDocumentFile(ctx_, caption, dayClosingTitle() + figures_->date, suffix, filter);
}

void DayClosingWindow::savePdf()
{
    if (!figures_)
        return;
    const QString file =
        chooseFile(QStringLiteral("另存为PDF"), QStringLiteral(".pdf"), QStringLiteral("PDF 文件 (*.pdf)"));
    if (file.isEmpty())
        return;
    const auto document = dayClosingDocument({{}, ctx_.today(), *figures_});
    const QString shown = QDir::toNativeSeparators(file);
    if (const SaveOutcome saved = ctx_.printing().saveAsPdf(*document, file); !saved)
        ctx_.messages().critical(QStringLiteral("无法保存PDF文件：\n%1\n%2").arg(shown, saved.failure),
                                 kError);
    else
        ctx_.messages().information(QStringLiteral("日结报表已保存为PDF文件：\n") + shown,
                                    QStringLiteral("信息"));
}

void DayClosingWindow::saveCsv()
{
    if (!figures_)
        return;
    const QString file =
        chooseFile(QStringLiteral("导出CSV"), QStringLiteral(".csv"), QStringLiteral("CSV 文件 (*.csv)"));
    if (file.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(file);
    const CsvResult r = writeCsv(dayClosingRows(*figures_), file);
    if (r.outcome == CsvOutcome::Written)
        ctx_.messages().information(QStringLiteral("日结报表已导出为CSV文件：\n") + shown,
                                    QStringLiteral("信息"));
    else
        ctx_.messages().critical(QStringLiteral("无法写入文件：\n%1\n%2").arg(shown, r.error), kError);
}

} // namespace shop

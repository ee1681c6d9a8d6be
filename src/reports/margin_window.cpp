#include "margin_window.h"

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
const QString kError = QStringLiteral("错误");
const QString kInfo = QStringLiteral("信息");
} // namespace

MarginWindow::MarginWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frm_maoli"));
    setWindowTitle(QStringLiteral("毛利"));
    from_ = dateEdit("txt_from");
    to_ = dateEdit("txt_to");
    // The month so far.
    from_->setText(ctx_.today().left(8) + QStringLiteral("01"));
    to_->setText(ctx_.today());
    QPushButton* countButton = button("cmd_count", QStringLiteral("统计(&S)"));
    QPushButton* printButton = button("cmd_print", QStringLiteral("打印(&P)"));
    QPushButton* pdfButton = button("cmd_pdf", QStringLiteral("保存PDF(&F)"));
    QPushButton* csvButton = button("cmd_csv", QStringLiteral("导出CSV(&C)"));
    QPushButton* exitButton = button("cmd_exit", QStringLiteral("退出(&E)"));
    report_ = new QTextBrowser;
    report_->setObjectName(QStringLiteral("txt_report"));

    auto* top = new QHBoxLayout;
    top->addWidget(buddyLabel(QStringLiteral("从(&D)"), from_));
    top->addWidget(from_);
    top->addWidget(buddyLabel(QStringLiteral("到(&T)"), to_));
    top->addWidget(to_);
    top->addLayout(buttonRow({countButton, printButton, pdfButton, csvButton, exitButton}, SpareWidth::After),
                   1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(report_, 1);

    connect(from_, &QLineEdit::returnPressed, to_, [this] { to_->setFocus(); });
    connect(to_, &QLineEdit::returnPressed, this, &MarginWindow::count);
    connect(countButton, &QPushButton::clicked, this, &MarginWindow::count);
    connect(printButton, &QPushButton::clicked, this, &MarginWindow::print);
    connect(pdfButton, &QPushButton::clicked, this, &MarginWindow::savePdf);
    connect(csvButton, &QPushButton::clicked, this, &MarginWindow::saveCsv);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    resize(820, 640);
    count();
}

MarginPage MarginWindow::page() const
{
    return {shownFrom_, shownTo_, ctx_.today(), *figures_};
}

void MarginWindow::count()
{
    if (!checkDateBox(from_, ctx_.messages(), ctx_.today()) ||
        !checkDateBox(to_, ctx_.messages(), ctx_.today()))
        return;
    const auto figures = money::marginsBetween(ctx_.business(), from_->text(), to_->text());
    if (!figures) {
        ctx_.messages().databaseError(figures.error());
        return;
    }
    figures_ = *figures;
    shownFrom_ = from_->text();
    shownTo_ = to_->text();
    report_->setHtml(marginDocument(page())->toHtml());
}

void MarginWindow::print()
{
    if (!figures_)
        return;
    if (!ctx_.printing().hasPrinter()) {
        ctx_.messages().critical(
            QStringLiteral("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！"),
            QStringLiteral("打印错误"));
        return;
    }
    if (ctx_.printing().print(*marginDocument(page()), marginTitle()) == PrintResult::Failed)
        ctx_.messages().critical(QStringLiteral("打印失败，毛利报表没有打印出来！请检查打印机后重试。"),
                                 QStringLiteral("打印错误"));
}

void MarginWindow::savePdf()
{
    if (!figures_)
        return;
    const QString file = chooseDocumentFile(ctx_, QStringLiteral("另存为PDF"), marginTitle() + shownTo_,
                                            QStringLiteral(".pdf"), QStringLiteral("PDF 文件 (*.pdf)"));
    if (file.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(file);
    if (const SaveOutcome saved = ctx_.printing().saveAsPdf(*marginDocument(page()), file); !saved)
        ctx_.messages().critical(QStringLiteral("无法保存PDF文件：\n%1\n%2").arg(shown, saved.failure),
                                 kError);
    else
        ctx_.messages().information(QStringLiteral("毛利报表已保存为PDF文件：\n") + shown, kInfo);
}

void MarginWindow::saveCsv()
{
    if (!figures_)
        return;
    const QString file = chooseDocumentFile(ctx_, QStringLiteral("导出CSV"), marginTitle() + shownTo_,
                                            QStringLiteral(".csv"), QStringLiteral("CSV 文件 (*.csv)"));
    if (file.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(file);
    const CsvResult r = writeCsv(marginRows(page()), file);
    if (r.outcome == CsvOutcome::Written)
        ctx_.messages().information(QStringLiteral("毛利报表已导出为CSV文件：\n") + shown, kInfo);
    else
        ctx_.messages().critical(QStringLiteral("无法写入文件：\n%1\n%2").arg(shown, r.error), kError);
}

} // namespace shop

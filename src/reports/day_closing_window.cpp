#include "day_closing_window.h"

#include "day_closing_document.h"
#include "margin_document.h"

#include "data/csv_export.h"
#include "ui/document_path.h"
#include "ui/rows_grid.h"
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
    // The goods and the employees as grids: a day's hundreds of goods lines
    // laid out as one page took a quarter of a second to show; a grid lays
    // out only the rows in sight. The page prints as before.
    const money::DayClosing none;
    const DayClosingTable goods = dayClosingGoods(none);
    const DayClosingTable employees = dayClosingEmployees(none);
    goods_ = new RowsGrid(QStringLiteral("bg_goods"), goods.headings, {2, 3});
    employees_ = new RowsGrid(QStringLiteral("bg_employees"), employees.headings, {1, 2, 3});
    // Cost and 毛利 are a supervisor's alone.
    if (ctx_.isSupervisor())
        margin_ = new RowsGrid(QStringLiteral("bg_margin"), marginGoodsTable({}).headings, {2, 3, 4, 5, 6});

    auto* top = new QHBoxLayout;
    top->addWidget(buddyLabel(QStringLiteral("日期(&D)"), date_));
    top->addWidget(date_);
    top->addLayout(buttonRow({countButton, printButton, previewButton, pdfButton, csvButton, exitButton},
                             SpareWidth::After),
                   1);
    const auto captioned = [](const QString& caption, QWidget* grid) {
        auto* column = new QVBoxLayout;
        column->addWidget(new QLabel(caption));
        column->addWidget(grid, 1);
        return column;
    };
    auto* grids = new QHBoxLayout;
    grids->addLayout(captioned(goods.caption, goods_), 3);
    grids->addLayout(captioned(employees.caption, employees_), 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(report_, 3);
    layout->addLayout(grids, 2);
    if (margin_)
        layout->addLayout(captioned(dayClosingMarginCaption(), margin_), 2);

    connect(date_, &QLineEdit::returnPressed, this, &DayClosingWindow::count);
    connect(countButton, &QPushButton::clicked, this, &DayClosingWindow::count);
    connect(printButton, &QPushButton::clicked, this, &DayClosingWindow::print);
    connect(previewButton, &QPushButton::clicked, this, [this] {
        // The report as it will print; no printer is needed to see it.
        if (figures_)
            ctx_.printing().preview(*dayClosingDocument(page()), dayClosingTitle());
    });
    connect(pdfButton, &QPushButton::clicked, this, &DayClosingWindow::savePdf);
    connect(csvButton, &QPushButton::clicked, this, &DayClosingWindow::saveCsv);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);

    resize(900, 720);
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
    margins_.reset();
    // The report owns its document, so the last one goes with the next (the
    // one it was made with goes by itself when replaced).
    QTextDocument* old = report_->document();
    const bool ours = old && old->parent() == report_;
    QTextDocument* head = dayClosingHead(page()).release();
    head->setParent(report_);
    report_->setDocument(head);
    if (ours)
        delete old;
    goods_->setRows(dayClosingGoods(*figures_).rows);
    employees_->setRows(dayClosingEmployees(*figures_).rows);
    if (margin_) {
        const auto margins = money::marginsBetween(ctx_.business(), typed, typed);
        if (!margins) {
            margin_->setRows({});
            ctx_.messages().databaseError(margins.error());
            return;
        }
        margins_ = *margins;
        margin_->setRows(marginGoodsTable(*margins_).rows);
    }
}

DayClosingPage DayClosingWindow::page() const
{
    return {{}, ctx_.today(), *figures_, margins_};
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
    const auto document = dayClosingDocument(page());
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
    const auto document = dayClosingDocument(page());
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
    const CsvResult r = writeCsv(dayClosingRows(*figures_, margins_), file);
    if (r.outcome == CsvOutcome::Written)
        ctx_.messages().information(QStringLiteral("日结报表已导出为CSV文件：\n") + shown,
                                    QStringLiteral("信息"));
    else
        ctx_.messages().critical(QStringLiteral("无法写入文件：\n%1\n%2").arg(shown, r.error), kError);
}

} // namespace shop

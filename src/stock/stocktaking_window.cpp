#include "stocktaking_window.h"

#include "count_sheet.h"

#include "data/csv_export.h"
#include "data/numeric.h"
#include "data/schema.h"
#include "ui/document_path.h"
#include "ui/record_view.h"
#include "ui/widgets.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace shop {

namespace {

const QString kCaption = QStringLiteral("盘点");
const QString kError = QStringLiteral("错误");
const QString kInfo = QStringLiteral("信息");

QString figure(double v)
{
    return numberText(v);
}

} // namespace

StocktakingWindow::StocktakingWindow(AppContext& ctx, QWidget* parent)
    : QWidget(parent), ctx_(ctx),
      totalsRead_(
          [this] {
              return onOwnConnection<counts::Summary>(ctx_, [](Database& db) { return counts::summary(db); });
          },
          [this](const DbValue<counts::Summary>& s) {
              if (!s) {
                  ctx_.messages().databaseError(s.error());
                  return;
              }
              figures_ = *s;
              figuresKnown_ = true;
              showFigures();
          },
          this)
{
    setObjectName(QStringLiteral("frm_pandian"));
    setWindowTitle(kCaption);

    choice_ = new QComboBox;
    choice_->setObjectName(QStringLiteral("cmb_choice"));
    choice_->addItems({QStringLiteral("全部商品"), QStringLiteral("按供应商"), QStringLiteral("按商品名称")});
    choiceText_ = lineEdit("txt_choice");
    start_ = button("cmd_start", QStringLiteral("开始盘点(&B)"));
    print_ = button("cmd_print", QStringLiteral("打印盘点表(&P)"));
    pdf_ = button("cmd_pdf", QStringLiteral("保存PDF(&F)"));
    csv_ = button("cmd_csv", QStringLiteral("保存CSV(&V)"));
    apply_ = button("cmd_apply", QStringLiteral("应用盘点(&A)"));
    cancel_ = button("cmd_cancel", QStringLiteral("取消盘点(&X)"));
    QPushButton* exitButton = button("cmd_exit", QStringLiteral("退出(&E)"));
    counted_ = lineEdit("txt_counted");
    line_ = valueLabel("lab_line");
    totals_ = valueLabel("lab_total");
    grid_ = namedGrid(ctx_, ctx_.business(), schema::pandian::kTable, "bg", "Data1", this);
    // The count is typed below the grid, never into it.
    grid_->setAllowUpdate(false);
    grid_->setAllowDelete(false);

    auto* top = new QGridLayout;
    addField(top, 0, 0, QStringLiteral("盘点范围"), choice_);
    addField(top, 0, 1, QStringLiteral("供应商或名称"), choiceText_);
    top->addLayout(buttonRow({start_, print_, pdf_, csv_}, SpareWidth::After), 0, 4);
    auto* bottom = new QGridLayout;
    addField(bottom, 0, 0, QStringLiteral("实盘数量(&Q)"), counted_);
    bottom->addWidget(line_, 0, 2);
    bottom->addLayout(buttonRow({apply_, cancel_, exitButton}, SpareWidth::Before), 0, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grid_, 1);
    layout->addLayout(bottom);
    layout->addWidget(totals_);

    connect(start_, &QPushButton::clicked, this, &StocktakingWindow::startCount);
    connect(choiceText_, &QLineEdit::returnPressed, this, &StocktakingWindow::startCount);
    connect(counted_, &QLineEdit::returnPressed, this, &StocktakingWindow::recordCounted);
    connect(apply_, &QPushButton::clicked, this, &StocktakingWindow::applyCount);
    connect(cancel_, &QPushButton::clicked, this, &StocktakingWindow::cancelCount);
    connect(print_, &QPushButton::clicked, this, &StocktakingWindow::printSheet);
    connect(pdf_, &QPushButton::clicked, this, &StocktakingWindow::savePdf);
    connect(csv_, &QPushButton::clicked, this, &StocktakingWindow::saveCsv);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    // A line's own difference is one row's read; the count's figures stay.
    connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { showLine(); });
    connect(&ctx_.notifier(), &TableNotifier::tableChanged, this, [this](const QString& table) {
        if (!recording_ && table == schema::pandian::kTable)
            showSheet();
    });

    resize(820, 600);
    showSheet();
}

void StocktakingWindow::showSheet(std::optional<counts::Totals> totals)
{
    grid_->setSource(counts::sheet());
    const auto under = counts::underWay(ctx_.business());
    if (under.failed())
        ctx_.messages().databaseError(under.error());
    counting_ = under.found() && *under;
    for (QWidget* w :
         {static_cast<QWidget*>(choice_), static_cast<QWidget*>(choiceText_), static_cast<QWidget*>(start_)})
        w->setEnabled(!counting_);
    for (QWidget* w :
         {static_cast<QWidget*>(apply_), static_cast<QWidget*>(cancel_), static_cast<QWidget*>(print_),
          static_cast<QWidget*>(pdf_), static_cast<QWidget*>(csv_), static_cast<QWidget*>(counted_)})
        w->setEnabled(counting_);
    figuresKnown_ = totals.has_value() || !counting_;
    figures_ = totals.value_or(counts::Totals{});
    // A count of many lines is summed behind the person's work.
    if (!figuresKnown_)
        totalsRead_.request();
    showFigures();
}

void StocktakingWindow::showFigures()
{
    if (!counting_)
        totals_->setText(QStringLiteral("没有进行中的盘点"));
    else if (!figuresKnown_)
        totals_->setText(QStringLiteral("正在统计盘点数据……"));
    else
        totals_->setText(QStringLiteral("已清点 %1/%2 种商品，有差异 %3 种，差异金额（按进货价）：%4元")
                             .arg(figures_.counted)
                             .arg(figures_.lines)
                             .arg(figures_.differing)
                             .arg(figure(figures_.valueAtCost())));
    showLine();
}

void StocktakingWindow::showLine()
{
    line_->clear();
    const auto rec = grid_->currentRecord();
    if (!counting_ || !rec)
        return;
    const auto d = counts::lineOf(ctx_.business(), rec->rowid);
    if (!d) {
        ctx_.messages().databaseError(d.error());
        return;
    }
    if (!*d || (*d)->difference == 0)
        return;
    line_->setText((*d)->costMissing
                       ? QStringLiteral("差异：%1　进货价格为0或没有，不计金额").arg(figure((*d)->difference))
                       : QStringLiteral("差异：%1　差异金额：%2元")
                             .arg(figure((*d)->difference), figure((*d)->valueAtCost())));
}

void StocktakingWindow::startCount()
{
    if (counting_)
        return;
    counts::Choice c;
    c.kind = static_cast<counts::Choice::Kind>(choice_->currentIndex());
    c.text = choiceText_->text();
    if (c.kind != counts::Choice::All && c.text.trimmed().isEmpty()) {
        ctx_.messages().critical(QStringLiteral("请输入供应商或商品名称！"), kError);
        choiceText_->setFocus();
        return;
    }
    const auto started = counts::start(ctx_.business(), c);
    if (!started) {
        ctx_.messages().databaseError(started.error());
        return;
    }
    if (started->kind == counts::Started::Empty) {
        ctx_.messages().critical(QStringLiteral("没有符合条件的商品！"), kError);
        return;
    }
    if (started->kind == counts::Started::Busy)
        ctx_.messages().critical(QStringLiteral("已有未完成的盘点，请先应用或取消该盘点！"), kError);
    // A new count's figures are known: its lines, none counted yet.
    std::optional<counts::Totals> known;
    if (started->kind == counts::Started::Done) {
        known.emplace();
        known->lines = started->lines;
    }
    recording_ = true;
    ctx_.notifier().changed({schema::pandian::kTable});
    recording_ = false;
    showSheet(known);
    if (counting_) {
        grid_->setFocus();
        grid_->selectRow(0);
        counted_->setFocus();
    }
}

void StocktakingWindow::recordCounted()
{
    const auto rec = grid_->currentRecord();
    if (!counting_ || !rec)
        return;
    const QString typed = counted_->text();
    if (!counts::isCountedQuantity(typed)) {
        ctx_.messages().critical(QStringLiteral("实盘数量必须是大于或等于0的整数！"), kError);
        counted_->selectAll();
        counted_->setFocus();
        return;
    }
    // The figures read before this line's count, so that it is counted once.
    if (totalsRead_.busy())
        totalsRead_.wait();
    const auto r = counts::record(ctx_.business(), rec->rowid, typed);
    if (!r) {
        ctx_.messages().databaseError(r.error());
        return;
    }
    switch (r->kind) {
    case counts::Recorded::Gone:
        ctx_.messages().critical(QStringLiteral("该商品已被删除，无法盘点！"), kError);
        return;
    case counts::Recorded::Renumbered:
        ctx_.messages().critical(QStringLiteral("该商品的产品编号或名称已被修改，无法盘点！"), kError);
        return;
    case counts::Recorded::NotCounting:
        ctx_.messages().critical(QStringLiteral("本次盘点已被应用或取消！"), kError);
        ctx_.notifier().changed({schema::pandian::kTable});
        return;
    case counts::Recorded::Done:
        break;
    }
    const int row = grid_->currentIndex().row();
    figures_.take(r->before);
    figures_.put(r->after);
    recording_ = true;
    ctx_.notifier().changed({schema::pandian::kTable});
    recording_ = false;
    showFigures();
    // The next line, ready to be typed.
    grid_->selectRow(qMin(row + 1, grid_->model()->rowCount() - 1));
    counted_->clear();
    counted_->setFocus();
}

void StocktakingWindow::applyCount()
{
    const auto s = counts::summary(ctx_.business());
    if (!s) {
        ctx_.messages().databaseError(s.error());
        return;
    }
    // Applied or cancelled on another till since this window showed it.
    if (s->lines == 0) {
        ctx_.messages().critical(QStringLiteral("本次盘点已被应用或取消！"), kError);
        showSheet();
        return;
    }
    if (s->counted == 0) {
        ctx_.messages().critical(QStringLiteral("还没有清点任何商品！"), kError);
        return;
    }
    const QString reason = ctx_.messages().input(QStringLiteral("请输入盘点原因："), kCaption).trimmed();
    if (reason.isEmpty()) {
        ctx_.messages().critical(QStringLiteral("盘点原因不能为空，盘点没有应用！"), kError);
        return;
    }
    if (!ctx_.messages().question(
            QStringLiteral("已清点 %1 种商品，有差异 %2 种，差异金额（按进货价）%3元。\n"
                           "确定要应用盘点结果吗？")
                .arg(s->counted)
                .arg(s->differences.size())
                .arg(figure(s->valueAtCost())),
            kCaption))
        return;
    const auto a = counts::apply(ctx_.business(), reason);
    if (!a) {
        ctx_.messages().databaseError(a.error());
        return;
    }
    const QString line = QStringLiteral("商品 %1（%2）").arg(a->code, a->name);
    switch (a->kind) {
    case counts::Applied::Done:
        ctx_.messages().information(QStringLiteral("盘点已应用，%1 种商品的库存已调整。").arg(a->changed),
                                    kInfo);
        ctx_.notifier().changed({schema::pandian::kTable, schema::jinhuo::kTable});
        return;
    case counts::Applied::NothingCounted:
        ctx_.messages().critical(QStringLiteral("还没有清点任何商品！"), kError);
        return;
    case counts::Applied::NotCounting:
        ctx_.messages().critical(QStringLiteral("本次盘点已被应用或取消！"), kError);
        break;
    case counts::Applied::LineGone:
        ctx_.messages().critical(line + QStringLiteral("已被删除，盘点没有应用！"), kError);
        break;
    case counts::Applied::Renumbered:
        ctx_.messages().critical(line + QStringLiteral("的产品编号或名称已被修改，盘点没有应用！"), kError);
        break;
    case counts::Applied::CountedElsewhere:
        ctx_.messages().critical(line + QStringLiteral("清点后已被其他盘点调整，盘点没有应用！"), kError);
        break;
    case counts::Applied::SoldBeyondCount:
        ctx_.messages().critical(line + QStringLiteral("清点后售出的数量超过实盘数量，请重新清点该商品！"),
                                 kError);
        break;
    }
    ctx_.notifier().changed({schema::pandian::kTable});
}

void StocktakingWindow::cancelCount()
{
    if (!ctx_.messages().question(QStringLiteral("真的要取消本次盘点吗？"), kCaption))
        return;
    if (const DbResult r = counts::cancel(ctx_.business()); !r) {
        ctx_.messages().databaseError(r.error);
        return;
    }
    ctx_.notifier().changed({schema::pandian::kTable});
}

std::optional<QList<QStringList>> StocktakingWindow::sheetRows()
{
    auto rows = counts::sheetRows(ctx_.business());
    if (!rows) {
        ctx_.messages().databaseError(rows.error());
        return std::nullopt;
    }
    return std::move(*rows);
}

void StocktakingWindow::printSheet()
{
    if (!ctx_.printing().hasPrinter()) {
        ctx_.messages().critical(
            QStringLiteral("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！"),
            QStringLiteral("打印错误"));
        return;
    }
    const auto rows = sheetRows();
    if (!rows)
        return;
    if (ctx_.printing().print(*countSheetDocument(*rows, ctx_.today()), countSheetTitle()) ==
        PrintResult::Failed)
        ctx_.messages().critical(QStringLiteral("打印失败，盘点表没有打印出来！请检查打印机后重试。"),
                                 QStringLiteral("打印错误"));
}

void StocktakingWindow::savePdf()
{
    const QString file =
        chooseDocumentFile(ctx_, QStringLiteral("另存为PDF"), countSheetTitle() + ctx_.today(),
                           QStringLiteral(".pdf"), QStringLiteral("PDF 文件 (*.pdf)"));
    if (file.isEmpty())
        return;
    const auto rows = sheetRows();
    if (!rows)
        return;
    const QString shown = QDir::toNativeSeparators(file);
    if (const SaveOutcome saved = ctx_.printing().saveAsPdf(*countSheetDocument(*rows, ctx_.today()), file);
        !saved)
        ctx_.messages().critical(QStringLiteral("无法保存PDF文件：\n%1\n%2").arg(shown, saved.failure),
                                 kError);
    else
        ctx_.messages().information(QStringLiteral("盘点表已保存为PDF文件：\n") + shown, kInfo);
}

void StocktakingWindow::saveCsv()
{
    const QString file = chooseDocumentFile(ctx_, QStringLiteral("导出CSV"), countSheetTitle() + ctx_.today(),
                                            QStringLiteral(".csv"), QStringLiteral("CSV 文件 (*.csv)"));
    if (file.isEmpty())
        return;
    const auto rows = sheetRows();
    if (!rows)
        return;
    const QString shown = QDir::toNativeSeparators(file);
    const CsvResult r = writeCsv(countSheetCsv(*rows), file);
    if (r.outcome == CsvOutcome::Written)
        ctx_.messages().information(QStringLiteral("盘点表已导出为CSV文件：\n") + shown, kInfo);
    else
        ctx_.messages().critical(QStringLiteral("无法写入文件：\n%1\n%2").arg(shown, r.error), kError);
}

} // namespace shop

#include "stocktaking_window.h"

#include "data/numeric.h"
#include "data/schema.h"
#include "data/stocktaking.h"
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

QString escaped(const QString& t)
{
    return t.toHtmlEscaped();
}

QString figure(double v)
{
    return numberText(v);
}

// The sheet as pages: every line with a blank to write the count in.
std::unique_ptr<QTextDocument> sheetDocument(Database& db, const QString& printedOn, QString* error)
{
    const RecordSource sheet = counts::sheet();
    QString rows;
    QVariantList binds;
    QStringList columns;
    for (const QString& c : sheet.columns)
        columns << quoteIdent(c);
    const DbResult r = db.selectKeyedTexts(
        QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
            .arg(columns.join(QStringLiteral(", ")), quoteIdent(sheet.table)),
        {}, [&rows](qint64, const Database::TextRow& t) {
            rows += QStringLiteral(
                        "<tr><td>%1</td><td>%2</td><td>%3</td><td align=\"right\">%4</td><td>%5</td></tr>")
                        .arg(escaped(t.text(counts::Code)), escaped(t.text(counts::Name)),
                             escaped(t.text(counts::Supplier)), escaped(t.text(counts::SheetStock)),
                             escaped(t.text(counts::Counted)));
            return true;
        });
    if (!r) {
        *error = r.error;
        return nullptr;
    }
    const QString html =
        QStringLiteral(
            "<h3 align=\"center\">盘点表</h3><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
            "width=\"100%\"><tr><th>产品编号</th><th>商品名称</th><th>供应商</th><th>账面数量</th>"
            "<th>实盘数量</th></tr>%1</table><p align=\"right\">打印日期：%2</p>")
            .arg(rows, escaped(printedOn));
    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(
        QFont(QStringList{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Microsoft YaHei"),
                          QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")},
              10));
    doc->setDocumentMargin(24);
    doc->setHtml(html);
    return doc;
}

} // namespace

StocktakingWindow::StocktakingWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
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
    top->addLayout(buttonRow({start_, print_, pdf_}, SpareWidth::After), 0, 4);
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
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showFigures(); });
    connect(&ctx_.notifier(), &TableNotifier::tableChanged, this, [this](const QString& table) {
        if (table == schema::pandian::kTable)
            showSheet();
    });

    resize(820, 600);
    showSheet();
}

void StocktakingWindow::showSheet()
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
          static_cast<QWidget*>(pdf_), static_cast<QWidget*>(counted_)})
        w->setEnabled(counting_);
    showFigures();
}

void StocktakingWindow::showFigures()
{
    const auto s = counts::summary(ctx_.business());
    if (!s) {
        ctx_.messages().databaseError(s.error());
        return;
    }
    totals_->setText(counting_
                         ? QStringLiteral("已清点 %1/%2 种商品，有差异 %3 种，差异金额（按进货价）：%4元")
                               .arg(s->counted)
                               .arg(s->lines)
                               .arg(s->differences.size())
                               .arg(figure(s->valueAtCost))
                         : QStringLiteral("没有进行中的盘点"));
    line_->clear();
    const auto rec = grid_->currentRecord();
    if (!rec)
        return;
    for (const counts::Difference& d : s->differences)
        if (d.row == rec->rowid)
            line_->setText(
                d.costMissing
                    ? QStringLiteral("差异：%1　进货价格为0或没有，不计金额").arg(figure(d.difference))
                    : QStringLiteral("差异：%1　差异金额：%2元")
                          .arg(figure(d.difference), figure(d.valueAtCost)));
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
    if (started->kind == counts::Started::Empty)
        ctx_.messages().critical(QStringLiteral("没有符合条件的商品！"), kError);
    else if (started->kind == counts::Started::Busy)
        ctx_.messages().critical(QStringLiteral("已有未完成的盘点，请先应用或取消该盘点！"), kError);
    ctx_.notifier().changed({schema::pandian::kTable});
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
    const auto r = counts::record(ctx_.business(), rec->rowid, typed);
    if (!r) {
        ctx_.messages().databaseError(r.error());
        return;
    }
    switch (*r) {
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
    ctx_.notifier().changed({schema::pandian::kTable});
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
                .arg(figure(s->valueAtCost)),
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

void StocktakingWindow::printSheet()
{
    if (!ctx_.printing().hasPrinter()) {
        ctx_.messages().critical(
            QStringLiteral("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！"),
            QStringLiteral("打印错误"));
        return;
    }
    QString error;
    const auto doc = sheetDocument(ctx_.business(), ctx_.today(), &error);
    if (!doc) {
        ctx_.messages().databaseError(error);
        return;
    }
    if (ctx_.printing().print(*doc, QStringLiteral("盘点表")) == PrintResult::Failed)
        ctx_.messages().critical(QStringLiteral("打印失败，盘点表没有打印出来！请检查打印机后重试。"),
                                 QStringLiteral("打印错误"));
}

void StocktakingWindow::savePdf()
{
    const QString file =
        chooseDocumentFile(ctx_, QStringLiteral("另存为PDF"), QStringLiteral("盘点表") + ctx_.today(),
                           QStringLiteral(".pdf"), QStringLiteral("PDF 文件 (*.pdf)"));
    if (file.isEmpty())
        return;
    QString error;
    const auto doc = sheetDocument(ctx_.business(), ctx_.today(), &error);
    if (!doc) {
        ctx_.messages().databaseError(error);
        return;
    }
    const QString shown = QDir::toNativeSeparators(file);
    if (const SaveOutcome saved = ctx_.printing().saveAsPdf(*doc, file); !saved)
        ctx_.messages().critical(QStringLiteral("无法保存PDF文件：\n%1\n%2").arg(shown, saved.failure),
                                 kError);
    else
        ctx_.messages().information(QStringLiteral("盘点表已保存为PDF文件：\n") + shown, kInfo);
}

} // namespace shop

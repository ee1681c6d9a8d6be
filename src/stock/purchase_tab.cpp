#include "purchase_tab.h"

#include "data/numeric.h"
#include "data/schema.h"
#include "ui/field_set.h"
#include "ui/record_view.h"
#include "ui/tab_order.h"
#include "ui/widgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace shop {

namespace {

const QString kTable = PurchaseService::kTable;
namespace goods = schema::jinhuo;
const QString kInfo = QStringLiteral("信息");
const QString kInfoTip = QStringLiteral("信息提示");
const QString kError = QStringLiteral("错误");
const QString kNotFound = QStringLiteral("没有找到相应的记录！");

const char* const kName = "txt_name";
const char* const kCode = "txt_code";
const char* const kStock = "txt_quantily";
const char* const kDate = "txt_date";

} // namespace

PurchaseTab::PurchaseTab(AppContext& ctx, QWidget* parent)
    : TabPage(parent), ctx_(ctx), service_(ctx.business())
{
    setObjectName(QStringLiteral("jin_page"));

    // Four rows: name, code, size; pieces, purchase price, retail price;
    // quantity, supplier (wide); date, remark (wide).
    const QStringList columns = schema::columnsOf(kTable);
    // clang-format off
    const QList<FieldDef> defs = {
        {.name = kName, .label = "商品名称", .column = goods::kName, .mandatory = "商品名称不能为空！"},
        {.name = kCode, .label = "产品编号", .column = goods::kCode, .mandatory = "产品编号不能为空！", .col = 1},
        {.name = "txt_mode", .label = "规格容量", .column = goods::kSize, .col = 2},
        {.name = "txt_box", .label = "每箱件数", .column = goods::kPerBox, .row = 1},
        {.name = "txt_inprice", .label = "进货价格", .column = goods::kPurchasePrice, .mandatory = "进货价格不能为空！", .row = 1, .col = 1},
        {.name = "txt_salse_price", .label = "零售价格", .column = goods::kRetailPrice, .mandatory = "零售价不能为空！", .row = 1, .col = 2},
        {.name = kStock, .label = "订货数量", .column = goods::kStock, .mandatory = "订货数量不能为空！", .row = 2, .flags = Trimmed},
        {.name = "txt_superlier", .label = "供 应 商", .column = goods::kSupplier, .row = 2, .col = 1, .span = 2},
        {.name = kDate, .label = "进货日期", .column = goods::kDate, .kind = FieldKind::Date, .row = 3},
        {.name = "txt_remark", .label = "说    明", .column = goods::kRemark, .row = 3, .col = 1, .span = 2},
    };
    // clang-format on
    fields_ = new FieldSet(ctx_, this, columns, defs);

    add_ = button("cmd_add", kAddCaption);
    delete_ = button("cmd_del", QStringLiteral("删除(&D)"));
    modify_ = button("cmd_modify", QStringLiteral("修改(&M)"));
    query_ = button("cmd_query", QStringLiteral("查询(&Q)"));
    clear_ = button("cmd_clear", QStringLiteral("清除/刷新(&C)"));
    exit_ = button("cmd_exit", QStringLiteral("退出(&E)"));
    grid_ = namedGrid(ctx_, ctx_.business(), kTable, "jin_bg", "Data1", this);
    // Read-only: no in-place edits, no deletes from the grid, no arrow keys.
    grid_->setAllowUpdate(false);
    grid_->setAllowDelete(false);
    grid_->installEventFilter(this);
    QHash<int, QString> sorts;
    for (int i = 0; i < columns.size(); ++i)
        sorts.insert(i, columns.at(i));
    grid_->setSortColumns(sorts);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields_->layout());
    layout->addLayout(buttonRow({add_, delete_, modify_, query_, clear_, exit_}, SpareWidth::None));
    layout->addWidget(grid_, 1);
    tabInReadingOrder(this);

    fields_->chainTo(add_);

    connect(add_, &QPushButton::clicked, this, [this] {
        if (inAddStockMode())
            commitAddedStock();
        else
            addGoods();
    });
    connect(delete_, &QPushButton::clicked, this, &PurchaseTab::deleteLine);
    connect(modify_, &QPushButton::clicked, this, &PurchaseTab::modifyLine);
    connect(clear_, &QPushButton::clicked, this, &PurchaseTab::clearRefresh);
    // Exit leaves add-stock mode too.
    closesWith(exit_, [this] {
        clear_fields();
        setMode(std::nullopt);
    });
    // The query button acts on the mouse button going down, not on a click.
    query_->installEventFilter(this);
    connect(field(kName), &QLineEdit::textChanged, this, [this](const QString& t) {
        add_->setEnabled(!t.isEmpty());
        // The timer keeps this one too; follow the name at once as well.
        modify_->setEnabled(!t.isEmpty());
    });
    // Stock goes only to the line the fields show: another name or code
    // leaves add-stock mode.
    for (const char* name : {kName, kCode})
        connect(field(name), &QLineEdit::textChanged, this, [this] {
            if (inAddStockMode())
                setMode(std::nullopt);
        });
    connect(grid_, &RecordView::rowClicked, this, &PurchaseTab::loadRow);
    // The line the fields show was deleted elsewhere: they show nothing.
    connect(grid_, &RecordView::currentRowLost, this, [this](qint64 rowid) {
        if (loadedRowid_ == rowid || (stockLine_ && stockLine_->rowid == rowid)) {
            setMode(std::nullopt);
            clear_fields();
        }
    });

    add_->setEnabled(false);
    grid_->refresh();
    fields_->setText(kDate, ctx_.today());
    updateStates();
}

QLineEdit* PurchaseTab::field(const char* name) const
{
    return fields_->as<QLineEdit>(name);
}

void PurchaseTab::setMode(std::optional<StockLine> line)
{
    stockLine_ = line;
    add_->setText(stockLine_ ? kAddStockCaption : kAddCaption);
}

void PurchaseTab::showTab()
{
    fields_->setText(kDate, ctx_.today());
    field(kName)->setFocus();
    updateStates();
}

void PurchaseTab::updateStates()
{
    const bool rows = !grid_->isEmpty();
    delete_->setEnabled(rows);
    query_->setEnabled(rows);
    modify_->setEnabled(!fields_->text(kName).isEmpty());
}

void PurchaseTab::clear_fields()
{
    fields_->clear();
    fields_->setText(kDate, ctx_.today());
    field(kName)->setFocus();
    loadedRowid_.reset();
}

void PurchaseTab::afterWrite(const QStringList& tables)
{
    ctx_.notifier().changed(tables);
    updateStates();
}

void PurchaseTab::addGoods()
{
    const QStringList values = fields_->values();
    if (fields_->text(kName).isEmpty() || fields_->text(kCode).isEmpty()) {
        ctx_.messages().critical(QStringLiteral("请输入完整的资料！"), kError);
        field(kName)->setFocus();
        return;
    }
    grid_->refresh();

    const auto match = service_.matchForAdd(grid_->source(), values);
    if (match.failed()) {
        ctx_.messages().databaseError(match.error());
        return;
    }
    if (match) {
        if (!ctx_.messages().question(QStringLiteral("商品名已存在，你想添加库存吗？"), kInfo)) {
            clear_fields();
            return;
        }
        clear_fields();
        // The matched line, its quantity left empty for the amount added,
        // current in the grid so that delete and modify act on it.
        fields_->show(match->values);
        fields_->setText(kStock, QString());
        loadedRowid_ = match->rowid;
        grid_->bringToRow(match->rowid);
        const double figure = PurchaseService::wholeFigure(match->values.value(6));
        ctx_.messages().information(QStringLiteral("目前该产品的库存量为：") + numberText(figure), kInfoTip);
        field(kStock)->setFocus();
        setMode(StockLine{match->rowid});
        return;
    }

    if (!ctx_.wrote(service_.addGoods(values), {PurchaseService::kHistory, kTable}))
        return;
    updateStates();
    clear_fields();
}

void PurchaseTab::commitAddedStock()
{
    const QString quantity = fields_->text(kStock);
    if (quantity.isEmpty() || !stockLine_)
        return;
    const StockOutcome out = service_.addStock(stockLine_->rowid, quantity);
    switch (out.kind) {
    case StockOutcome::Overflow:
        ctx_.messages().critical(QStringLiteral("订货数量超出范围！"), kError);
        field(kStock)->setFocus();
        return;
    case StockOutcome::Failed:
        ctx_.messages().databaseError(out.error);
        return;
    case StockOutcome::LineDeleted:
        ctx_.messages().critical(QStringLiteral("该商品已被删除，无法添加库存！"), kError);
        setMode(std::nullopt);
        grid_->rerun();
        clear_fields();
        updateStates();
        return;
    case StockOutcome::Added:
        break;
    }
    ctx_.messages().information(QStringLiteral("添加成功，目前该产品的库存量为：") + out.stock, kInfoTip);
    afterWrite({kTable});
    setMode(std::nullopt);
    clear_fields();
}

void PurchaseTab::modifyLine()
{
    const auto written = service_.modify(loadedRowid_, grid_->source(), fields_->values());
    if (!written) {
        // No line of that name and code: nothing is said.
        if (written.failed())
            ctx_.messages().databaseError(written.error());
        return;
    }
    ctx_.messages().information(QStringLiteral("修改成功！"), kInfo);
    afterWrite({kTable});
    clear_fields();
}

void PurchaseTab::deleteLine()
{
    // Asks, deletes exactly the selected row and reports a failure.
    grid_->deleteSelected(RecordView::defaultDeleteQuestion(), kInfo);
    grid_->rerun();
    updateStates();
    clear_fields();
}

void PurchaseTab::showNotFoundFallback()
{
    if (!grid_->isEmpty())
        return;
    ctx_.messages().critical(kNotFound, kError);
    grid_->refresh();
}

void PurchaseTab::findByName()
{
    if (grid_->search({QStringLiteral("请输入要查询的商品名称"), QStringLiteral("商品名称查询"), goods::kName,
                       kNotFound, kError}) == SearchResult::Cancelled)
        return;
    updateStates();
    clear_fields();
}

void PurchaseTab::rerunQuery()
{
    if (grid_->rerun())
        showNotFoundFallback();
    updateStates();
    clear_fields();
}

void PurchaseTab::clearRefresh()
{
    clear_fields();
    grid_->refresh();
    updateStates();
}

void PurchaseTab::loadRow(const Record& record)
{
    if (record.values.size() < schema::columnsOf(kTable).size())
        return;
    setMode(std::nullopt);
    fields_->show(record.values);
    loadedRowid_ = record.rowid;
    field(kName)->setFocus();
}

bool PurchaseTab::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == query_ && event->type() == QEvent::MouseButtonPress) {
        // A greyed-out button does nothing.
        if (!query_->isEnabled())
            return true;
        auto* m = static_cast<QMouseEvent*>(event);
        if (m->button() == Qt::LeftButton)
            findByName();
        else
            rerunQuery();
        return true;
    }
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            return true;
        default:
            break;
        }
    }
    return TabPage::eventFilter(watched, event);
}

} // namespace shop

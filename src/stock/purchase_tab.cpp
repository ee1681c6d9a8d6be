#include "purchase_tab.h"

#include "ui/enter_chain.h"
#include "ui/record_view.h"
#include "data/numeric.h"
#include "data/schema.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace shop {

namespace {

const QString kTable = QStringLiteral("jinhuo");
const QString kHistory = QStringLiteral("jinhuo_history");
const QString kInfo = QStringLiteral("信息");
const QString kInfoTip = QStringLiteral("信息提示");
const QString kError = QStringLiteral("错误");

enum Column { Name = 0, Code = 1, Price = 4, Stock = 6, Date = 8 };

// The remembered stock figure: the stock text's number rounded to a whole
// number, halves to even. Beyond the range of whole-number rounding the
// value already is whole.
double wholeFigure(const QString& stockText)
{
    const double v = numericValue(stockText);
    return std::abs(v) < 9.0e18 ? static_cast<double>(roundHalfEven(v)) : v;
}

QString insertSql(const QString& table)
{
    return QStringLiteral("INSERT INTO %1 VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)").arg(quoteIdent(table));
}

QVariantList binds(const QStringList& values)
{
    QVariantList out;
    for (const QString& v : values)
        out << textValue(v);
    return out;
}

} // namespace

PurchaseTab::PurchaseTab(AppContext& ctx, QWidget* parent) : TabPage(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("jin_page"));

    struct FieldDef {
        const char* name;
        const char* label;
    };
    // In the order of the columns of jinhuo.
    static const FieldDef defs[] = {
        {"txt_name", "商品名称"},     {"txt_code", "产品编号"},      {"txt_mode", "规格容量"},
        {"txt_box", "每箱件数"},      {"txt_inprice", "进货价格"},   {"txt_salse_price", "零售价格"},
        {"txt_quantily", "订货数量"}, {"txt_superlier", "供 应 商"}, {"txt_date", "进货日期"},
        {"txt_remark", "说    明"},
    };
    QList<QLabel*> labels;
    for (const FieldDef& d : defs) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(d.name));
        fields_ << e;
        auto* l = new QLabel(QString::fromUtf8(d.label), this);
        l->setObjectName(QStringLiteral("lab_") + QString::fromLatin1(d.name).mid(4));
        l->setBuddy(e);
        labels << l;
    }

    // Four rows: name, code, size; pieces, purchase price, retail
    // price; quantity, supplier (wide); date, remark (wide).
    auto* form = new QGridLayout;
    auto place = [&](int column, int row, int col, int span) {
        form->addWidget(labels.at(column), row, col * 2);
        form->addWidget(fields_.at(column), row, col * 2 + 1, 1, span);
    };
    place(0, 0, 0, 1);
    place(1, 0, 1, 1);
    place(2, 0, 2, 1);
    place(3, 1, 0, 1);
    place(4, 1, 1, 1);
    place(5, 1, 2, 1);
    place(6, 2, 0, 1);
    place(7, 2, 1, 3);
    place(8, 3, 0, 1);
    place(9, 3, 1, 3);

    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdAdd_ = button("cmd_add", kAddCaption);
    cmdDel_ = button("cmd_del", QStringLiteral("删除(&D)"));
    cmdModify_ = button("cmd_modify", QStringLiteral("修改(&M)"));
    cmdQuery_ = button("cmd_query", QStringLiteral("查询(&Q)"));
    cmdClear_ = button("cmd_clear", QStringLiteral("清除/刷新(&C)"));
    cmdExit_ = button("cmd_exit", QStringLiteral("退出(&E)"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {cmdAdd_, cmdDel_, cmdModify_, cmdQuery_, cmdClear_, cmdExit_})
        buttons->addWidget(b);

    grid_ = new RecordView(ctx_, ctx_.business(), kTable, this);
    grid_->setObjectName(QStringLiteral("jin_bg"));
    grid_->records()->setObjectName(QStringLiteral("Data1"));
    // Read-only: no in-place edits, no deletes from the grid, no arrow keys.
    grid_->setAllowUpdate(false);
    grid_->setAllowDelete(false);
    grid_->installEventFilter(this);
    QHash<int, QString> sorts;
    const QStringList columns = schema::columnsOf(kTable);
    for (int i = 0; i < columns.size(); ++i)
        sorts.insert(i, columns.at(i));
    grid_->setSortColumns(sorts);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(grid_, 1);

    chain_ = new EnterChain(ctx_.messages(), this);
    chain_->add(field(0), field(1), QStringLiteral("商品名称不能为空！"));
    chain_->add(field(1), field(2), QStringLiteral("产品编号不能为空！"));
    chain_->add(field(2), field(3));
    chain_->add(field(3), field(4));
    chain_->add(field(4), field(5), QStringLiteral("进货价格不能为空！"));
    chain_->add(field(5), field(6), QStringLiteral("零售价不能为空！"));
    chain_->add(field(6), field(7), QStringLiteral("订货数量不能为空！"));
    chain_->add(field(7), field(8));
    chain_->add(field(8), field(9));
    chain_->add(field(9), cmdAdd_);

    connect(cmdAdd_, &QPushButton::clicked, this, [this] {
        if (inAddStockMode())
            commitAddedStock();
        else
            addGoods();
    });
    connect(cmdDel_, &QPushButton::clicked, this, &PurchaseTab::deleteLine);
    connect(cmdModify_, &QPushButton::clicked, this, &PurchaseTab::modifyLine);
    connect(cmdClear_, &QPushButton::clicked, this, &PurchaseTab::clearRefresh);
    connect(cmdExit_, &QPushButton::clicked, this, &PurchaseTab::exitTab);
    // The query button acts on the mouse button going down, not on a click.
    cmdQuery_->installEventFilter(this);
    connect(field(0), &QLineEdit::textChanged, this, [this](const QString& t) {
        cmdAdd_->setEnabled(!t.isEmpty());
        // The timer keeps this one too; follow the name at once as well.
        cmdModify_->setEnabled(!t.isEmpty());
    });
    connect(grid_, &RecordView::rowClicked, this, &PurchaseTab::loadRow);

    // Enter on the add button, the end of the Enter chain, presses it.
    cmdAdd_->setAutoDefault(true);
    cmdAdd_->setEnabled(false);
    grid_->refresh();
    field(Date)->setText(ctx_.today());
    updateStates();
}

bool PurchaseTab::inAddStockMode() const
{
    return cmdAdd_->text() == kAddStockCaption;
}

void PurchaseTab::setMode(bool addStock)
{
    cmdAdd_->setText(addStock ? kAddStockCaption : kAddCaption);
    if (!addStock)
        stockLine_.reset();
}

void PurchaseTab::showTab()
{
    field(Date)->setText(ctx_.today());
    field(Name)->setFocus();
    updateStates();
}

void PurchaseTab::updateStates()
{
    const bool rows = !grid_->isEmpty();
    cmdDel_->setEnabled(rows);
    cmdQuery_->setEnabled(rows);
    cmdModify_->setEnabled(!field(Name)->text().isEmpty());
}

QStringList PurchaseTab::fieldValues() const
{
    QStringList out;
    for (QLineEdit* e : fields_)
        out << e->text();
    return out;
}

void PurchaseTab::clear_fields()
{
    for (QLineEdit* e : fields_)
        e->clear();
    field(Date)->setText(ctx_.today());
    field(Name)->setFocus();
    loadedRowid_ = 0;
}

void PurchaseTab::afterWrite(const QString& table)
{
    // Every view of the table re-runs, this grid included.
    emit ctx_.notifier().tableChanged(table);
    updateStates();
}

void PurchaseTab::addGoods()
{
    const QStringList values = fieldValues();
    if (values.at(Name).isEmpty() || values.at(Code).isEmpty()) {
        ctx_.messages().critical(QStringLiteral("请输入完整的资料！"), kError);
        field(Name)->setFocus();
        return;
    }
    grid_->refresh();

    // Adding tells goods lines apart by name, code and purchase price.
    const auto match = grid_->records()->findFirst({{QStringLiteral("商品名称"), Op::Eq, values.at(Name)},
                                                    {QStringLiteral("产品编号"), Op::Eq, values.at(Code)},
                                                    {QStringLiteral("进货价格"), Op::Eq, values.at(Price)}});
    if (match.failed()) {
        ctx_.messages().databaseError(match.error());
        return;
    }
    if (match.found()) {
        if (!ctx_.messages().question(QStringLiteral("商品名已存在，你想添加库存吗？"), kInfo)) {
            clear_fields();
            return;
        }
        clear_fields();
        for (int c = 0; c < fields_.size() && c < match->values.size(); ++c)
            if (c != Stock)
                field(c)->setText(match->values.at(c));
        loadedRowid_ = match->rowid;
        const double figure = wholeFigure(match->value(Stock));
        ctx_.messages().information(QStringLiteral("目前该产品的库存量为：") + numberText(figure), kInfoTip);
        field(Stock)->setFocus();
        setMode(true);
        stockLine_ = StockLine{match->rowid};
        return;
    }

    // A new goods line: its history row and the line itself, both or neither.
    Database& db = ctx_.business();
    {
        Database::Transaction tx(db);
        DbResult r =
            tx.active() ? db.exec(insertSql(kHistory), binds(values)) : DbResult::failure(tx.error());
        if (r)
            r = db.exec(insertSql(kTable), binds(values));
        if (r)
            r = tx.commit();
        if (!r) {
            ctx_.messages().databaseError(r.error);
            return;
        }
    }
    afterWrite(kHistory);
    afterWrite(kTable);
    clear_fields();
}

void PurchaseTab::commitAddedStock()
{
    const QString quantity = field(Stock)->text();
    if (quantity.isEmpty())
        return;
    if (!stockLine_) {
        // The mode without a matched line: nothing to add to.
        setMode(false);
        return;
    }
    if (readNumber(quantity).overflow) {
        ctx_.messages().critical(QStringLiteral("订货数量超出范围！"), kError);
        field(Stock)->setFocus();
        return;
    }

    Database& db = ctx_.business();
    QString newStock;
    {
        Database::Transaction tx(db);
        if (!tx.active()) {
            ctx_.messages().databaseError(tx.error());
            return;
        }
        // The line's stock as it stands now, so that a sale made since the
        // mode was entered is not written over.
        const auto row = db.selectOne(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                          .arg(quoteIdent("库存数量"), quoteIdent(kTable)),
                                      {stockLine_->rowid});
        if (!row.found()) {
            if (row.failed()) {
                ctx_.messages().databaseError(row.error());
                return;
            }
            tx.rollback();
            ctx_.messages().critical(QStringLiteral("该商品已被删除，无法添加库存！"), kError);
            setMode(false);
            grid_->rerun();
            clear_fields();
            updateStates();
            return;
        }
        newStock = signedNumberText(numericValue(quantity) + wholeFigure(row->value(0).toString()));
        DbResult r = db.exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                                 .arg(quoteIdent(kTable), quoteIdent("库存数量")),
                             {newStock.trimmed(), stockLine_->rowid});
        if (r)
            r = tx.commit();
        if (!r) {
            ctx_.messages().databaseError(r.error);
            return;
        }
    }
    ctx_.messages().information(QStringLiteral("添加成功，目前该产品的库存量为：") + newStock, kInfoTip);
    afterWrite(kTable);
    setMode(false);
    clear_fields();
}

void PurchaseTab::modifyLine()
{
    const QStringList values = fieldValues();
    Database& db = ctx_.business();
    const QString nameCol = QStringLiteral("商品名称");
    const QString codeCol = QStringLiteral("产品编号");

    // The line loaded from the grid while its name and code stand in the
    // fields; otherwise the first line of that name and code in the grid.
    qint64 target = 0;
    if (loadedRowid_ != 0) {
        const auto row =
            db.selectOne(QStringLiteral("SELECT rowid FROM %1 WHERE rowid = ? AND %2 = ? AND %3 = ?")
                             .arg(quoteIdent(kTable), quoteIdent(nameCol), quoteIdent(codeCol)),
                         {loadedRowid_, textValue(values.at(Name)), textValue(values.at(Code))});
        if (row.found())
            target = loadedRowid_;
    }
    if (target == 0) {
        const auto match = grid_->records()->findFirst(
            {{nameCol, Op::Eq, values.at(Name)}, {codeCol, Op::Eq, values.at(Code)}});
        if (!match.found()) {
            if (match.failed())
                ctx_.messages().databaseError(match.error());
            return;
        }
        target = match->rowid;
    }

    QStringList sets;
    for (const QString& c : schema::columnsOf(kTable))
        sets << quoteIdent(c) + QStringLiteral(" = ?");
    QVariantList b = binds(values);
    b << target;
    const DbResult r = db.exec(
        QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(quoteIdent(kTable), sets.join(", ")), b);
    if (!r) {
        ctx_.messages().databaseError(r.error);
        return;
    }
    ctx_.messages().information(QStringLiteral("修改成功！"), kInfo);
    afterWrite(kTable);
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
    ctx_.messages().critical(QStringLiteral("没有找到相应的记录！"), kError);
    grid_->refresh();
}

void PurchaseTab::findByName()
{
    const QString answer =
        ctx_.messages().input(QStringLiteral("请输入要查询的商品名称"), QStringLiteral("商品名称查询"));
    if (answer.isEmpty())
        return;
    if (grid_->setSource(RecordSource::all(kTable).filter(QStringLiteral("商品名称"), Op::Contains, answer)))
        showNotFoundFallback();
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

void PurchaseTab::exitTab()
{
    clear_fields();
    setMode(false);
    emit closeRequested();
}

void PurchaseTab::loadRow(const Record& record)
{
    if (record.values.size() < fields_.size())
        return;
    for (int c = 0; c < fields_.size(); ++c)
        field(c)->setText(c == Stock ? record.values.at(c).trimmed() : record.values.at(c));
    loadedRowid_ = record.rowid;
    field(Name)->setFocus();
}

bool PurchaseTab::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cmdQuery_ && event->type() == QEvent::MouseButtonPress) {
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

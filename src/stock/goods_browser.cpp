#include "goods_browser.h"

#include <QAction>
#include <QMenu>
#include <QVBoxLayout>

namespace shop {

namespace {
const QString kNotFound = QStringLiteral("未找到相应的记录！");
} // namespace

GoodsBrowser::GoodsBrowser(AppContext& ctx, const QString& name, const QString& caption, const QString& table,
                           const QString& menuCaption, QWidget* parent)
    : QWidget(parent), ctx_(ctx)
{
    setObjectName(name);
    setWindowTitle(caption);
    resize(900, 520);

    bg_ = new RecordView(ctx_, ctx_.business(), table, this);
    bg_->setObjectName(QStringLiteral("bg"));
    bg_->records()->setObjectName(QStringLiteral("Data1"));
    bg_->setAllowUpdate(false);
    bg_->setAllowDelete(false);
    menu()->setObjectName(QStringLiteral("S_QUERY"));
    menu()->setTitle(menuCaption);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bg_);

    // Both tables share the goods columns; indexes 2, 3 and 9 only re-run.
    bg_->setSortColumns({{0, QStringLiteral("商品名称")},
                         {1, QStringLiteral("产品编号")},
                         {4, QStringLiteral("进货价格")},
                         {5, QStringLiteral("零售价格")},
                         {6, QStringLiteral("库存数量")},
                         {7, QStringLiteral("供应商")},
                         {8, QStringLiteral("进货日期")}});

    timer_.setObjectName(QStringLiteral("Timer1"));
    connect(&timer_, &QTimer::timeout, this, &GoodsBrowser::tick);
    timer_.start(100);
    bg_->refresh();
}

QAction* GoodsBrowser::item(const QString& name) const
{
    return menu()->findChild<QAction*>(name);
}

QAction* GoodsBrowser::addItem(const char* name, const QString& text)
{
    QAction* a = addRefresh(name, text);
    bg_->addStateItem(a);
    return a;
}

QAction* GoodsBrowser::addRefresh(const char* name, const QString& text)
{
    if (!menu()->actions().isEmpty())
        menu()->addSeparator();
    QAction* a = menu()->addAction(text);
    a->setParent(menu());
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

QAction* GoodsBrowser::addShowAll(const char* name, const QString& text)
{
    QAction* all = addRefresh(name, text);
    connect(all, &QAction::triggered, this, [this] {
        bg_->refresh();
        bg_->updateItemStates();
    });
    return all;
}

QAction* GoodsBrowser::addSearch(const char* name, const QString& text, const QString& prompt,
                                 const QString& title, const QString& column)
{
    QAction* a = addItem(name, text);
    const SearchItem search{prompt, title, column, kNotFound, QString()};
    connect(a, &QAction::triggered, this, [this, search] {
        bg_->search(search);
        bg_->updateItemStates();
    });
    return a;
}

void GoodsBrowser::showOrFallBack(const RecordSource& source)
{
    if (bg_->setSource(source) && bg_->isEmpty()) {
        ctx_.messages().critical(kNotFound, QString());
        bg_->refresh();
    }
    bg_->updateItemStates();
}

void GoodsBrowser::tick()
{
    bg_->updateItemStates();
}

StockQueryWindow::StockQueryWindow(AppContext& ctx, QWidget* parent)
    : GoodsBrowser(ctx, QStringLiteral("frm_kucun"), QStringLiteral("库存查询"), QStringLiteral("jinhuo"),
                   QStringLiteral("查询"), parent)
{
    // Lines whose stored stock text is exactly 0.
    QAction* zero = addItem("s_quantily", QStringLiteral("库存量为零商品"));
    connect(zero, &QAction::triggered, this, [this] {
        showOrFallBack(RecordSource::all(bg_->table()).filter(QStringLiteral("库存数量"), Op::Eq, "0"));
    });
    addSearch("s_name", QStringLiteral("按商品名称查询"), QStringLiteral("请输入要查询的商品名称："),
              QStringLiteral("商品名称查询"), QStringLiteral("商品名称"));
    addSearch("s_date", QStringLiteral("按进货日期查询"), QStringLiteral("请输入要查询的进货日期："),
              QStringLiteral("进货日期查询"), QStringLiteral("进货日期"));
    addSearch("s_code", QStringLiteral("按产品编号查询"), QStringLiteral("请输入要查询的产品编号："),
              QStringLiteral("产品编号查询"), QStringLiteral("产品编号"));
    addShowAll("s_fresh", QStringLiteral(" 刷新所有记录"));
    tick();
}

PurchaseHistoryWindow::PurchaseHistoryWindow(AppContext& ctx, QWidget* parent)
    : GoodsBrowser(ctx, QStringLiteral("frm_history"), QStringLiteral("进货记录查询"),
                   QStringLiteral("jinhuo_history"), QStringLiteral("数据查询"), parent)
{
    struct Def {
        const char* name;
        const char* text;
        const char* what; // the prompt is "请输入要查询的" + what + "：", the title what + "查询"
        const char* column;
    };
    static const Def defs[] = {
        {"s_name", "按商品名称查询", "商品名称", "商品名称"},
        {"s_code", "按产品编号查询", "产品编号", "产品编号"},
        {"s_price", "按进货价格查询", "进货价格", "进货价格"},
        {"s_salse", "按零售价格查询", "零售价格", "零售价格"},
        {"s_quantily", "按进货数量查询", "进货数量", "库存数量"},
        {"s_suplier", "按供应商名查询", "供应商", "供应商"},
        {"s_date", "按进货日期查询", "进货日期", "进货日期"},
    };
    for (const Def& d : defs) {
        const QString what = QString::fromUtf8(d.what);
        addSearch(d.name, QString::fromUtf8(d.text),
                  QStringLiteral("请输入要查询的") + what + QStringLiteral("："),
                  what + QStringLiteral("查询"), QString::fromUtf8(d.column));
    }
    addShowAll("d_refresh", QStringLiteral("刷新所有记录"));
    tick();
}

void PurchaseHistoryWindow::tick()
{
    GoodsBrowser::tick();
    // The history's stock column holds the quantity bought.
    if (bg_->records()->headerData(6, Qt::Horizontal).toString() != QStringLiteral("进货数量"))
        bg_->records()->setCaption(6, QStringLiteral("进货数量"));
}

} // namespace shop

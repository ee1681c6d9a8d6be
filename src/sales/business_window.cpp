#include "business_window.h"

#include "receipt_printer.h"
#include "ui/enter_chain.h"
#include "ui/record_view.h"
#include "ui/tab_order.h"
#include "ui/widgets.h"
#include "ui/worker_box.h"
#include "data/numeric.h"
#include "data/sale_rows.h"
#include "data/schema.h"
#include "data/table_rows.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace shop {

namespace {

namespace sale = schema::salse;
const QString kSales = sale::kTable;
const QString kError = QStringLiteral("错误");

// Reports a lookup that failed or found nothing and puts the focus back in
// `box`; true when there is a row.
template <typename T>
bool found(MessageService& messages, const DbValue<T>& row, const QString& notFound, QLineEdit* box)
{
    if (row.found())
        return true;
    if (row.failed())
        messages.databaseError(row.error());
    else
        messages.critical(notFound, kError);
    box->setFocus();
    return false;
}

} // namespace

BusinessWindow::BusinessWindow(AppContext& ctx, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), service_(ctx.business())
{
    setWindowTitle(QStringLiteral("业务管理"));
    buildForm();
    open_data();
}

void BusinessWindow::buildForm()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    auto* typeBox = new QGroupBox(QStringLiteral("业务类型"), central);
    goodsSale_ = checkBox("shangpin", QStringLiteral("商品销售"));
    otherService_ = checkBox("qita", QStringLiteral("其它服务"));
    auto* typeLayout = new QHBoxLayout(typeBox);
    typeLayout->addWidget(goodsSale_);
    typeLayout->addWidget(otherService_);
    typeLayout->addStretch();

    cardNumber_ = lineEdit("txt_card_number");
    productCode_ = lineEdit("txt_production_code");
    productName_ = valueLabel("lab_produ_name");
    quantity_ = lineEdit("txt_quantily");
    purchaseDate_ = valueLabel("lab_indate");
    retailPrice_ = valueLabel("lab_salse_price");
    money_ = lineEdit("txt_money");
    serviceItem_ = lineEdit("txt_service");
    worker_ = new WorkerBox(ctx_.business());
    remark_ = lineEdit("txt_remark");

    auto* fields = new QGridLayout;
    addField(fields, 0, 0, QStringLiteral("卡    号"), cardNumber_);
    addField(fields, 1, 0, QStringLiteral("产品编号"), productCode_);
    addField(fields, 1, 1, QStringLiteral("商品名称"), productName_);
    addField(fields, 2, 0, QStringLiteral("出货数量"), quantity_);
    addField(fields, 2, 1, QStringLiteral("进货日期"), purchaseDate_);
    addField(fields, 3, 0, QStringLiteral("零售价格"), retailPrice_);
    addField(fields, 3, 1, QStringLiteral("实收金额"), money_);
    addField(fields, 4, 0, QStringLiteral("服务项目"), serviceItem_);
    addField(fields, 4, 1, QStringLiteral("员工姓名"), worker_);
    addField(fields, 5, 0, QStringLiteral("备注或说明"), remark_, 2);

    save_ = button("cmd_save", QStringLiteral("保存"));
    delete_ = button("cmd_del", QStringLiteral("删除"));
    void_ = button("cmd_void", QStringLiteral("撤销"));
    query_ = button("cmd_query", QStringLiteral("查询"));
    count_ = button("cmd_count", QStringLiteral("统计"));
    exit_ = button("cmd_exit", QStringLiteral("退出"));

    bg_ = namedGrid(ctx_, ctx_.business(), kSales, "bg", nullptr, central);
    // Every save re-reads the grid: read a screenful, more as it scrolls.
    bg_->records()->setPageSize(64);
    bg_->setSortColumns({{0, sale::kDate},
                         {1, sale::kType},
                         {2, sale::kCard},
                         {3, sale::kProductCode},
                         {4, sale::kProductName},
                         {5, sale::kQuantity},
                         {9, sale::kServiceItem},
                         {10, sale::kEmployee}});
    // Timer1: 查询 and 统计 need rows; 删除 also a supervisor.
    bg_->addStateItem(query_);
    bg_->addStateItem(count_);
    // A void, beside the delete and in the grid's popup, likewise.
    voidItem_ = menuItem(bg_->popupMenu(), {"void_sale", QStringLiteral("撤销")});
    connect(bg_, &RecordView::statesUpdated, this, [this] {
        const bool on = ctx_.isSupervisor() && !bg_->isEmpty();
        delete_->setEnabled(on);
        void_->setEnabled(on);
        voidItem_->setEnabled(on);
    });
    bg_->startItemStateTimer(100, "Timer1");
    // 补打小票 and 小票预览: the selected sale's receipt again.
    QAction* reprint = menuItem(bg_->popupMenu(), {"reprint_receipt", QStringLiteral("补打小票")});
    QAction* preview = menuItem(bg_->popupMenu(), {"preview_receipt", QStringLiteral("小票预览")});
    bg_->addStateItem(reprint);
    bg_->addStateItem(preview);
    connect(reprint, &QAction::triggered, this, [this] {
        if (const auto record = bg_->currentRecord())
            ReceiptPrinter(ctx_).reprint(record->rowid);
    });
    connect(preview, &QAction::triggered, this, [this] {
        if (const auto record = bg_->currentRecord())
            ReceiptPrinter(ctx_).preview(record->rowid);
    });

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(typeBox);
    layout->addLayout(fields);
    layout->addLayout(buttonRow({save_, delete_, void_, query_, count_, exit_}, SpareWidth::After));
    layout->addWidget(bg_, 1);
    tabInReadingOrder(this);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("bar"));
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        panels_[i] = new QLabel(bar);
        panels_[i]->setObjectName(QStringLiteral("bar_panel%1").arg(i + 1));
        panels_[i]->setTextFormat(Qt::PlainText);
        panels_[i]->setMinimumWidth(160);
        bar->addPermanentWidget(panels_[i], 1);
    }

    connect(goodsSale_, &QCheckBox::toggled, this, [this](bool on) {
        chain_->setLocked(productCode_, !on);
        chain_->setLocked(quantity_, !on);
    });
    connect(otherService_, &QCheckBox::toggled, this,
            [this](bool on) { chain_->setLocked(serviceItem_, !on); });
    connect(cardNumber_, &QLineEdit::textChanged, this, &BusinessWindow::clear_card_panels);
    // A commission refused for this amount no longer stands once it changes.
    connect(money_, &QLineEdit::textChanged, this, [this] { commissionRefused_ = false; });

    // The lookups and checks move on along the chain when they are done,
    // passing over the boxes the business type locks.
    chain_ = new EnterChain(ctx_.messages(), this);
    chain_->add(cardNumber_, productCode_);
    chain_->add(productCode_, quantity_);
    chain_->add(quantity_, money_);
    chain_->add(money_, serviceItem_);
    chain_->add(serviceItem_, worker_);
    chain_->setHandler(cardNumber_, [this] { card_lookup(); });
    chain_->setHandler(productCode_, [this] { product_lookup(); });
    chain_->setHandler(quantity_, [this] {
        chain_->moveOn(quantity_);
        quantity_check();
    });
    chain_->setHandler(money_, [this] { askCommission(); });
    const QString locked = QStringLiteral("你未正确选择业务类型，当前输入框被锁定！");
    chain_->setLockedMessage(productCode_, locked, kError);
    chain_->setLockedMessage(serviceItem_, locked, kError);

    count_->installEventFilter(this);
    count_->setToolTip(countTip());

    connect(save_, &QPushButton::clicked, this, &BusinessWindow::cmd_save);
    connect(delete_, &QPushButton::clicked, this, &BusinessWindow::cmd_del);
    connect(void_, &QPushButton::clicked, this, &BusinessWindow::cmd_void);
    connect(voidItem_, &QAction::triggered, this, &BusinessWindow::cmd_void);
    connect(query_, &QPushButton::clicked, this, &BusinessWindow::cmd_query);
    connect(count_, &QPushButton::clicked, this, &BusinessWindow::cmd_count);
    connect(exit_, &QPushButton::clicked, this, &QWidget::close);

    resize(900, 640);
}

void BusinessWindow::open_data()
{
    // A user who may not see the commission sees the other twelve columns.
    if (ctx_.isSupervisor()) {
        bg_->refresh();
    } else {
        QStringList columns = schema::columnsOf(kSales);
        columns.removeAll(sale::kCommission);
        bg_->showAll(columns);
    }
    chain_->setLocked(productCode_, true);
    chain_->setLocked(quantity_, true);
    chain_->setLocked(serviceItem_, true);
    commission_ = 0;
}

bool BusinessWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type t = event->type();
    if (watched == count_ && (t == QEvent::Enter || t == QEvent::MouseMove || t == QEvent::ToolTip)) {
        count_->setToolTip(countTip());
    }
    return QMainWindow::eventFilter(watched, event);
}

QString BusinessWindow::countTip() const
{
    return QStringLiteral("统计") + ctx_.today() + QStringLiteral("实收金额!");
}

void BusinessWindow::card_lookup()
{
    const auto card = service_.findCard(cardNumber_->text());
    if (!found(ctx_.messages(), card, QStringLiteral("未找到此卡号，请检查是否输入有误！"), cardNumber_))
        return;
    if (numericValue(card->uses) != 0 || numericValue(card->balance) != 0) {
        panels_[0]->setText(QStringLiteral("卡号：") + card->number + QStringLiteral(" 类型：") + card->type);
        panels_[1]->setText(QStringLiteral("持卡人姓名：") + card->holder);
        panels_[2]->setText(QStringLiteral("剩余次数：") + card->uses);
        panels_[3]->setText(QStringLiteral("剩余金额：") + card->balance);
    } else {
        ctx_.messages().critical(QStringLiteral("本卡剩余使用次数和余额都为零"), QStringLiteral("通知"));
    }
    chain_->moveOn(cardNumber_);
}

void BusinessWindow::clear_card_panels()
{
    for (QLabel* p : panels_)
        p->clear();
}

void BusinessWindow::product_lookup()
{
    const auto goods = service_.findGoods(productCode_->text());
    if (!found(ctx_.messages(), goods, QStringLiteral("此产品号码不存在，请确认后重输！"), productCode_)) {
        if (!goods.failed()) {
            productName_->clear();
            purchaseDate_->clear();
            retailPrice_->clear();
        }
        return;
    }
    productName_->setText(goods->name);
    purchaseDate_->setText(goods->purchaseDate);
    retailPrice_->setText(goods->retailPrice + QStringLiteral("元"));
    chain_->moveOn(productCode_);
}

void BusinessWindow::quantity_check()
{
    const SaleOutcome o = service_.checkGoods(entry());
    if (o.kind == SaleOutcome::Failed)
        ctx_.messages().databaseError(o.error);
    else if (o.kind == SaleOutcome::Refused)
        say(o.refusal);
}

void BusinessWindow::askCommission()
{
    if (money_->text().isEmpty())
        return;
    if (!ctx_.messages().question(QStringLiteral("你想计算本笔业务的提成吗？"), QStringLiteral("提成计算"))) {
        commissionRefused_ = false;
        chain_->moveOn(money_);
        return;
    }
    const QString answer = ctx_.messages().input(QStringLiteral("请你输入此服务项目的提成率(按百分率计算)："),
                                                 QStringLiteral("设置提成率"), QStringLiteral("0"));
    const double rate = numericValue(answer);
    if (rate <= 0 || rate > 100) {
        money_->setFocus();
        return;
    }
    // amount * rate / 100 keeps whole-percent results exact, so a half
    // really is a half when it is rounded to the even neighbour.
    const auto commission = roundWhole(numericValue(money_->text()) * rate / 100.0);
    if (!commission) {
        commission_ = 0;
        commissionRefused_ = true;
        ctx_.messages().critical(QStringLiteral("提成金额超出范围，请检查金额！"), kError);
        money_->setFocus();
        return;
    }
    commission_ = *commission;
    commissionRefused_ = false;
    chain_->moveOn(money_);
}

void BusinessWindow::fill_worker_list()
{
    worker_->fill_worker_list();
}

void BusinessWindow::clear_entry()
{
    for (QLineEdit* e : {cardNumber_, productCode_, quantity_, money_, serviceItem_, remark_})
        e->clear();
    for (QLabel* l : {retailPrice_, productName_, purchaseDate_})
        l->clear();
    worker_->setCurrentIndex(-1);
    worker_->setEditText(QString());
    commission_ = 0;
    commissionRefused_ = false;
    booking_ = 0;
    clear_card_panels();
}

SaleEntry BusinessWindow::entry() const
{
    SaleEntry e;
    e.goods = goodsSale_->isChecked();
    e.service = otherService_->isChecked();
    e.card = cardNumber_->text();
    e.productCode = productCode_->text();
    e.productName = productName_->text();
    e.quantity = quantity_->text();
    e.retailPrice = retailPrice_->text();
    e.purchaseDate = purchaseDate_->text();
    e.money = money_->text();
    e.serviceItem = serviceItem_->text();
    e.employee = worker_->currentText();
    e.remark = remark_->text();
    e.commission = commission_;
    e.commissionRefused = commissionRefused_;
    if (booking_ != 0 && cardNumber_->text().trimmed() == bookingCard_)
        e.booking = booking_;
    return e;
}

void BusinessWindow::say(SaleRefusal refusal)
{
    MessageService& m = ctx_.messages();
    switch (refusal) {
    case SaleRefusal::None:
        break;
    case SaleRefusal::NoBusinessType:
        m.critical(QStringLiteral("请选择相应的业务类型!"), kError);
        cardNumber_->setFocus();
        break;
    case SaleRefusal::ProductNotFound:
        m.critical(QStringLiteral("输入的产品编号不存在，请重新输入！"), QString());
        break;
    case SaleRefusal::StockEmpty:
        m.critical(QStringLiteral("库存为零，取消操作！"), kError);
        clear_entry();
        productCode_->setFocus();
        break;
    case SaleRefusal::QuantityOverStock:
        m.critical(QStringLiteral("出货数量不能大于库存数量，请确认后重输"), kError);
        break;
    case SaleRefusal::QuantityOutOfRange:
        m.critical(QStringLiteral("出货数量超出范围，请确认后重输"), kError);
        break;
    case SaleRefusal::MoneyOutOfRange:
        m.critical(QStringLiteral("实收金额超出范围，请确认后重输"), kError);
        break;
    case SaleRefusal::CommissionOutOfRange:
        m.critical(QStringLiteral("提成金额超出范围，请检查金额！"), kError);
        money_->setFocus();
        break;
    case SaleRefusal::CardNotFound:
        m.critical(QStringLiteral("此卡号不存在，请确认后重输！"), kError);
        break;
    case SaleRefusal::NoUsesLeft:
        m.critical(QStringLiteral("此卡剩余使用次数为零"), QString());
        clear_entry();
        break;
    case SaleRefusal::BalanceTooLow:
        m.critical(QStringLiteral("此卡余额不足！"), QGuiApplication::applicationDisplayName());
        clear_entry();
        break;
    }
}

bool BusinessWindow::handle(const SaleOutcome& o)
{
    if (o.kind == SaleOutcome::Failed && Database::connectionLost(o.error)) {
        // Which step met the loss says nothing: the server is what is gone.
        ctx_.messages().critical(o.error, kError);
        return false;
    }
    if (o.kind == SaleOutcome::Failed) {
        // The reason in words staff can act on (another program holding the
        // database, a full disk), the engine's own kept after them.
        ctx_.messages().critical(
            QStringLiteral("保存失败：%1时出错，本笔业务没有保存，所有改动都已撤销。\n%2")
                .arg(o.step, MessageService::databaseErrorText(o.error)),
            kError);
        return false;
    }
    if (o.kind != SaleOutcome::Refused || o.refusal == SaleRefusal::None)
        return true;
    say(o.refusal);
    return false;
}

void BusinessWindow::cmd_save()
{
    const SaleEntry e = entry();
    const SaleOutcome checked = service_.check(e);
    if (!handle(checked))
        return;
    if (!ctx_.messages().question(QStringLiteral("请确认你输入的资料是否正确，然后再保存！ "),
                                  QStringLiteral("保存"))) {
        cardNumber_->setFocus();
        return;
    }
    const QString today = ctx_.today();
    const SaleOutcome saved = service_.save(e, checked, today);
    if (!handle(saved))
        return;

    // Every open view of the written tables re-reads, this window's grid too.
    ctx_.notifier().changed(saved.written);
    clear_entry();
    cardNumber_->setFocus();
    // The receipt once the entry is ready for the next sale; whatever
    // becomes of it, the sale is stored.
    if (ctx_.shopSettings().receipt().on)
        QTimer::singleShot(0, this, [this, key = saved.key] { ReceiptPrinter(ctx_).afterSale(key); });
}

void BusinessWindow::fillFromBooking(qint64 booking, const QString& card, const QString& serviceItem,
                                     const QString& employee)
{
    clear_entry();
    if (!otherService_->isChecked())
        otherService_->click();
    cardNumber_->setText(card);
    serviceItem_->setText(serviceItem);
    worker_->setEditText(employee);
    booking_ = booking;
    bookingCard_ = card.trimmed();
    if (!card.isEmpty())
        card_lookup();
    money_->setFocus();
}

void BusinessWindow::cmd_count()
{
    const QString today = ctx_.today();
    const SearchResult r = bg_->showOrFallBack(RecordSource::all(kSales).filter(sale::kDate, Op::Eq, today),
                                               QStringLiteral("只能统计本日发生的业务金额！"), QString());
    if (r == SearchResult::Found) {
        const auto total = service_.dailyTotal(today);
        if (total.failed())
            ctx_.messages().databaseError(total.error());
        else if (total->overflow)
            ctx_.messages().critical(QStringLiteral("实收金额合计超出范围，无法统计！"), kError);
        else
            ctx_.messages().information(today + QStringLiteral("日实收金额合计为：") +
                                            QString::number(total->total) + QStringLiteral("元"),
                                        QStringLiteral("信息"));
    }
    // Every row and column afterwards (the fallback already shows them).
    if (r != SearchResult::NotFound)
        bg_->refresh();
}

void BusinessWindow::cmd_del()
{
    // Without a current row a Yes deletes nothing and says nothing more.
    bg_->deleteSelected(QStringLiteral("你真的想删除所选的记录吗？"), QStringLiteral("修改"));
}

void BusinessWindow::cmd_query()
{
    bg_->search({.prompt = QStringLiteral("请输入要查询的卡号"),
                 .title = QStringLiteral("查询"),
                 .column = sale::kCard,
                 .notFoundText = QStringLiteral("未找到相应的记录！"),
                 .notFoundCaption = kError,
                 .match = Op::Eq});
}

void BusinessWindow::cmd_void()
{
    MessageService& m = ctx_.messages();
    // The popup's item is reached without the timer's say.
    if (!ctx_.isSupervisor()) {
        m.critical(QStringLiteral("此功能只授权系统管理员操作！"), kError);
        return;
    }
    const auto record = bg_->currentRecord();
    if (!record)
        return;
    // The sale as stored now, named by its key in the question.
    const auto stored = rows::storedRow(ctx_.business(), kSales, record->rowid);
    const auto key = stored.found() ? sales::keyOf(ctx_.business(), record->rowid, *stored)
                                    : DbValue<QString>{stored.status, std::nullopt};
    if (key.failed()) {
        m.databaseError(key.error());
        return;
    }
    // Gone since the grid read it: voided at another till, or deleted.
    if (!stored) {
        reportVoid(service_.voidSale(record->rowid, record->values), record->values);
        return;
    }
    const QStringList& v = *stored;
    const sales::SaleRow sale = sales::SaleRow::fromValues(v);
    const QString question =
        QStringLiteral(
            "真的要撤销这笔业务吗？\n业务编号：%1\n业务日期：%2　业务类型：%3\n卡号：%4　实收金额：%5　员工："
            "%6")
            .arg(key->isEmpty() ? QStringLiteral("无") : *key, sale.date, sale.type, sale.card, sale.received,
                 sale.employee);
    if (!m.question(question, QStringLiteral("撤销")))
        return;
    reportVoid(service_.voidSale(record->rowid, v), v);
}

void BusinessWindow::reportVoid(const VoidOutcome& out, const QStringList& v)
{
    MessageService& m = ctx_.messages();
    switch (out.kind) {
    case VoidOutcome::Failed:
        m.critical(QStringLiteral("撤销失败（%1）：%2").arg(out.step, out.error), QStringLiteral("错误信息"));
        return;
    case VoidOutcome::Refused:
        switch (out.refusal) {
        case VoidRefusal::AlreadyVoided:
            m.critical(QStringLiteral("这笔业务已经撤销，不能重复撤销！"), kError);
            break;
        case VoidRefusal::CardGone:
            m.critical(QStringLiteral("此业务的会员卡（卡号 %1）已被删除或改号，不能撤销！")
                           .arg(sales::SaleRow::fromValues(v).card),
                       kError);
            break;
        case VoidRefusal::GoodsGone:
            m.critical(QStringLiteral("此业务的商品（产品编号 %1）已被删除或改号，不能撤销！")
                           .arg(sales::SaleRow::fromValues(v).productCode),
                       kError);
            break;
        case VoidRefusal::OutOfRange:
            m.critical(QStringLiteral("撤销后的库存数量或会员卡余额超出范围，不能撤销！"), kError);
            break;
        case VoidRefusal::Gone:
        case VoidRefusal::None:
            m.critical(QStringLiteral("此业务记录已被删除或修改，不能撤销！"), kError);
            break;
        }
        bg_->rerun();
        return;
    case VoidOutcome::Voided:
        break;
    }
    ctx_.notifier().changed(out.written);
    m.information(QStringLiteral("撤销成功！"), QStringLiteral("信息"));
}

} // namespace shop

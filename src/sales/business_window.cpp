#include "business_window.h"

#include "ui/enter_chain.h"
#include "ui/record_view.h"
#include "data/numeric.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace shop {

namespace {

const QString kSales = QStringLiteral("salse");
const QString kError = QStringLiteral("错误");

// The opening grid of a user who may not see the commission.
const QStringList kTwelveColumns = {"业务日期", "业务类型", "卡号",     "产品编号", "商品名称", "出货数量",
                                    "零售价格", "进货日期", "实收金额", "服务项目", "员工姓名", "备注或说明"};

QLineEdit* lineEdit(const char* name, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

QLabel* valueLabel(const char* name, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setFrameShape(QFrame::StyledPanel);
    l->setMinimumWidth(120);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QPushButton* button(const char* name, const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

// Tab moves between fields; it is not a key typed into the box.
bool isTab(QEvent* e)
{
    const int key = static_cast<QKeyEvent*>(e)->key();
    return key == Qt::Key_Tab || key == Qt::Key_Backtab;
}

// A locked box keeps its caret but not its text.
void setLocked(QLineEdit* e, bool locked)
{
    e->setReadOnly(locked);
    e->setStyleSheet(locked ? QStringLiteral("QLineEdit { background: palette(window); }") : QString());
}

} // namespace

BusinessWindow::BusinessWindow(AppContext& ctx, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), service_(ctx.business())
{
    setObjectName(QStringLiteral("frmyewu"));
    setWindowTitle(QStringLiteral("业务管理"));
    buildForm();
    open_data();

    timer_.setObjectName(QStringLiteral("Timer1"));
    connect(&timer_, &QTimer::timeout, this, &BusinessWindow::updateButtonStates);
    timer_.start(100);
    updateButtonStates();
}

void BusinessWindow::buildForm()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    auto* typeBox = new QGroupBox(QStringLiteral("业务类型"), central);
    shangpin_ = new QCheckBox(QStringLiteral("商品销售"), typeBox);
    shangpin_->setObjectName(QStringLiteral("shangpin"));
    qita_ = new QCheckBox(QStringLiteral("其它服务"), typeBox);
    qita_->setObjectName(QStringLiteral("qita"));
    auto* typeLayout = new QHBoxLayout(typeBox);
    typeLayout->addWidget(shangpin_);
    typeLayout->addWidget(qita_);
    typeLayout->addStretch();

    card_ = lineEdit("txt_card_number", central);
    code_ = lineEdit("txt_production_code", central);
    name_ = valueLabel("lab_produ_name", central);
    quantity_ = lineEdit("txt_quantily", central);
    indate_ = valueLabel("lab_indate", central);
    price_ = valueLabel("lab_salse_price", central);
    money_ = lineEdit("txt_money", central);
    service_item_ = lineEdit("txt_service", central);
    worker_ = new QComboBox(central);
    worker_->setObjectName(QStringLiteral("com_name"));
    worker_->setEditable(true);
    worker_->setInsertPolicy(QComboBox::NoInsert);
    remark_ = lineEdit("txt_remark", central);

    auto* fields = new QGridLayout;
    auto row = [fields](int r, int c, const QString& caption, QWidget* w) {
        fields->addWidget(new QLabel(caption), r, c * 2);
        fields->addWidget(w, r, c * 2 + 1);
    };
    row(0, 0, QStringLiteral("卡    号"), card_);
    row(1, 0, QStringLiteral("产品编号"), code_);
    row(1, 1, QStringLiteral("商品名称"), name_);
    row(2, 0, QStringLiteral("出货数量"), quantity_);
    row(2, 1, QStringLiteral("进货日期"), indate_);
    row(3, 0, QStringLiteral("零售价格"), price_);
    row(3, 1, QStringLiteral("实收金额"), money_);
    row(4, 0, QStringLiteral("服务项目"), service_item_);
    row(4, 1, QStringLiteral("员工姓名"), worker_);
    fields->addWidget(new QLabel(QStringLiteral("备注或说明")), 5, 0);
    fields->addWidget(remark_, 5, 1, 1, 3);

    save_ = button("cmd_save", QStringLiteral("保存"), central);
    del_ = button("cmd_del", QStringLiteral("删除"), central);
    query_ = button("cmd_query", QStringLiteral("查询"), central);
    count_ = button("cmd_count", QStringLiteral("统计"), central);
    exit_ = button("cmd_exit", QStringLiteral("退出"), central);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {save_, del_, query_, count_, exit_})
        buttons->addWidget(b);
    buttons->addStretch();

    bg_ = new RecordView(ctx_, ctx_.business(), kSales, central);
    bg_->setObjectName(QStringLiteral("bg"));
    // Every save re-reads the grid: read a screenful, more as it scrolls.
    bg_->records()->setPageSize(64);
    bg_->setSortColumns({{0, "业务日期"},
                         {1, "业务类型"},
                         {2, "卡号"},
                         {3, "产品编号"},
                         {4, "商品名称"},
                         {5, "出货数量"},
                         {9, "服务项目"},
                         {10, "员工姓名"}});

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(typeBox);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(bg_, 1);

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

    connect(shangpin_, &QCheckBox::toggled, this, [this](bool on) {
        setLocked(code_, !on);
        setLocked(quantity_, !on);
    });
    connect(qita_, &QCheckBox::toggled, this, [this](bool on) { setLocked(service_item_, !on); });
    connect(card_, &QLineEdit::textChanged, this, &BusinessWindow::clear_card_panels);

    chain_ = new EnterChain(ctx_.messages(), this);
    chain_->setHandler(card_, [this] { card_lookup(); });
    chain_->setHandler(code_, [this] { product_lookup(); });
    chain_->setHandler(quantity_, [this] {
        money_->setFocus();
        quantity_check();
    });
    chain_->setHandler(money_, [this] { askCommission(); });
    chain_->add(service_item_, worker_);

    // Installed after the Enter chain so that the locked-box warning comes
    // before what Enter does.
    code_->installEventFilter(this);
    service_item_->installEventFilter(this);
    worker_->installEventFilter(this);
    count_->installEventFilter(this);
    count_->setToolTip(countTip());

    connect(save_, &QPushButton::clicked, this, &BusinessWindow::cmd_save);
    connect(del_, &QPushButton::clicked, this, &BusinessWindow::cmd_del);
    connect(query_, &QPushButton::clicked, this, &BusinessWindow::cmd_query);
    connect(count_, &QPushButton::clicked, this, &BusinessWindow::cmd_count);
    connect(exit_, &QPushButton::clicked, this, &QWidget::close);

    resize(900, 640);
}

void BusinessWindow::open_data()
{
    if (ctx_.isSupervisor())
        bg_->setSource(RecordSource::all(kSales));
    else
        bg_->showAll(kTwelveColumns);
    setLocked(code_, true);
    setLocked(quantity_, true);
    setLocked(service_item_, true);
    commission_ = 0;
}

bool BusinessWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type t = event->type();
    if (t == QEvent::KeyPress && (watched == code_ || watched == service_item_) && !isTab(event)) {
        auto* box = static_cast<QLineEdit*>(watched);
        if (box->isReadOnly())
            ctx_.messages().critical(QStringLiteral("你未正确选择业务类型，当前输入框被锁定！"), kError);
        if (watched == service_item_)
            service_item_->setFocus();
    } else if (t == QEvent::FocusIn && watched == worker_) {
        fill_worker_list();
    } else if (watched == count_ && (t == QEvent::Enter || t == QEvent::MouseMove || t == QEvent::ToolTip)) {
        count_->setToolTip(countTip());
    }
    return QMainWindow::eventFilter(watched, event);
}

QString BusinessWindow::countTip() const
{
    return QStringLiteral("统计") + ctx_.today() + QStringLiteral("实收金额!");
}

void BusinessWindow::reportDbError(const QString& error)
{
    ctx_.messages().databaseError(error);
}

void BusinessWindow::card_lookup()
{
    const auto card = service_.findCard(card_->text());
    if (card.failed()) {
        reportDbError(card.error());
        card_->setFocus();
        return;
    }
    if (!card.found()) {
        ctx_.messages().critical(QStringLiteral("未找到此卡号，请检查是否输入有误！"), kError);
        card_->setFocus();
        return;
    }
    if (numericValue(card->uses) != 0 || numericValue(card->balance) != 0) {
        panels_[0]->setText(QStringLiteral("卡号：") + card->number + QStringLiteral(" 类型：") + card->type);
        panels_[1]->setText(QStringLiteral("持卡人姓名：") + card->holder);
        panels_[2]->setText(QStringLiteral("剩余次数：") + card->uses);
        panels_[3]->setText(QStringLiteral("剩余金额：") + card->balance);
    } else {
        ctx_.messages().critical(QStringLiteral("本卡剩余使用次数和余额都为零"), QStringLiteral("通知"));
    }
    code_->setFocus();
}

void BusinessWindow::clear_card_panels()
{
    for (QLabel* p : panels_)
        p->clear();
}

void BusinessWindow::product_lookup()
{
    const auto goods = service_.findGoods(code_->text());
    if (goods.failed()) {
        reportDbError(goods.error());
        code_->setFocus();
        return;
    }
    if (!goods.found()) {
        ctx_.messages().critical(QStringLiteral("此产品号码不存在，请确认后重输！"), kError);
        name_->clear();
        indate_->clear();
        price_->clear();
        code_->setFocus();
        return;
    }
    name_->setText(goods->name);
    indate_->setText(goods->purchaseDate);
    price_->setText(goods->retailPrice + QStringLiteral("元"));
    quantity_->setFocus();
}

void BusinessWindow::quantity_check()
{
    const auto goods = service_.findGoods(code_->text());
    if (goods.failed()) {
        reportDbError(goods.error());
        return;
    }
    if (!goods.found()) {
        ctx_.messages().critical(QStringLiteral("输入的产品编号不存在，请重新输入！"), QString());
        return;
    }
    const double stock = numericValue(goods->stock);
    if (stock <= 0) {
        ctx_.messages().critical(QStringLiteral("库存为零，取消操作！"), kError);
        clear_entry();
        code_->setFocus();
    } else if (numericValue(quantity_->text()) > stock) {
        ctx_.messages().critical(QStringLiteral("出货数量不能大于库存数量，请确认后重输"), kError);
    }
}

void BusinessWindow::askCommission()
{
    if (money_->text().isEmpty())
        return;
    if (!ctx_.messages().question(QStringLiteral("你想计算本笔业务的提成吗？"), QStringLiteral("提成计算"))) {
        service_item_->setFocus();
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
    commission_ = roundHalfEven(numericValue(money_->text()) * rate / 100.0);
    service_item_->setFocus();
}

void BusinessWindow::fill_worker_list()
{
    const QString typed = worker_->currentText();
    const QStringList names = rows::workerNames(ctx_.business()).value.value_or(QStringList());
    const QSignalBlocker block(worker_);
    worker_->clear();
    if (names.isEmpty()) {
        worker_->setEditText(QString());
        return;
    }
    worker_->addItems(names);
    worker_->setCurrentIndex(-1);
    worker_->setEditText(typed);
}

void BusinessWindow::clear_entry()
{
    card_->clear();
    code_->clear();
    quantity_->clear();
    price_->clear();
    name_->clear();
    indate_->clear();
    money_->clear();
    service_item_->clear();
    worker_->setCurrentIndex(-1);
    worker_->setEditText(QString());
    remark_->clear();
    commission_ = 0;
    clear_card_panels();
}

SaleEntry BusinessWindow::entry() const
{
    SaleEntry e;
    e.goods = shangpin_->isChecked();
    e.service = qita_->isChecked();
    e.card = card_->text();
    e.productCode = code_->text();
    e.productName = name_->text();
    e.quantity = quantity_->text();
    e.retailPrice = price_->text();
    e.purchaseDate = indate_->text();
    e.money = money_->text();
    e.serviceItem = service_item_->text();
    e.employee = worker_->currentText();
    e.remark = remark_->text();
    e.commission = commission_;
    return e;
}

bool BusinessWindow::handle(const SaleOutcome& o)
{
    MessageService& m = ctx_.messages();
    if (o.kind == SaleOutcome::Failed) {
        m.critical(QStringLiteral("保存失败：%1时出错，本笔业务没有保存，所有改动都已撤销。\n%2")
                       .arg(o.step, o.error),
                   kError);
        return false;
    }
    if (o.kind != SaleOutcome::Refused)
        return true;
    switch (o.refusal) {
    case SaleRefusal::None:
        return true;
    case SaleRefusal::NoBusinessType:
        m.critical(QStringLiteral("请选择相应的业务类型!"), kError);
        card_->setFocus();
        break;
    case SaleRefusal::ProductNotFound:
        m.critical(QStringLiteral("输入的产品编号不存在，请重新输入！"), QString());
        break;
    case SaleRefusal::StockEmpty:
        m.critical(QStringLiteral("库存为零，取消操作！"), kError);
        clear_entry();
        code_->setFocus();
        break;
    case SaleRefusal::QuantityOverStock:
        m.critical(QStringLiteral("出货数量不能大于库存数量，请确认后重输"), kError);
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
        card_->setFocus();
        return;
    }
    const SaleOutcome saved = service_.save(e, checked, ctx_.today());
    if (!handle(saved))
        return;

    // Every open view of the written tables re-reads, this window's grid too.
    TableNotifier& n = ctx_.notifier();
    if (e.goods)
        emit n.tableChanged(QStringLiteral("jinhuo"));
    if (saved.cardRowid != 0)
        emit n.tableChanged(QStringLiteral("numbercard"));
    emit n.tableChanged(kSales);
    emit n.tableChanged(QStringLiteral("salse_history"));
    clear_entry();
    card_->setFocus();
}

void BusinessWindow::cmd_count()
{
    const QString today = ctx_.today();
    RecordSource todays = RecordSource::all(kSales);
    todays.filter(QStringLiteral("业务日期"), Op::Eq, today);
    bg_->setSource(todays);
    if (bg_->isEmpty()) {
        ctx_.messages().critical(QStringLiteral("只能统计本日发生的业务金额！"), QString());
    } else {
        const auto total = service_.dailyTotal(today);
        if (total.failed())
            reportDbError(total.error());
        else if (total->overflow)
            ctx_.messages().critical(QStringLiteral("实收金额合计超出范围，无法统计！"),
                                     QStringLiteral("错误"));
        else
            ctx_.messages().information(today + QStringLiteral("日实收金额合计为：") +
                                            QString::number(total->total) + QStringLiteral("元"),
                                        QStringLiteral("信息"));
    }
    bg_->setSource(RecordSource::all(kSales));
}

void BusinessWindow::cmd_del()
{
    if (ctx_.messages().question(QStringLiteral("你真的想删除所选的记录吗？"), QStringLiteral("修改"))) {
        // Without a current row there is nothing to delete and nothing to say.
        if (const auto rec = bg_->currentRecord()) {
            if (bg_->records()->deleteRowid(rec->rowid).ok)
                emit ctx_.notifier().tableChanged(kSales);
        }
    }
    bg_->viewport()->update();
}

void BusinessWindow::cmd_query()
{
    const QString answer =
        ctx_.messages().input(QStringLiteral("请输入要查询的卡号"), QStringLiteral("查询"));
    if (answer.isEmpty())
        return;
    RecordSource byCard = RecordSource::all(kSales);
    byCard.filter(QStringLiteral("卡号"), Op::Eq, answer);
    bg_->setSource(byCard);
    if (bg_->isEmpty()) {
        ctx_.messages().critical(QStringLiteral("未找到相应的记录！"), kError);
        bg_->setSource(RecordSource::all(kSales));
    }
    bg_->viewport()->update();
}

void BusinessWindow::updateButtonStates()
{
    del_->setEnabled(ctx_.isSupervisor());
    if (!bg_->isEmpty()) {
        query_->setEnabled(true);
        count_->setEnabled(true);
    } else {
        del_->setEnabled(false);
        query_->setEnabled(false);
        count_->setEnabled(false);
    }
}

} // namespace shop

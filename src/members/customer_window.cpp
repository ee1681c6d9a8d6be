#include "customer_window.h"

#include "member_rows.h"

#include "ui/widgets.h"

#include "ui/enter_chain.h"
#include "ui/input_filters.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace shop {

namespace {
const QString kNumber = QStringLiteral("编号");
const QString kName = QStringLiteral("姓名");

// A key that types a character (Enter and Backspace included); arrows,
// Tab and shortcuts are not.
bool typesCharacter(const QKeyEvent* k)
{
    switch (k->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Backspace:
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return false;
    default:
        break;
    }
    if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString t = k->text();
    return !t.isEmpty() && t.at(0).isPrint();
}
} // namespace

CustomerWindow::CustomerWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmguke"));
    setWindowTitle(QStringLiteral("顾客信息管理"));

    txt_guke_num_ = lineEdit("txt_guke_num");
    txt_guke_name_ = lineEdit("txt_guke_name");
    txt_guke_sex_ = lineEdit("txt_guke_sex");
    txt_guke_bron_ = lineEdit("txt_guke_bron");
    txt_guke_tel_ = lineEdit("txt_guke_tel");
    txt_guke_creat_ = lineEdit("txt_guke_creat");
    txt_guke_address_ = lineEdit("txt_guke_address");
    txt_guke_person_ = lineEdit("txt_guke_person");

    auto* fields = new QGridLayout;
    addField(fields, 0, 0, QStringLiteral("编    号"), txt_guke_num_);
    addField(fields, 0, 1, QStringLiteral("姓    名"), txt_guke_name_);
    addField(fields, 0, 2, QStringLiteral("性    别"), txt_guke_sex_);
    addField(fields, 1, 0, QStringLiteral("出生年月"), txt_guke_bron_);
    addField(fields, 1, 1, QStringLiteral("联系电话"), txt_guke_tel_);
    addField(fields, 1, 2, QStringLiteral("创建日期"), txt_guke_creat_);
    addField(fields, 2, 0, QStringLiteral("通信地址"), txt_guke_address_, 3);
    addField(fields, 3, 0, QStringLiteral("个人分析"), txt_guke_person_, 3);

    cmd_guke_save_ = button("cmd_guke_save", QStringLiteral("保存(&S)"));
    cmd_guke_del_ = button("cmd_guke_del", QStringLiteral("删除(&D)"));
    cmd_guke_mod_ = button("cmd_guke_mod", QStringLiteral("修改(&M)"));
    cmd_guke_query_ = button("cmd_guke_query", QStringLiteral("查询(&Q)"));
    cmd_guke_exit_ = button("cmd_guke_exit", QStringLiteral("退出(&E)"));
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {cmd_guke_save_, cmd_guke_del_, cmd_guke_mod_, cmd_guke_query_, cmd_guke_exit_})
        buttons->addWidget(b);
    buttons->addStretch();

    bg_ = new RecordView(ctx_, db(), kTable);
    bg_->setObjectName(QStringLiteral("bg"));

    auto* top = new QHBoxLayout;
    top->addLayout(fields, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(bg_, 1);

    eidt_bg_ = bg_->popupMenu();
    eidt_bg_->setObjectName(QStringLiteral("eidt_bg"));
    eidt_bg_->setTitle(QStringLiteral("表格编辑"));
    QAction* lockBg = eidt_bg_->addAction(QStringLiteral("表格锁定"));
    lockBg->setObjectName(QStringLiteral("lock_bg"));
    eidt_bg_->addSeparator();
    QAction* unlockBg = eidt_bg_->addAction(QStringLiteral("表格解锁"));
    unlockBg->setObjectName(QStringLiteral("unlock_bg"));
    eidt_bg_->addSeparator();
    QAction* fresh = eidt_bg_->addAction(QStringLiteral("刷新表格"));
    fresh->setObjectName(QStringLiteral("bg_fresh"));
    bg_->setLockPair(lockBg, unlockBg, LockKind::Full);
    connect(fresh, &QAction::triggered, bg_, &RecordView::refresh);
    // The menu is disabled while the grid is empty: no popup then.
    bg_->viewport()->installEventFilter(this);

    connect(bg_, &RecordView::rowClicked, this, &CustomerWindow::showClickedCustomer);
    connect(cmd_guke_save_, &QPushButton::clicked, this, &CustomerWindow::saveCustomer);
    connect(cmd_guke_mod_, &QPushButton::clicked, this, &CustomerWindow::modifyCustomer);
    connect(cmd_guke_del_, &QPushButton::clicked, this, &CustomerWindow::deleteCustomer);
    connect(cmd_guke_query_, &QPushButton::clicked, this, &CustomerWindow::queryCustomers);
    connect(cmd_guke_exit_, &QPushButton::clicked, this, &QWidget::close);

    chain_ = new EnterChain(ctx_.messages(), this);
    chain_->add(txt_guke_num_, txt_guke_name_);
    chain_->add(txt_guke_name_, txt_guke_sex_);
    chain_->add(txt_guke_sex_, txt_guke_bron_);
    chain_->add(txt_guke_bron_, txt_guke_tel_);
    chain_->add(txt_guke_tel_, txt_guke_creat_);
    chain_->add(txt_guke_creat_, txt_guke_address_);
    chain_->add(txt_guke_address_, txt_guke_person_);
    chain_->add(txt_guke_person_, cmd_guke_save_);
    // Installed after the chain, so the locked-number warning comes before
    // Enter moves on.
    txt_guke_num_->installEventFilter(this);

    bg_->addStateItem(cmd_guke_del_);
    bg_->addStateItem(cmd_guke_mod_);
    bg_->addStateItem(cmd_guke_query_);
    bg_->addStateItem(eidt_bg_);
    // The timer keeps the states in step; a re-read brings them in step at once.
    connect(bg_, &RecordView::reran, this, &CustomerWindow::timerTick);
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer1"));
    connect(timer_, &QTimer::timeout, this, &CustomerWindow::timerTick);
    timer_->start(100);

    resize(820, 560);
    centreOnScreen(this);

    bg_->lock();
    bg_->refresh();
    timerTick();
}

void CustomerWindow::setNumberLocked(bool locked)
{
    numberLocked_ = locked;
    txt_guke_num_->setReadOnly(locked);
    if (!locked)
        shownRowid_.reset();
}

void CustomerWindow::clear_guke_fields()
{
    setNumberLocked(false);
    for (QLineEdit* e : {txt_guke_num_, txt_guke_name_, txt_guke_sex_, txt_guke_bron_, txt_guke_tel_,
                         txt_guke_creat_, txt_guke_person_, txt_guke_address_})
        e->clear();
}

void CustomerWindow::show_guke(qint64 rowid, const QStringList& customer)
{
    setNumberLocked(true);
    shownRowid_ = rowid;
    const QList<QLineEdit*> boxes = {txt_guke_num_, txt_guke_name_,  txt_guke_sex_,     txt_guke_bron_,
                                     txt_guke_tel_, txt_guke_creat_, txt_guke_address_, txt_guke_person_};
    for (int i = 0; i < boxes.size(); ++i)
        boxes.at(i)->setText(customer.value(i));
}

QStringList CustomerWindow::fieldValues() const
{
    return {txt_guke_num_->text(),     txt_guke_name_->text(),  txt_guke_sex_->text(),
            txt_guke_bron_->text(),    txt_guke_tel_->text(),   txt_guke_creat_->text(),
            txt_guke_address_->text(), txt_guke_person_->text()};
}

bool CustomerWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txt_guke_num_ && event->type() == QEvent::KeyPress && numberLocked_) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (typesCharacter(k)) {
            ctx_.messages().critical(QStringLiteral("编号目前是唯一标识，不能在此修改！"),
                                     QStringLiteral("错误"));
            // Enter still moves on (the chain sees it next); nothing is typed.
            const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
            return !enter;
        }
    }
    if (watched == bg_->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton && !eidt_bg_->isEnabled())
        return true;
    return QWidget::eventFilter(watched, event);
}

void CustomerWindow::timerTick()
{
    bg_->updateItemStates();
    if (bg_->isEmpty() && numberLocked_)
        setNumberLocked(false);
}

void CustomerWindow::saveCustomer()
{
    if (txt_guke_num_->text().isEmpty() || txt_guke_name_->text().isEmpty()) {
        ctx_.messages().critical(QStringLiteral("请输入完整的数据！"), QStringLiteral("错误"));
        txt_guke_num_->setFocus();
        return;
    }
    // Number and name together tell customers apart; look in the whole
    // table so a filtered grid does not let an existing pair in twice.
    QString error;
    const auto existing = members::firstRowid(
        db(), kTable, {{kNumber, Op::Eq, txt_guke_num_->text()}, {kName, Op::Eq, txt_guke_name_->text()}},
        &error);
    if (!error.isEmpty()) {
        ctx_.messages().databaseError(error);
        return;
    }
    if (!existing) {
        const DbResult r = db().exec(members::insertSql(db(), kTable), members::textBinds(fieldValues()));
        if (!r) {
            ctx_.messages().databaseError(r.error);
            return;
        }
        // Every view of the table re-reads, this grid included.
        emit ctx_.notifier().tableChanged(kTable);
        clear_guke_fields();
        txt_guke_num_->setFocus();
        return;
    }
    if (ctx_.messages().question(QStringLiteral("此顾客资料已存在，你想修改它吗？"),
                                 QStringLiteral("信息"))) {
        if (const auto customer = members::storedRow(db(), kTable, *existing))
            show_guke(*existing, *customer);
    } else {
        clear_guke_fields();
        txt_guke_num_->setFocus();
    }
}

void CustomerWindow::modifyCustomer()
{
    // Several customers may share a number, so the change is written to one
    // row: the customer shown, or else the first with the typed number.
    const QString number = txt_guke_num_->text();
    std::optional<qint64> target;
    if (shownRowid_) {
        const auto shown = members::storedRow(db(), kTable, *shownRowid_);
        if (shown && shown->value(0).compare(number, Qt::CaseInsensitive) == 0)
            target = shownRowid_;
    }
    QString error;
    if (!target)
        target = members::firstRowid(db(), kTable, {{kNumber, Op::Eq, number}}, &error);
    if (!error.isEmpty()) {
        ctx_.messages().databaseError(error);
        return;
    }
    if (!target) {
        ctx_.messages().critical(QStringLiteral("未找到相应的记录修改！"), QStringLiteral("错误"));
        bg_->rerun();
    } else {
        QVariantList binds = members::textBinds(fieldValues());
        binds << *target;
        const DbResult r =
            db().exec(members::updateAllSql(db(), kTable) + QStringLiteral(" WHERE rowid = ?"), binds);
        if (!r) {
            ctx_.messages().databaseError(r.error);
            return;
        }
        ctx_.messages().information(QStringLiteral("修改成功！"), QStringLiteral("信息"));
        emit ctx_.notifier().tableChanged(kTable);
    }
    clear_guke_fields();
    txt_guke_num_->setFocus();
}

void CustomerWindow::deleteCustomer()
{
    const auto current = bg_->currentRecord();
    if (ctx_.messages().question(QStringLiteral("真的想删除所选的记录?"), QStringLiteral("删除")) &&
        current) {
        bg_->commitEdits();
        const DbResult r = bg_->records()->deleteRowid(current->rowid);
        if (r)
            emit ctx_.notifier().tableChanged(kTable);
        else
            ctx_.messages().databaseError(r.error);
    }
    clear_guke_fields();
    txt_guke_num_->setFocus();
}

void CustomerWindow::queryCustomers()
{
    const SearchItem item{QStringLiteral("请输入要查询的姓名："), QStringLiteral("查询"), kName,
                          QStringLiteral("找不到相应的记录！"), QStringLiteral("错误")};
    const QString answer = ctx_.messages().input(item.prompt, item.title, QString());
    if (answer.isEmpty())
        return;
    bg_->searchFor(item, answer);
    clear_guke_fields();
}

void CustomerWindow::showClickedCustomer(const Record& record)
{
    if (const auto customer = members::storedRow(db(), kTable, record.rowid))
        show_guke(record.rowid, *customer);
}

} // namespace shop

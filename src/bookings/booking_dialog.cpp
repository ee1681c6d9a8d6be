#include "booking_dialog.h"

#include "data/schema.h"
#include "ui/enter_chain.h"
#include "ui/widgets.h"
#include "ui/worker_box.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace shop {

namespace {
const QString kError = QStringLiteral("错误");
} // namespace

BookingDialog::BookingDialog(AppContext& ctx, const QString& date, const QString& start,
                             const QString& employee, QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(ctx)
{
    build(QStringLiteral("新增预约"));
    date_->setText(date);
    start_->setText(start);
    worker_->setEditText(employee);
    proposed_ = QString::number(ctx_.shopSettings().hours().slot);
    minutes_->setText(proposed_);
}

BookingDialog::BookingDialog(AppContext& ctx, const bookings::Booking& b, QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), rowid_(b.rowid)
{
    build(QStringLiteral("修改预约"));
    card_->setText(b.card);
    name_->setText(b.name);
    phone_->setText(b.phone);
    service_->setText(b.serviceItem);
    worker_->setEditText(b.employee);
    date_->setText(b.date);
    start_->setText(b.start);
    minutes_->setText(QString::number(b.minutes()));
    proposed_ = minutes_->text();
    remark_->setText(b.remark);
    if (!b.card.isEmpty())
        showVisits(b.card);
}

void BookingDialog::build(const QString& caption)
{
    setObjectName(QStringLiteral("frm_yuyue_edit"));
    setAttribute(Qt::WA_DeleteOnClose);
    card_ = lineEdit("txt_card");
    name_ = lineEdit("txt_name");
    phone_ = lineEdit("txt_phone");
    service_ = lineEdit("txt_service");
    worker_ = new WorkerBox(ctx_.business());
    date_ = dateEdit("txt_date");
    start_ = lineEdit("txt_start");
    minutes_ = lineEdit("txt_minutes");
    remark_ = lineEdit("txt_remark");
    visits_ = valueLabel("lab_visits");
    auto* save = button("cmd_save", QStringLiteral("保存(&S)"));
    auto* cancel = button("cmd_close", QStringLiteral("取消(&C)"));
    dialogForm(this,
               {{QStringLiteral("卡号(&K)"), card_},
                {QString(), visits_},
                {QStringLiteral("顾客姓名(&N)"), name_},
                {QStringLiteral("联系电话(&T)"), phone_},
                {QStringLiteral("服务项目(&V)"), service_},
                {QStringLiteral("员工姓名(&Y)"), worker_},
                {QStringLiteral("预约日期(&D)"), date_},
                {QStringLiteral("开始时间(&B)"), start_},
                {QStringLiteral("时长(分钟)(&L)"), minutes_},
                {QStringLiteral("备注(&R)"), remark_}},
               {save, cancel});
    dialogWindow(this, caption, 420, 420);

    chain_ = new EnterChain(ctx_.messages(), this);
    chain_->setHandler(card_, [this] { card_lookup(); });
    chain_->add(card_, service_);
    chain_->add(name_, phone_);
    chain_->add(phone_, service_);
    chain_->setHandler(service_, [this] { serviceEntered(); });
    chain_->add(service_, worker_);
    chain_->add(worker_, date_);
    chain_->add(date_, start_);
    chain_->add(start_, minutes_);
    chain_->add(minutes_, remark_);
    chain_->add(remark_, save);
    connect(card_, &QLineEdit::textChanged, visits_, &QLabel::clear);
    connect(save, &QPushButton::clicked, this, &BookingDialog::save);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
}

void BookingDialog::card_lookup()
{
    const QString number = card_->text().trimmed();
    // A customer without a card gives a name and a telephone instead.
    if (number.isEmpty()) {
        name_->setFocus();
        return;
    }
    const auto holder = bookings::cardHolder(ctx_.business(), number);
    if (holder.failed()) {
        ctx_.messages().databaseError(holder.error());
        return;
    }
    if (!holder.found()) {
        ctx_.messages().critical(QStringLiteral("未找到此卡号，请检查是否输入有误！"), kError);
        card_->setFocus();
        card_->selectAll();
        return;
    }
    name_->setText(*holder);
    showVisits(number);
    chain_->moveOn(card_);
}

void BookingDialog::showVisits(const QString& number)
{
    const auto v = bookings::visitsOf(ctx_.business(), number, ctx_.clock().today());
    if (!v.found()) {
        visits_->clear();
        return;
    }
    visits_->setText(QStringLiteral("上次到店：%1　近90天到店：%2次")
                         .arg(v->last.isEmpty() ? QStringLiteral("无") : v->last)
                         .arg(v->inNinetyDays));
}

void BookingDialog::serviceEntered()
{
    // The length the service was last booked for, unless one was typed.
    if (minutes_->text().trimmed() == proposed_) {
        const auto usual = bookings::usualMinutes(ctx_.business(), service_->text());
        if (usual.found()) {
            proposed_ = QString::number(*usual);
            minutes_->setText(proposed_);
        }
    }
    chain_->moveOn(service_);
}

void BookingDialog::save()
{
    bookings::Request r;
    r.rowid = rowid_;
    r.date = date_->text();
    r.start = start_->text();
    r.minutes = minutes_->text();
    r.card = card_->text();
    r.name = name_->text();
    r.phone = phone_->text();
    r.serviceItem = service_->text();
    r.employee = worker_->currentText();
    r.remark = remark_->text();
    const bookings::Hours hours = ctx_.shopSettings().hours();
    const bookings::Outcome o = bookings::book(ctx_.business(), r, hours);
    if (o.kind == bookings::Outcome::Failed) {
        ctx_.messages().databaseError(o.error);
        return;
    }
    if (o.kind == bookings::Outcome::Refused) {
        ctx_.messages().critical(refusalText(o, hours, ctx_.today()), kError);
        QLineEdit* back = nullptr;
        switch (o.refusal) {
        case bookings::Refusal::BadDate:
            back = date_;
            break;
        case bookings::Refusal::BadStart:
        case bookings::Refusal::OutsideHours:
        case bookings::Refusal::Overlap:
            back = start_;
            break;
        case bookings::Refusal::BadMinutes:
        case bookings::Refusal::EndBeforeStart:
            back = minutes_;
            break;
        case bookings::Refusal::CardNotFound:
        case bookings::Refusal::CardChanged:
        case bookings::Refusal::NoCustomer:
            back = card_;
            break;
        case bookings::Refusal::NoServiceItem:
            back = service_;
            break;
        default:
            break;
        }
        if (back) {
            back->setFocus();
            back->selectAll();
        } else if (o.refusal == bookings::Refusal::EmployeeGone) {
            worker_->setFocus();
        }
        return;
    }
    ctx_.notifier().changed({schema::yuyue::kTable});
    emit saved(o.rowid);
    close();
}

QString BookingDialog::refusalText(const bookings::Outcome& o, const bookings::Hours& hours,
                                   const QString& today, const QString& action)
{
    using R = bookings::Refusal;
    switch (o.refusal) {
    case R::None:
        return {};
    case R::BadDate:
        return QStringLiteral("请按“年-月-日”的形式输入日期，例如：") + today;
    case R::BadStart:
        return QStringLiteral("请按“时:分”的形式输入开始时间，例如：09:30");
    case R::BadMinutes:
        return QStringLiteral("时长请输入分钟数，例如：30");
    case R::EndBeforeStart:
        return QStringLiteral("结束时间必须晚于开始时间，时长至少1分钟！");
    case R::OutsideHours:
        return QStringLiteral("预约时间必须在营业时间 %1-%2 之内！")
            .arg(bookings::timeText(hours.open), bookings::timeText(hours.close));
    case R::NoCustomer:
        return QStringLiteral("请输入会员卡号，或非会员的姓名和联系电话！");
    case R::NoServiceItem:
        return QStringLiteral("请输入服务项目！");
    case R::EmployeeGone:
        return QStringLiteral("此员工已不存在，请重新选择员工！");
    case R::CardNotFound:
        return QStringLiteral("未找到此卡号，请检查是否输入有误！");
    case R::CardChanged:
        return QStringLiteral("预约的会员卡（卡号%1）已被删除或改号，请重新输入卡号！")
            .arg(o.booking ? o.booking->card : QString());
    case R::Overlap:
        return QStringLiteral("员工%1在这段时间已有预约：%2，不能重复预约！")
            .arg(o.booking->employee, o.booking->describe());
    case R::Gone:
        return QStringLiteral("此预约已不存在（可能已被删除）！");
    case R::WrongState:
        return QStringLiteral("此预约的状态是“%1”，不能%2！")
            .arg(o.booking ? o.booking->state : QString(),
                 action.isEmpty() ? QStringLiteral("修改") : action);
    case R::NoReason:
        return QStringLiteral("请输入取消原因！");
    }
    return {};
}

} // namespace shop

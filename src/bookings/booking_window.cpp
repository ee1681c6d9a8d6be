#include "booking_window.h"

#include "booking_dialog.h"
#include "day_model.h"
#include "day_sheet.h"

#include "data/schema.h"
#include "data/table_rows.h"
#include "ui/document_path.h"
#include "ui/record_view.h"
#include "ui/widgets.h"
#include "ui/window_names.h"

#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

namespace shop {

namespace {

namespace y = schema::yuyue;
const QString kError = QStringLiteral("错误");

// Enter in the day view opens the cell, as a double click does.
class EnterOpens : public QObject {
public:
    EnterOpens(QObject* parent, std::function<void()> open) : QObject(parent), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                open_();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> open_;
};

} // namespace

BookingWindow::BookingWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frm_yuyue"));
    setWindowTitle(QStringLiteral("预约管理"));

    dateBox_ = dateEdit("txt_date");
    auto* today = button("cmd_today", QStringLiteral("今天(&T)"));
    auto* previous = button("cmd_prev", QStringLiteral("前一天(&P)"));
    auto* next = button("cmd_next", QStringLiteral("后一天(&N)"));
    auto* top = new QHBoxLayout;
    top->addWidget(buddyLabel(QStringLiteral("日期(&D)"), dateBox_));
    top->addWidget(dateBox_);
    top->addLayout(buttonRow({previous, today, next}, SpareWidth::After), 1);

    model_ = new DayModel(this);
    view_ = new QTableView;
    view_->setObjectName(QStringLiteral("day_bg"));
    view_->setModel(model_);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectItems);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->horizontalHeader()->setDefaultSectionSize(150);
    view_->verticalHeader()->setDefaultSectionSize(24);
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->installEventFilter(new EnterOpens(this, [this] { openCell(); }));
    connect(view_, &QTableView::doubleClicked, this, &BookingWindow::openCell);

    auto* add = button("cmd_add", QStringLiteral("新增预约(&A)"));
    auto* edit = button("cmd_edit", QStringLiteral("修改(&M)"));
    auto* arrived = button("cmd_arrive", QStringLiteral("到店(&R)"));
    auto* sale = button("cmd_sale", QStringLiteral("到店开单(&B)"));
    auto* cancel = button("cmd_cancel", QStringLiteral("取消预约(&C)"));
    auto* noShow = button("cmd_noshow", QStringLiteral("未到(&W)"));
    noShows_ = button("cmd_overdue", QStringLiteral("过时未到(&O)"));
    auto* print = button("cmd_print", QStringLiteral("打印日程(&S)"));
    auto* pdf = button("cmd_pdf", QStringLiteral("日程PDF(&F)"));
    auto* csv = button("cmd_csv", QStringLiteral("导出CSV(&X)"));
    auto* exit = button("cmd_exit", QStringLiteral("退出(&E)"));

    list_ = namedGrid(ctx_, ctx_.business(), y::kTable, "bg", nullptr, this);
    summary_ = valueLabel("lab_summary");

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(view_, 3);
    layout->addLayout(buttonRow({add, edit, arrived, sale, cancel, noShow, noShows_}, SpareWidth::After));
    layout->addLayout(buttonRow({print, pdf, csv, exit}, SpareWidth::After));
    layout->addWidget(summary_);
    layout->addWidget(list_, 1);

    connect(dateBox_, &QLineEdit::returnPressed, this, &BookingWindow::showTyped);
    connect(today, &QPushButton::clicked, this, [this] { showDay(ctx_.today()); });
    connect(previous, &QPushButton::clicked, this, [this] { moveDays(-1); });
    connect(next, &QPushButton::clicked, this, [this] { moveDays(1); });
    auto* back = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), this);
    auto* forward = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), this);
    connect(back, &QShortcut::activated, this, [this] { moveDays(-1); });
    connect(forward, &QShortcut::activated, this, [this] { moveDays(1); });
    connect(add, &QPushButton::clicked, this, &BookingWindow::addBooking);
    connect(edit, &QPushButton::clicked, this, &BookingWindow::editBooking);
    connect(arrived, &QPushButton::clicked, this, &BookingWindow::arrive);
    connect(sale, &QPushButton::clicked, this, &BookingWindow::startSale);
    connect(cancel, &QPushButton::clicked, this, &BookingWindow::cancelBooking);
    connect(noShow, &QPushButton::clicked, this, &BookingWindow::markNoShow);
    connect(noShows_, &QPushButton::clicked, this, &BookingWindow::offerNoShows);
    connect(print, &QPushButton::clicked, this, &BookingWindow::printSheet);
    connect(pdf, &QPushButton::clicked, this, &BookingWindow::saveSheet);
    connect(csv, &QPushButton::clicked, this, &BookingWindow::exportDay);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    // A booking stored anywhere, or an employee added or gone, shows at once.
    connect(&ctx_.notifier(), &TableNotifier::tableChanged, this, [this](const QString& table) {
        if (table == y::kTable || table == schema::worker::kTable)
            reload();
    });
    connect(&ctx_.shellNotifier(), &ShellNotifier::settingsChanged, this, &BookingWindow::reload);

    resize(960, 720);
    showDay(ctx_.today());
    view_->setFocus();
}

bool BookingWindow::showDay(const QString& date)
{
    if (!isDateText(date)) {
        ctx_.messages().critical(QStringLiteral("请按“年-月-日”的形式输入日期，例如：") + ctx_.today(),
                                 kError);
        dateBox_->setFocus();
        dateBox_->selectAll();
        return false;
    }
    hours_ = ctx_.shopSettings().hours();
    const auto employees = rows::workerNames(ctx_.business());
    if (employees.failed()) {
        ctx_.messages().databaseError(employees.error());
        return false;
    }
    const auto day = bookings::ofDay(ctx_.business(), date);
    if (day.failed()) {
        ctx_.messages().databaseError(day.error());
        return false;
    }
    date_ = date;
    dateBox_->setText(date);
    model_->show(*employees, hours_, *day);
    list_->setSource(RecordSource::all(y::kTable).filter(y::kDate, Op::Eq, date).orderBy(y::kStart));
    showSummary();
    return true;
}

void BookingWindow::showTyped()
{
    if (showDay(dateBox_->text().trimmed()))
        view_->setFocus();
}

void BookingWindow::moveDays(int days)
{
    const QDate d = QDate::fromString(date_, QStringLiteral("yyyy-MM-dd"));
    showDay(dateText(d.addDays(days)));
}

void BookingWindow::reload()
{
    const QModelIndex at = view_->currentIndex();
    if (!showDay(date_))
        return;
    if (at.isValid())
        view_->setCurrentIndex(model_->index(qMin(at.row(), model_->rowCount() - 1),
                                             qMin(at.column(), model_->columnCount() - 1)));
}

void BookingWindow::showSummary()
{
    int counts[5] = {};
    int overdue = 0;
    const QDateTime now = ctx_.clock().now();
    for (const bookings::Booking& b : model_->day()) {
        if (const auto s = bookings::stateOf(b.state))
            ++counts[static_cast<int>(*s)];
        if (bookings::isOverdue(b, now))
            ++overdue;
    }
    QString text = QStringLiteral("本日预约 %1 个：已预约 %2，已到店 %3，已完成 %4，取消 %5，未到 %6")
                       .arg(model_->day().size())
                       .arg(counts[0])
                       .arg(counts[1])
                       .arg(counts[2])
                       .arg(counts[3])
                       .arg(counts[4]);
    if (overdue > 0)
        text += QStringLiteral("　（%1 个预约已过结束时间仍未到店）").arg(overdue);
    summary_->setText(text);
    noShows_->setEnabled(overdue > 0);
}

std::optional<bookings::Booking> BookingWindow::current() const
{
    if (const bookings::Booking* b = model_->bookingAt(view_->currentIndex()))
        return *b;
    return std::nullopt;
}

void BookingWindow::openCell()
{
    if (current())
        editBooking();
    else
        addBooking();
}

void BookingWindow::addBooking()
{
    const QModelIndex at = view_->currentIndex();
    const QString start = at.isValid() ? model_->slotAt(at.row()) : bookings::timeText(hours_.open);
    const QString employee = at.isValid() ? model_->employeeAt(at.column()) : QString();
    auto* dialog = new BookingDialog(ctx_, date_, start, employee, this);
    connect(dialog, &BookingDialog::saved, this, [this](qint64 rowid) {
        const auto b = bookings::find(ctx_.business(), rowid);
        if (b.found() && b->date != date_)
            showDay(b->date);
        if (const QModelIndex cell = model_->cellOf(rowid); cell.isValid())
            view_->setCurrentIndex(cell);
    });
    dialog->show();
    dialog->activateWindow();
}

void BookingWindow::editBooking()
{
    const auto b = current();
    if (!b) {
        ctx_.messages().critical(QStringLiteral("请先选择一个预约！"), kError);
        return;
    }
    const auto state = bookings::stateOf(b->state);
    if (state != bookings::State::Booked && state != bookings::State::Arrived) {
        bookings::Outcome o;
        o.kind = bookings::Outcome::Refused;
        o.refusal = bookings::Refusal::WrongState;
        o.booking = b;
        said(o, QStringLiteral("修改"));
        return;
    }
    auto* dialog = new BookingDialog(ctx_, *b, this);
    connect(dialog, &BookingDialog::saved, this, [this](qint64 rowid) {
        const auto stored = bookings::find(ctx_.business(), rowid);
        if (stored.found() && stored->date != date_)
            showDay(stored->date);
        if (const QModelIndex cell = model_->cellOf(rowid); cell.isValid())
            view_->setCurrentIndex(cell);
    });
    dialog->show();
    dialog->activateWindow();
}

bool BookingWindow::said(const bookings::Outcome& o, const QString& action)
{
    switch (o.kind) {
    case bookings::Outcome::Failed:
        ctx_.messages().databaseError(o.error);
        return false;
    case bookings::Outcome::Refused:
        ctx_.messages().critical(BookingDialog::refusalText(o, hours_, ctx_.today(), action), kError);
        return false;
    case bookings::Outcome::Saved:
        ctx_.notifier().changed({y::kTable});
        return true;
    }
    return false;
}

void BookingWindow::arrive()
{
    if (const auto b = current())
        said(bookings::setState(ctx_.business(), b->rowid, bookings::State::Arrived), QStringLiteral("到店"));
    else
        ctx_.messages().critical(QStringLiteral("请先选择一个预约！"), kError);
}

void BookingWindow::startSale()
{
    const auto b = current();
    if (!b) {
        ctx_.messages().critical(QStringLiteral("请先选择一个预约！"), kError);
        return;
    }
    const bookings::Outcome o = bookings::readyForSale(ctx_.business(), b->rowid);
    if (!said(o, QStringLiteral("开单")))
        return;
    // The sale goes on in the business entry as any sale does; stored, it
    // completes the booking.
    if (QWidget* w = ctx_.windows().open(ctx_, window_name::business))
        QMetaObject::invokeMethod(w, "fillFromBooking", Q_ARG(qint64, b->rowid),
                                  Q_ARG(QString, o.booking->card), Q_ARG(QString, o.booking->serviceItem),
                                  Q_ARG(QString, o.booking->employee));
}

void BookingWindow::cancelBooking()
{
    const auto b = current();
    if (!b) {
        ctx_.messages().critical(QStringLiteral("请先选择一个预约！"), kError);
        return;
    }
    const QString reason = ctx_.messages().input(
        QStringLiteral("取消预约：%1\n请输入取消原因：").arg(b->describe()), QStringLiteral("取消预约"));
    if (reason.trimmed().isEmpty())
        return;
    said(bookings::setState(ctx_.business(), b->rowid, bookings::State::Cancelled, reason),
         QStringLiteral("取消"));
}

void BookingWindow::markNoShow()
{
    const auto b = current();
    if (!b) {
        ctx_.messages().critical(QStringLiteral("请先选择一个预约！"), kError);
        return;
    }
    if (!ctx_.messages().question(QStringLiteral("确定将此预约标记为未到吗？\n%1").arg(b->describe()),
                                  QStringLiteral("未到")))
        return;
    said(bookings::setState(ctx_.business(), b->rowid, bookings::State::NoShow),
         QStringLiteral("标记为未到"));
}

void BookingWindow::offerNoShows()
{
    const QDateTime now = ctx_.clock().now();
    QList<bookings::Booking> over;
    QStringList lines;
    for (const bookings::Booking& b : model_->day())
        if (bookings::isOverdue(b, now)) {
            over << b;
            lines << b.describe();
        }
    if (over.isEmpty())
        return;
    if (!ctx_.messages().question(QStringLiteral("以下预约已过结束时间仍未到店，全部标记为未到吗？\n%1")
                                      .arg(lines.join(QLatin1Char('\n'))),
                                  QStringLiteral("未到")))
        return;
    for (const bookings::Booking& b : std::as_const(over)) {
        const bookings::Outcome o = bookings::setState(ctx_.business(), b.rowid, bookings::State::NoShow);
        // One that arrived meanwhile at another till stays as it is.
        if (o.kind == bookings::Outcome::Failed) {
            ctx_.messages().databaseError(o.error);
            break;
        }
    }
    ctx_.notifier().changed({y::kTable});
}

namespace {

DaySheet sheetOf(const DayModel& model, const QModelIndex& at, const QString& date, const QString& today)
{
    DaySheet sheet;
    sheet.employee = at.isValid() ? model.employeeAt(at.column()) : model.employeeAt(0);
    sheet.date = date;
    sheet.printedOn = today;
    for (const bookings::Booking& b : model.day())
        if (b.employee.compare(sheet.employee, Qt::CaseInsensitive) == 0)
            sheet.bookings << b;
    return sheet;
}

} // namespace

void BookingWindow::printSheet()
{
    PrintService& printing = ctx_.printing();
    if (!printing.hasPrinter()) {
        ctx_.messages().critical(
            QStringLiteral("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！"),
            QStringLiteral("打印错误"));
        saveSheet();
        return;
    }
    const DaySheet sheet = sheetOf(*model_, view_->currentIndex(), date_, ctx_.today());
    if (printing.print(*daySheetDocument(sheet), daySheetTitle(sheet)) == PrintResult::Failed)
        ctx_.messages().critical(QStringLiteral("打印失败，预约日程表没有打印出来！请检查打印机后重试。"),
                                 QStringLiteral("打印错误"));
}

void BookingWindow::saveSheet()
{
    const DaySheet sheet = sheetOf(*model_, view_->currentIndex(), date_, ctx_.today());
    const QString file = chooseDocumentFile(ctx_, QStringLiteral("另存为PDF"), daySheetTitle(sheet),
                                            QStringLiteral(".pdf"), QStringLiteral("PDF 文件 (*.pdf)"));
    if (file.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(file);
    if (const SaveOutcome saved = ctx_.printing().saveAsPdf(*daySheetDocument(sheet), file); !saved)
        ctx_.messages().critical(QStringLiteral("无法保存PDF文件：\n%1\n%2").arg(shown, saved.failure),
                                 kError);
    else
        ctx_.messages().information(QStringLiteral("预约日程表已保存为PDF文件：\n") + shown,
                                    QStringLiteral("信息"));
}

void BookingWindow::exportDay()
{
    list_->exportRows();
}

} // namespace shop

#include "sales_records_window.h"

#include "receipt_printer.h"
#include "ui/enter_chain.h"
#include "ui/widgets.h"
#include "ui/worker_box.h"
#include "data/schema.h"
#include "data/money.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace shop {

namespace {

namespace sales = schema::salse;
const QString kInfo = QStringLiteral("信息");

// The rows of a date range, of one employee when named, in stored order:
// the total rounds after each row, so it is added in the order the salary
// window adds the same rows (dates compare as the stored texts).
RecordSource rangeSource(const QString& from, const QString& to, const QString& employee)
{
    RecordSource s =
        RecordSource::all(sales::kTable).filter(sales::kDate, Op::Ge, from).filter(sales::kDate, Op::Le, to);
    if (!employee.isEmpty())
        s.filter(sales::kEmployee, Op::Eq, employee);
    return s;
}

} // namespace

SalesRecordsWindow::SalesRecordsWindow(AppContext& ctx, QWidget* parent)
    : BrowserWindow(ctx,
                    {QStringLiteral("frm_salse"), QStringLiteral("业务发生记录查询"), sales::kTable,
                     QStringLiteral("PMENU"), QStringLiteral("表单")},
                    parent)
{
    worker_ = new WorkerBox(ctx_.business());
    from_ = dateEdit("txt_from");
    to_ = dateEdit("txt_to");
    search_ = button("cmd_search", QStringLiteral("选择/统计(&S)"));
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("员工姓名")));
    row->addWidget(worker_, 1);
    row->addWidget(new QLabel(QStringLiteral("从")));
    row->addWidget(from_, 1);
    row->addWidget(new QLabel(QStringLiteral("到")));
    row->addWidget(to_, 1);
    row->addWidget(search_);
    row->addStretch(1);
    addControlRow(row);
    setTabOrder(worker_, from_);
    setTabOrder(from_, to_);
    setTabOrder(to_, search_);
    setTabOrder(search_, grid());
    worker_->setFocus();

    auto* chain = new EnterChain(ctx_.messages(), this);
    chain->add(worker_, from_);
    chain->add(from_, to_);
    chain->add(to_, search_);
    connect(search_, &QPushButton::clicked, this, &SalesRecordsWindow::cmd_search);

    // The grid is for reading only: no way to unlock it, and a try to edit
    // a cell says why not.
    grid()->setWarnWhenLocked(true);
    // 选择/统计 re-reads the grid twice: read a screenful, more as it scrolls.
    grid()->records()->setPageSize(32);
    // No header sorts here.
    grid()->setSortMap({}, UnmappedHeader::Ignore);

    addSearch("card_search", QStringLiteral("按会员卡号查询"), QStringLiteral("请输入要查询的卡号："),
              QStringLiteral("卡号查询"), sales::kCard);
    addSearch("product_search", QStringLiteral("按产品编号查询"), QStringLiteral("请输入要查询的产品编号："),
              QStringLiteral("产品编号查询"), sales::kProductCode);
    addSearch("name_search", QStringLiteral("按商品名称查询"), QStringLiteral("请输入要查询的商品名称："),
              QStringLiteral("商品名称查询"), sales::kProductName);
    addShowAll("all_record", QStringLiteral("刷新所有记录"));
    connect(addItem("reprint_receipt", QStringLiteral("补打小票")), &QAction::triggered, this, [this] {
        if (const auto record = grid()->currentRecord())
            ReceiptPrinter(ctx_).reprint(record->rowid);
    });
    connect(addItem("preview_receipt", QStringLiteral("小票预览")), &QAction::triggered, this, [this] {
        if (const auto record = grid()->currentRecord())
            ReceiptPrinter(ctx_).preview(record->rowid);
    });

    open_data();
}

void SalesRecordsWindow::open_data()
{
    from_->setText(thirtyDaysAgoText(ctx_.clock()));
    to_->setText(ctx_.today());
    if (ctx_.isSupervisor()) {
        grid()->refresh();
    } else {
        QStringList columns = schema::columnsOf(sales::kTable);
        columns.removeAll(sales::kCommission);
        grid()->showAll(columns);
    }
}

void SalesRecordsWindow::showDay(const QString& date)
{
    from_->setText(date);
    to_->setText(date);
    RecordSource day = rangeSource(date, date, QString());
    if (!ctx_.isSupervisor()) {
        day.columns = schema::columnsOf(sales::kTable);
        day.columns.removeAll(sales::kCommission);
    }
    grid()->setSource(day);
}

void SalesRecordsWindow::cmd_search()
{
    // Only the stored form compares as a date: 2026-12-1 would sort after
    // 2026-12-10 and give a wrong total without a word.
    if (!checkDateBox(from_, ctx_.messages(), ctx_.today()) ||
        !checkDateBox(to_, ctx_.messages(), ctx_.today()))
        return;
    const QString from = from_->text();
    const QString to = to_->text();
    const QString employee = worker_->currentText();
    const RecordSource range = rangeSource(from, to, employee);
    MessageService& m = ctx_.messages();
    // One pass reads the total and the rows' keys; the grid shows the rows
    // of the range from those keys while the result is said.
    const auto total = grid()->showWithTotals(
        range, [&](QVector<qint64>* rowids) { return money::receivedIn(ctx_.business(), range, rowids); });
    if (total) {
        const QString span = QStringLiteral("从") + from + QStringLiteral("日到") + to;
        if (grid()->isEmpty()) {
            if (employee.isEmpty())
                m.critical(QStringLiteral("未找到相应的记录！"), QString());
            else
                m.critical(span + QStringLiteral("日没有由该员工所发生的业务"), kInfo);
        } else {
            if (total->overflow)
                m.critical(QStringLiteral("实收金额合计超出范围，无法统计！"), QStringLiteral("错误"));
            else
                m.information(span + QStringLiteral("日实收金额合计为：") + QString::number(total->total) +
                                  QStringLiteral("元"),
                              employee.isEmpty() ? kInfo : employee + QStringLiteral("业务发生额"));
        }
    }
    // Then every row and column again, whoever is logged in.
    grid()->refresh();
}

} // namespace shop

#include "salary_window.h"

#include "salary_slip.h"
#include "ui/document_path.h"
#include "ui/field_set.h"
#include "ui/record_view.h"
#include "ui/tab_order.h"
#include "ui/widgets.h"
#include "ui/worker_box.h"
#include "data/numeric.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTextDocument>
#include <QVBoxLayout>

namespace shop {

namespace {

namespace pay = schema::salary;
const QString kError = QStringLiteral("错误");
const QString kPrintCaption = QStringLiteral("打印");
const QString kYuan = QStringLiteral("元");

} // namespace

SalaryWindow::SalaryWindow(AppContext& ctx, QWidget* parent)
    : QWidget(parent), ctx_(ctx), service_(ctx.business())
{
    setWindowTitle(QStringLiteral("员工工资管理"));
    QLayout* entry = buildEntry();
    QWidget* statements = buildStatements();
    QWidget* business = buildBusinessFrame();
    auto* top = new QHBoxLayout;
    top->addLayout(entry, 1);
    top->addLayout(buttonColumn({save_, delete_, print_, preview_, exit_}));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(statements, 1);
    layout->addWidget(business, 1);
    tabInReadingOrder(this);
    connectAll();
    resize(900, 680);

    // Opening: every statement, every transaction, the last 30 days.
    bg_->refresh();
    salesBg_->refresh();
    save_->setEnabled(false);
    from_->setText(thirtyDaysAgoText(ctx_.clock()));
    to_->setText(ctx_.today());
}

QLayout* SalaryWindow::buildEntry()
{
    // Enter moves along the typed fields only; the name and the computed
    // values are reached by mouse or Tab.
    // clang-format off
    const QList<FieldDef> defs = {
        {.name = "com_name", .label = "姓   名", .column = pay::kName, .kind = FieldKind::Worker, .flags = OffChain},
        {.name = "lab_salary", .label = "底  薪", .column = pay::kBasePay, .kind = FieldKind::Value, .col = 1},
        {.name = "txt_ti_je", .label = "提成总额", .column = pay::kCommission, .col = 2},
        {.name = "txt_quanqin", .label = "全勤奖：", .column = pay::kFullAttendance, .col = 3},
        {.name = "txt_gl", .label = "工龄奖", .column = pay::kSeniority, .row = 1},
        {.name = "txt_jiangjin", .label = "奖金", .column = pay::kBonus, .row = 1, .col = 1},
        {.name = "txt_chidao", .label = "迟  到", .column = pay::kLateness, .row = 1, .col = 2},
        {.name = "txt_zaotui", .label = "早   退", .column = pay::kEarlyLeave, .row = 1, .col = 3},
        {.name = "txt_fakuan", .label = "罚  款", .column = pay::kFine, .row = 2},
        {.name = "lab_yfgz", .label = "应发工资", .column = pay::kGross, .kind = FieldKind::Value, .row = 2, .col = 1},
        {.name = "lab_gz", .label = "实发工资", .column = pay::kNet, .kind = FieldKind::Value, .row = 2, .col = 2},
    };
    // clang-format on
    fields_ = new FieldSet(ctx_, this, ctx_.business().columns(SalaryService::kSalary), defs);
    basePayLabel_ = fields_->as<QLabel>("lab_salary");
    grossLabel_ = fields_->as<QLabel>("lab_yfgz");
    netLabel_ = fields_->as<QLabel>("lab_gz");
    worker_ = fields_->as<WorkerBox>("com_name");

    save_ = button("cmd_save", QStringLiteral("保存(&S)"));
    delete_ = button("cmd_del", QStringLiteral("删除(&D)"));
    print_ = button("cmd_prn", QStringLiteral("打印(&P)"));
    preview_ = button("cmd_preview", QStringLiteral("打印预览(&V)"));
    exit_ = button("cmd_exit", QStringLiteral("退出(&E)"));
    fields_->chainTo(save_);
    fields_->setHandler("txt_fakuan", [this] { computePay(); });
    return fields_->layout();
}

QWidget* SalaryWindow::buildStatements()
{
    // bg: the saved statements, read-only, with its popup TABLE1.
    bg_ = namedGrid(ctx_, ctx_.business(), SalaryService::kSalary, "bg", "salary_data", this);
    QMenu* table1 = bg_->popupMenu();
    table1->setObjectName(QStringLiteral("TABLE1"));
    table1->setTitle(QStringLiteral("表格"));
    deleteItem_ = menuItem(table1, {"S_DEL", QStringLiteral("删除记录")});
    table1->addSeparator();
    nameItem_ = menuItem(table1, {"S_NAME", QStringLiteral("姓名查询")});
    table1->addSeparator();
    freshItem_ = menuItem(table1, {"fresh", QStringLiteral("刷新记录")});
    // The bonus and deduction columns have no sort.
    bg_->setSortColumns(
        {{0, pay::kName}, {1, pay::kBasePay}, {2, pay::kCommission}, {9, pay::kGross}, {10, pay::kNet}}, {},
        UnmappedHeader::Ignore);
    return bg_;
}

QWidget* SalaryWindow::buildBusinessFrame()
{
    // Frame2: the employee's business, read-only, with its popup from_01.
    frame2_ = new QGroupBox(QStringLiteral("业务发生记录"), this);
    frame2_->setObjectName(QStringLiteral("Frame2"));
    salesBg_ = namedGrid(ctx_, ctx_.business(), SalaryService::kSales, "salse_bg", "salse_data", frame2_);
    // Each "确定" re-reads the grid: read a screenful, more as it scrolls.
    salesBg_->records()->setPageSize(64);
    QMenu* from01 = salesBg_->popupMenu();
    from01->setObjectName(QStringLiteral("from_01"));
    from01->setTitle(QStringLiteral("表格"));
    refreshAllItem_ = menuItem(from01, {"refresh_all", QStringLiteral("刷新所有记录")});

    from_ = dateEdit("txt_from");
    to_ = dateEdit("txt_to");
    item_ = lineEdit("txt_item");
    ok_ = button("cmd_ok", QStringLiteral("确定(&C)"));
    select_ = button("cmd_select", QStringLiteral("选择/统计"));
    auto* period = new QGridLayout;
    addField(period, 0, 0, QStringLiteral("从"), from_);
    addField(period, 1, 0, QStringLiteral("到"), to_);
    period->addWidget(ok_, 2, 0, 1, 2);
    addField(period, 3, 0, QStringLiteral("服务项目"), item_);
    period->addWidget(select_, 4, 0, 1, 2);
    period->setRowStretch(5, 1);
    auto* frameLayout = new QHBoxLayout(frame2_);
    frameLayout->addWidget(salesBg_, 1);
    frameLayout->addLayout(period);
    return frame2_;
}

void SalaryWindow::connectAll()
{
    // Choosing from the list, not typing, calls the employee up.
    connect(worker_, &QComboBox::activated, this, [this] {
        if (!enterInName_)
            employeeChosen();
    });
    worker_->installEventFilter(this);
    worker_->lineEdit()->installEventFilter(this);
    connect(worker_, &QComboBox::editTextChanged, this,
            [this](const QString& text) { save_->setEnabled(!text.isEmpty()); });
    connect(ok_, &QPushButton::clicked, this, &SalaryWindow::periodCommission);
    connect(select_, &QPushButton::clicked, this, &SalaryWindow::itemTotals);
    connect(save_, &QPushButton::clicked, this, &SalaryWindow::saveStatement);
    connect(delete_, &QPushButton::clicked, this, &SalaryWindow::deleteStatement);
    connect(deleteItem_, &QAction::triggered, this, &SalaryWindow::deleteStatement);
    connect(nameItem_, &QAction::triggered, this, &SalaryWindow::findByName);
    connect(freshItem_, &QAction::triggered, bg_, &RecordView::refresh);
    connect(refreshAllItem_, &QAction::triggered, this, &SalaryWindow::showEmployeeBusiness);
    connect(print_, &QPushButton::clicked, this, &SalaryWindow::printStatement);
    connect(preview_, &QPushButton::clicked, this, &SalaryWindow::previewStatement);
    connect(exit_, &QPushButton::clicked, this, &QWidget::close);

    // Timer1: delete and the name search need statements; save a name.
    bg_->addStateItem(delete_);
    bg_->addStateItem(deleteItem_);
    bg_->addStateItem(nameItem_);
    connect(bg_, &RecordView::statesUpdated, this, [this] { save_->setEnabled(!name().isEmpty()); });
    bg_->startItemStateTimer(100, "Timer1");
}

bool SalaryWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the box takes a typed name that is in the list as if it had
    // been chosen from it; that must not call the employee up. The key is
    // delivered again with the flag set (the second time it passes here).
    const bool nameBox = watched == worker_ || watched == worker_->lineEdit();
    if (nameBox && event->type() == QEvent::KeyPress && !enterInName_) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            const QScopedValueRollback<bool> typed(enterInName_, true);
            QCoreApplication::sendEvent(watched, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QString SalaryWindow::name() const
{
    return worker_->currentText();
}

void SalaryWindow::setBasePay(const QString& text)
{
    basePay_ = text;
    basePayLabel_->setText(text);
}

void SalaryWindow::setPay(const QString& gross, const QString& net)
{
    gross_ = gross;
    net_ = net;
    grossLabel_->setText(gross);
    netLabel_->setText(net);
}

SalaryStatement SalaryWindow::statement() const
{
    return {name(),
            basePay_,
            fields_->text("txt_ti_je"),
            fields_->text("txt_quanqin"),
            fields_->text("txt_gl"),
            fields_->text("txt_jiangjin"),
            fields_->text("txt_chidao"),
            fields_->text("txt_zaotui"),
            fields_->text("txt_fakuan"),
            gross_,
            net_};
}

void SalaryWindow::fill_worker_list()
{
    worker_->fill_worker_list();
}

void SalaryWindow::show_base_pay()
{
    const auto pay = service_.basePay(name());
    if (pay.failed())
        ctx_.messages().databaseError(pay.error());
    else if (pay.found())
        setBasePay(*pay);
}

void SalaryWindow::clear_salary_fields()
{
    worker_->setCurrentIndex(-1);
    fields_->clear();
    setBasePay({});
    setPay({}, {});
    counted_.reset();
    computed_.reset();
}

void SalaryWindow::employeeChosen()
{
    const QString n = name();
    if (n.isEmpty())
        return;
    counted_.reset();
    computed_.reset();
    show_base_pay();
    frame2_->setTitle(n + QStringLiteral("业务发生记录"));
    // An employee without any business is not drawn up: the name and the
    // base pay just shown are blanked again.
    if (salesBg_->setSource(SalaryService::employeeBusiness(n)) && salesBg_->isEmpty())
        clear_salary_fields();
    fields_->widget("txt_ti_je")->setFocus();
}

bool SalaryWindow::nameChosen(const QString& missing)
{
    if (!name().isEmpty())
        return true;
    ctx_.messages().critical(missing, kError);
    salesBg_->refresh();
    worker_->setFocus();
    return false;
}

bool SalaryWindow::periodTyped()
{
    // The rule and the words of the sales records browser: a period from
    // 2026-12-1 would leave out the 2nd to the 9th.
    MessageService& m = ctx_.messages();
    return checkDateBox(from_, m, ctx_.today()) && checkDateBox(to_, m, ctx_.today());
}

void SalaryWindow::periodCommission()
{
    if (!nameChosen(QStringLiteral("你未选择员工姓名！")) || !periodTyped())
        return;
    // One pass gives the total and the rows' keys; the grid shows the same
    // rows from those keys without a query of its own.
    const RecordSource period = SalaryService::periodBusiness(name(), from_->text(), to_->text());
    const auto total = salesBg_->showWithTotals(period, [&](QVector<qint64>* rowids) {
        return money::commissionIn(ctx_.business(), period, rowids);
    });
    if (!total)
        return;
    sum_commission(*total);
    // The pay is computed again from the new commission before a slip.
    computed_.reset();
    counted_.reset();
    if (!total->overflow)
        counted_ = Counted{name(), from_->text(), to_->text(), fields_->text("txt_ti_je")};
}

void SalaryWindow::sum_commission(const rows::RoundedTotal& total)
{
    if (total.overflow)
        ctx_.messages().critical(QStringLiteral("提成总额超出整数范围，无法计算！"), kError);
    else
        fields_->setText("txt_ti_je", QString::number(total.total) + kYuan);
}

void SalaryWindow::itemTotals()
{
    if (!nameChosen(QStringLiteral("你还未选择员工的姓名！")) || !periodTyped())
        return;
    const RecordSource items = SalaryService::itemBusiness(name(), from_->text(), to_->text(), item_->text());
    const auto totals = salesBg_->showWithTotals(
        items, [&](QVector<qint64>* rowids) { return money::salesIn(ctx_.business(), items, rowids); });
    if (!totals)
        return;
    if (salesBg_->isEmpty())
        ctx_.messages().critical(QStringLiteral("没有找到相应的记录！！"), kError);
    else
        show_item_totals(*totals);
}

void SalaryWindow::show_item_totals(const money::SalesTotals& totals)
{
    if (totals.received.overflow || totals.commission.overflow)
        ctx_.messages().critical(QStringLiteral("业务发生额或提成合计超出整数范围，无法统计！"), kError);
    else
        ctx_.messages().information(
            QStringLiteral("本服务项目累计业务发生额为：") + QString::number(totals.received.total) +
                QStringLiteral("元,项目提成合计为：") + QString::number(totals.commission.total) + kYuan,
            QStringLiteral("信息"));
}

void SalaryWindow::computePay()
{
    save_->setFocus();
    const Pay pay = SalaryService::computePay(statement());
    computed_.reset();
    if (!pay.inRange) {
        ctx_.messages().critical(QStringLiteral("工资金额超出范围，无法计算！"), kError);
        return;
    }
    setPay(pay.grossText, pay.netText);
    if (counted_ && counted_->name == name())
        computed_ = statement();
}

void SalaryWindow::saveStatement()
{
    if (name().isEmpty())
        return;
    // A failure leaves the fields as typed, so nothing is lost.
    if (!ctx_.wrote(service_.save(statement()), {SalaryService::kSalary}))
        return;
    clear_salary_fields();
    fields_->widget("txt_ti_je")->setFocus();
}

void SalaryWindow::deleteStatement()
{
    bg_->deleteSelected(QStringLiteral("真的想删除所选项的记录吗？"), QStringLiteral("删除"));
}

void SalaryWindow::findByName()
{
    bg_->search({QStringLiteral("请输入要查询的员工的姓名:"), QStringLiteral("查询"), pay::kName,
                 QStringLiteral("找不到相应的记录!"), QString()});
}

void SalaryWindow::showEmployeeBusiness()
{
    const QString n = name();
    if (n.isEmpty())
        salesBg_->refresh();
    else
        salesBg_->setSource(SalaryService::employeeBusiness(n));
}

std::optional<SalarySlip> SalaryWindow::slipToPrint(bool sayWhyNot)
{
    SalarySlip slip;
    slip.company = ctx_.shopSettings().companyName();
    slip.printedOn = ctx_.today();
    if (!name().isEmpty()) {
        // What was computed, or nothing: a slip must not mix a period with
        // figures that do not come from it.
        if (!counted_ || !computed_ || !(*computed_ == statement())) {
            if (sayWhyNot)
                ctx_.messages().critical(
                    QStringLiteral("工资单还没有计算：请先按“确定”统计提成，再在“罚款”中按回车"
                                   "计算工资，然后打印！"),
                    kPrintCaption);
            return std::nullopt;
        }
        slip.statement = *computed_;
        slip.from = counted_->from;
        slip.to = counted_->to;
        slip.commissionTyped = numericValue(computed_->commission) != numericValue(counted_->commission);
        return slip;
    }
    // Read afresh: the row may have been deleted since the grid read it.
    const auto current = bg_->currentRecord();
    const auto stored = current ? service_.stored(current->rowid) : DbValue<SalaryStatement>();
    if (stored.failed()) {
        ctx_.messages().databaseError(stored.error());
        return std::nullopt;
    }
    if (!stored.found()) {
        if (sayWhyNot)
            ctx_.messages().critical(
                QStringLiteral("没有可打印的工资单：请先填写工资单，或在表格中选择一条工资记录！"),
                kPrintCaption);
        return std::nullopt;
    }
    slip.statement = *stored;
    return slip;
}

void SalaryWindow::printStatement()
{
    PrintService& printing = ctx_.printing();
    if (!printing.hasPrinter()) {
        ctx_.messages().critical(
            QStringLiteral("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！"),
            QStringLiteral("打印错误"));
        // A shop without a printer still needs a slip there is; with none,
        // the message ends it.
        if (const auto slip = slipToPrint(false))
            offerPdf(*slip);
        return;
    }
    const auto slip = slipToPrint(true);
    if (!slip)
        return;
    const auto document = salarySlipDocument(*slip);
    // A cancelled dialog is the user's choice; a failed print is said, so
    // nobody takes the slip for printed.
    if (printing.print(*document, salarySlipTitle()) == PrintResult::Failed)
        ctx_.messages().critical(QStringLiteral("打印失败，工资单没有打印出来！请检查打印机后重试。"),
                                 QStringLiteral("打印错误"));
}

void SalaryWindow::previewStatement()
{
    // The preview needs no printer: the pages are drawn on the screen.
    const auto slip = slipToPrint(true);
    if (!slip)
        return;
    const auto document = salarySlipDocument(*slip);
    if (ctx_.printing().preview(*document, salarySlipTitle()) == PrintResult::Failed)
        ctx_.messages().critical(QStringLiteral("打印失败，工资单没有打印出来！请检查打印机后重试。"),
                                 QStringLiteral("打印错误"));
}

void SalaryWindow::offerPdf(const SalarySlip& slip)
{
    MessageService& m = ctx_.messages();
    if (!m.question(QStringLiteral("是否将工资单另存为PDF文件？"), kPrintCaption))
        return;
    const QString file =
        chooseDocumentFile(ctx_, QStringLiteral("另存为PDF"), slip.statement.name + ctx_.today(),
                           QStringLiteral(".pdf"), QStringLiteral("PDF 文件 (*.pdf)"));
    if (file.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(file);
    const auto document = salarySlipDocument(slip);
    if (const SaveOutcome saved = ctx_.printing().saveAsPdf(*document, file); !saved)
        m.critical(QStringLiteral("无法保存PDF文件：\n%1\n%2").arg(shown, saved.failure), kError);
    else
        m.information(QStringLiteral("工资单已保存为PDF文件：\n") + shown, QStringLiteral("信息"));
}

} // namespace shop

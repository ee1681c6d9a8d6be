#include "employee_tab.h"

#include "data/schema.h"
#include "ui/field_set.h"
#include "ui/keyed_rows.h"
#include "ui/record_view.h"

#include <QAction>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace shop {

namespace {
namespace worker = schema::worker;
const QString kInfo = QStringLiteral("信息");
} // namespace

EmployeeTab::EmployeeTab(AppContext& ctx, QWidget* parent) : TabPage(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("worker_page"));

    // Twelve free-text fields in column order, three to a row, the address
    // across a whole row.
    // clang-format off
    const QList<FieldDef> defs = {
        {.name = "worker_name", .label = "姓   名", .column = worker::kName},
        {.name = "worker_sex", .label = "性   别", .column = worker::kSex, .col = 1},
        {.name = "worker_bron", .label = "出生年月", .column = worker::kBorn, .col = 2},
        {.name = "worker_xueli", .label = "学   历", .column = worker::kEducation, .row = 1},
        {.name = "worker_hukou", .label = "户   籍", .column = worker::kHukou, .row = 1, .col = 1},
        {.name = "worker_hunyin", .label = "婚姻状况", .column = worker::kMarriage, .row = 1, .col = 2},
        {.name = "worker_jiwei", .label = "职   位", .column = worker::kPosition, .row = 2},
        {.name = "worker_salary", .label = "薪   金", .column = worker::kPay, .row = 2, .col = 1},
        {.name = "worker_tel", .label = "联系电话", .column = worker::kPhone, .row = 2, .col = 2},
        {.name = "worker_indate", .label = "入职日期", .column = worker::kHired, .kind = FieldKind::Date, .row = 3},
        {.name = "worker_id", .label = "身份证号码", .column = worker::kId, .row = 3, .col = 1, .span = 2},
        {.name = "worker_address", .label = "家庭住址", .column = worker::kAddress, .row = 4, .span = 3},
    };
    // clang-format on
    fields_ = new FieldSet(ctx_, this, ctx_.business().columns(kTable), defs);
    name_ = fields_->as<QLineEdit>("worker_name");

    buttons_ = entryButtons("cmd_worker_save", "cmd_worker_del", "cmd_worker_modi", "cmd_worker_query",
                            "cmd_worker_exit", {"保存", "删除", "修改", "查询", "退出"});
    grid_ = namedGrid(ctx_, ctx_.business(), kTable, "worker_bg", "Data2");
    setStateGrid(grid_);
    entryLayout(this, fields_->layout(), buttons_, grid_);
    // Enter in the address reaches 保存 only while it is enabled.
    fields_->chainTo(buttons_.save);

    // The number is the key: an in-place edit may not give one employee
    // another's number.
    grid_->refuseDuplicateEdits(worker::kId, QStringLiteral("此身份证号码已存在，不能重复！"));

    keyed_ = std::make_unique<KeyedRows>(*grid_, *fields_);
    keyed_->setClear([this] {
        fields_->clear();
        fields_->setText("worker_indate", ctx_.today());
        name_->setFocus();
    });

    connect(name_, &QLineEdit::textChanged, this,
            [this](const QString& t) { buttons_.save->setEnabled(!t.isEmpty()); });
    connect(grid_, &RecordView::rowClicked, this, &EmployeeTab::showClickedWorker);
    connect(buttons_.save, &QPushButton::clicked, this, &EmployeeTab::saveWorker);
    connect(buttons_.modify, &QPushButton::clicked, this, &EmployeeTab::modifyWorker);
    connect(buttons_.remove, &QPushButton::clicked, this, &EmployeeTab::deleteWorker);
    connect(buttons_.query, &QPushButton::clicked, this, &EmployeeTab::queryWorkers);
    closesWith(buttons_.exit, [this] { clear_worker_fields(); });
    for (QPushButton* b : {buttons_.modify, buttons_.remove, buttons_.query})
        grid_->addStateItem(b);

    // The headers sort nothing.
    grid_->setSortMap({}, UnmappedHeader::Ignore);
    grid_->setAllowUpdate(false);
    grid_->refresh();
    fields_->setText("worker_indate", ctx_.today());
    buttons_.save->setEnabled(false);
    updateStates();
}

EmployeeTab::~EmployeeTab() = default;

void EmployeeTab::setContextMenu(QMenu* menu)
{
    TabPage::setContextMenu(menu);
    const auto items =
        grid_->adoptMenu(menu, {"lock_txt", "edit_txt", "d_fresh"}, LockKind::Plain, AdoptedLock::LockGrid);
    if (items.refresh) {
        // Every row shows, and the fields empty.
        connect(items.refresh, &QAction::triggered, this, &EmployeeTab::clear_worker_fields);
        grid_->addStateItem(items.refresh);
    }
    updateStates();
}

void EmployeeTab::showTab()
{
    fields_->setText("worker_indate", ctx_.today());
    buttons_.save->setEnabled(false);
    name_->setFocus();
}

void EmployeeTab::clear_worker_fields()
{
    keyed_->clear();
}

void EmployeeTab::saveWorker()
{
    KeyedSave how{{worker::kId, worker::kName},
                  QStringLiteral("请输入完整的数据！"),
                  {worker::kId},
                  QStringLiteral("此员工资料已存在，你想修改它吗？"),
                  kInfo};
    // The number is looked up with every employee shown.
    how.showAllFirst = true;
    if (keyed_->save(how) == KeyedRows::Saved::Incomplete)
        name_->setFocus();
}

void EmployeeTab::modifyWorker()
{
    // Only an employee the grid shows can be changed, and only with the
    // number that found it: the number itself cannot be changed here.
    KeyedModify how{{worker::kId}};
    how.notFound = QStringLiteral("身份证是唯一标识，目前不能修改！");
    how.doneCaption = kInfo;
    how.withinGrid = true;
    keyed_->modify(how);
}

void EmployeeTab::deleteWorker()
{
    grid_->deleteSelected(QStringLiteral("你真的想删除所选的记录吗？"), kInfo);
    grid_->rerun();
    clear_worker_fields();
}

void EmployeeTab::queryWorkers()
{
    clear_worker_fields();
    grid_->refresh();
    grid_->search({QStringLiteral("请输入要查询的姓名："), QStringLiteral("查询"), worker::kName,
                   QStringLiteral("没有找到相应的记录！"), QStringLiteral("错误")});
}

void EmployeeTab::showClickedWorker(const Record& record)
{
    keyed_->showStored(record.rowid);
}

} // namespace shop

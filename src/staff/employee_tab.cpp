#include "employee_tab.h"

#include "ui/field_set.h"
#include "ui/keyed_rows.h"
#include "ui/record_view.h"

#include <QAction>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace shop {

namespace {
const QString kId = QStringLiteral("身份证号码");
const QString kName = QStringLiteral("姓名");
const QString kInfo = QStringLiteral("信息");
} // namespace

EmployeeTab::EmployeeTab(AppContext& ctx, QWidget* parent) : TabPage(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("worker_page"));

    // Twelve free-text fields in column order, three to a row, the address
    // across a whole row.
    fields_ = new FieldSet(ctx_, this, ctx_.business().columns(kTable),
                           {
                               {"worker_name", "姓   名", kName, {}, FieldKind::Line, 0, 0},
                               {"worker_sex", "性   别", "性别", {}, FieldKind::Line, 0, 1},
                               {"worker_bron", "出生年月", "出生年月", {}, FieldKind::Line, 0, 2},
                               {"worker_xueli", "学   历", "学历", {}, FieldKind::Line, 1, 0},
                               {"worker_hukou", "户   籍", "户籍", {}, FieldKind::Line, 1, 1},
                               {"worker_hunyin", "婚姻状况", "婚姻状况", {}, FieldKind::Line, 1, 2},
                               {"worker_jiwei", "职   位", "职位", {}, FieldKind::Line, 2, 0},
                               {"worker_salary", "薪   金", "薪金", {}, FieldKind::Line, 2, 1},
                               {"worker_tel", "联系电话", "联系电话", {}, FieldKind::Line, 2, 2},
                               {"worker_indate", "入职日期", "入职日期", {}, FieldKind::Date, 3, 0},
                               {"worker_id", "身份证号码", kId, {}, FieldKind::Line, 3, 1, 2},
                               {"worker_address", "家庭住址", "家庭住址", {}, FieldKind::Line, 4, 0, 3},
                           });
    name_ = fields_->as<QLineEdit>("worker_name");

    buttons_ = entryButtons("cmd_worker_save", "cmd_worker_del", "cmd_worker_modi", "cmd_worker_query",
                            "cmd_worker_exit");
    buttons_.save->setText(QStringLiteral("保存"));
    buttons_.remove->setText(QStringLiteral("删除"));
    buttons_.modify->setText(QStringLiteral("修改"));
    buttons_.query->setText(QStringLiteral("查询"));
    buttons_.exit->setText(QStringLiteral("退出"));
    grid_ = new RecordView(ctx_, ctx_.business(), kTable);
    grid_->setObjectName(QStringLiteral("worker_bg"));
    grid_->records()->setObjectName(QStringLiteral("Data2"));
    entryLayout(this, fields_->layout(), buttons_, grid_);
    // Enter in the address reaches 保存 only while it is enabled.
    fields_->chainTo(buttons_.save);

    // The number is the key: an in-place edit may not give one employee
    // another's number.
    grid_->refuseDuplicateEdits(kId, QStringLiteral("此身份证号码已存在，不能重复！"));

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
    connect(buttons_.exit, &QPushButton::clicked, this, [this] {
        clear_worker_fields();
        emit closeRequested();
    });
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
    if (!menu)
        return;
    grid_->setPopupMenu(menu);
    auto item = [menu](const char* name) { return menu->findChild<QAction*>(QLatin1String(name)); };
    QAction* lock = item("lock_txt");
    QAction* edit = item("edit_txt");
    QAction* refresh = item("d_fresh");
    if (lock && edit) {
        grid_->setLockPair(lock, edit, LockKind::Plain);
        grid_->lock();
    }
    if (refresh) {
        connect(refresh, &QAction::triggered, this, &EmployeeTab::refreshWorkers);
        grid_->addStateItem(refresh);
    }
    updateStates();
}

void EmployeeTab::showTab()
{
    fields_->setText("worker_indate", ctx_.today());
    buttons_.save->setEnabled(false);
    name_->setFocus();
}

void EmployeeTab::updateStates()
{
    grid_->updateItemStates();
}

void EmployeeTab::clear_worker_fields()
{
    keyed_->clear();
}

void EmployeeTab::saveWorker()
{
    KeyedSave how{{kId, kName},
                  QStringLiteral("请输入完整的数据！"),
                  {kId},
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
    KeyedModify how{{kId}};
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
    grid_->search({QStringLiteral("请输入要查询的姓名："), QStringLiteral("查询"), kName,
                   QStringLiteral("没有找到相应的记录！"), QStringLiteral("错误")});
}

void EmployeeTab::refreshWorkers()
{
    grid_->refresh();
    clear_worker_fields();
}

void EmployeeTab::showClickedWorker(const Record& record)
{
    keyed_->showStored(record.rowid);
}

} // namespace shop

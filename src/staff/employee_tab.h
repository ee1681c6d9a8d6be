#pragma once

#include "data/schema.h"
#include "ui/app_context.h"
#include "ui/tab_page.h"
#include "ui/widgets.h"

#include <memory>

class QLineEdit;

namespace shop {

class FieldSet;
class KeyedRows;
class RecordView;
struct Record;

// Frame_worker: the employees of `worker`, told apart by the identity-card
// number. Their names fill the employee lists of the other windows. The grid
// opens the main window's menu "表格" (lock, edit, refresh); the main
// window's 100 ms timer keeps the button states.
class EmployeeTab : public TabPage {
    Q_OBJECT
public:
    static inline const QString kTable = schema::worker::kTable;

    EmployeeTab(AppContext& ctx, QWidget* parent = nullptr);
    ~EmployeeTab() override;

    void showTab() override;
    void setContextMenu(QMenu* menu) override;

    RecordView* grid() const { return grid_; }

    // Procedures of the tab.
    void clear_worker_fields();

private:
    void saveWorker();
    void modifyWorker();
    void deleteWorker();
    void queryWorkers();
    void showClickedWorker(const Record& record);

    AppContext& ctx_;
    FieldSet* fields_ = nullptr;
    QLineEdit* name_ = nullptr; // worker_name
    EntryButtons buttons_;
    RecordView* grid_ = nullptr; // worker_bg
    std::unique_ptr<KeyedRows> keyed_;
};

} // namespace shop

#pragma once

#include "data/schema.h"
#include "ui/app_context.h"
#include "ui/tab_page.h"
#include "ui/widgets.h"

class QLineEdit;

namespace shop {

class FieldSet;
class RecordView;

// frame_shouzhi: the cash ledger of `shouzhi`. Entries are stored as typed,
// corrected only in the unlocked grid, deleted one at a time and totalled
// over a period. The grid opens the main window's menu "表格2" (the full
// lock pair and refresh); the main window's 100 ms timer keeps the states.
class LedgerTab : public TabPage {
    Q_OBJECT
public:
    static inline const QString kTable = schema::shouzhi::kTable;

    LedgerTab(AppContext& ctx, QWidget* parent = nullptr);

    void showTab() override;
    void setContextMenu(QMenu* menu) override;

    RecordView* grid() const { return grid_; }

    // Procedures of the tab: empties the entry fields, today in the date.
    void clear_fields();

private:
    void saveEntry();
    void clearForEntry();
    void deleteEntry();
    void periodTotal();

    AppContext& ctx_;
    FieldSet* fields_ = nullptr;
    QLineEdit* from_ = nullptr; // txt_from
    QLineEdit* to_ = nullptr;   // txt_to
    EntryButtons buttons_;
    RecordView* grid_ = nullptr; // shou_bg
};

} // namespace shop

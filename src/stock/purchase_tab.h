#pragma once

#include "purchase_service.h"

#include "data/record_model.h"
#include "ui/app_context.h"
#include "ui/tab_page.h"

#include <optional>

class QLineEdit;
class QPushButton;

namespace shop {

class FieldSet;
class RecordView;

// The purchase tab: goods lines of `jinhuo` are created (with their history
// row), topped up with stock, overwritten, deleted and found by name. The
// add button either adds goods or, after a match, adds stock to the line
// matched when that mode was entered; its caption shows which.
class PurchaseTab : public TabPage {
    Q_OBJECT
public:
    static inline const QString kAddCaption = QStringLiteral("增加(&A)");
    static inline const QString kAddStockCaption = QStringLiteral("添加库存量");

    PurchaseTab(AppContext& ctx, QWidget* parent = nullptr);

    void showTab() override;
    void updateStates() override;

    RecordView* grid() const { return grid_; }
    bool inAddStockMode() const { return stockLine_.has_value(); }

    // Operations of the buttons (the query button's two mouse paths are
    // findByName and rerunQuery).
    void addGoods();
    void commitAddedStock();
    void modifyLine();
    void deleteLine();
    void findByName();
    void rerunQuery();
    void clearRefresh();
    void loadRow(const Record& record);

    // Procedures of the tab.
    // Empties the fields, puts today into the date and the focus on the name.
    void clear_fields();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The line add-stock mode works on, as matched when the mode was entered.
    struct StockLine {
        qint64 rowid = 0;
    };

    QLineEdit* field(const char* name) const;
    // Enters add-stock mode on a line, or leaves it; the add button's
    // caption follows.
    void setMode(std::optional<StockLine> line);
    // Tells every view of the table (this grid included) and updates the states.
    void afterWrite(const QStringList& tables);
    void showNotFoundFallback();

    AppContext& ctx_;
    PurchaseService service_;
    FieldSet* fields_ = nullptr;
    RecordView* grid_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* modify_ = nullptr;
    QPushButton* query_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* exit_ = nullptr;
    std::optional<StockLine> stockLine_;
    // The line last loaded from the grid (modify writes it while its name
    // and code stand in the fields).
    std::optional<qint64> loadedRowid_;
};

} // namespace shop

#pragma once

#include "ui/app_context.h"
#include "ui/tab_page.h"
#include "data/record_model.h"

#include <optional>

class QLineEdit;
class QPushButton;

namespace shop {

class EnterChain;
class RecordView;

// The purchase tab: goods lines of `jinhuo` are created (with their history
// row), topped up with stock, overwritten, deleted and found by name. The
// caption of `cmd_add` is the mode: add goods, or add stock to the line
// matched when the mode was entered.
class PurchaseTab : public TabPage {
    Q_OBJECT
public:
    static inline const QString kAddCaption = QStringLiteral("增加(&A)");
    static inline const QString kAddStockCaption = QStringLiteral("添加库存量");

    PurchaseTab(AppContext& ctx, QWidget* parent = nullptr);

    void showTab() override;
    void updateStates() override;

    RecordView* grid() const { return grid_; }
    bool inAddStockMode() const;

    // Operations of the buttons (the query button's two mouse paths are
    // findByName and rerunQuery).
    void addGoods();
    void commitAddedStock();
    void modifyLine();
    void deleteLine();
    void findByName();
    void rerunQuery();
    void clearRefresh();
    void exitTab();
    void loadRow(const Record& record);

    // Empties the fields, puts today into the date and the focus on the name.
    void clear_fields();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The line add-stock mode works on, as matched when the mode was entered.
    struct StockLine {
        qint64 rowid = 0;
    };

    QLineEdit* field(int column) const { return fields_.at(column); }
    QStringList fieldValues() const;
    void setMode(bool addStock);
    // Re-runs the grid after a write and tells other views of the table.
    void afterWrite(const QString& table);
    void showNotFoundFallback();

    AppContext& ctx_;
    RecordView* grid_ = nullptr;
    QList<QLineEdit*> fields_;
    QPushButton* cmdAdd_ = nullptr;
    QPushButton* cmdDel_ = nullptr;
    QPushButton* cmdModify_ = nullptr;
    QPushButton* cmdQuery_ = nullptr;
    QPushButton* cmdClear_ = nullptr;
    QPushButton* cmdExit_ = nullptr;
    EnterChain* chain_ = nullptr;
    std::optional<StockLine> stockLine_;
    // The line last loaded from the grid (modify writes it while its name
    // and code stand in the fields).
    qint64 loadedRowid_ = 0;
};

} // namespace shop

#pragma once

#include "data/schema.h"
#include "ui/app_context.h"
#include "ui/record_view.h"
#include "ui/widgets.h"

#include <QWidget>

#include <memory>
#include <optional>

class QLineEdit;
class QMenu;

namespace shop {

class FieldSet;
class KeyedRows;

// The customer window: adds, changes, deletes and finds the customers of
// `guke`. A customer is told apart by number and name together; the number
// box is locked while a stored customer is shown.
class CustomerWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString kTable = schema::guke::kTable;

    explicit CustomerWindow(AppContext& ctx, QWidget* parent = nullptr);
    ~CustomerWindow() override;

    RecordView* grid() const { return grid_; }
    bool numberLocked() const { return numberLocked_; }

    // Procedures of the window.
    void clear_guke_fields();
    // Shows a stored customer (rowid and its eight values) and locks the number.
    void show_guke(qint64 rowid, const QStringList& customer);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void saveCustomer();
    void modifyCustomer();
    void deleteCustomer();
    void queryCustomers();
    void showClickedCustomer(const Record& record);
    void setNumberLocked(bool locked);
    Database& db() { return ctx_.business(); }

    AppContext& ctx_;
    FieldSet* fields_;
    QLineEdit* number_; // txt_guke_num
    EntryButtons buttons_;
    RecordView* grid_; // bg
    QMenu* gridMenu_;  // eidt_bg
    std::unique_ptr<KeyedRows> keyed_;
    bool numberLocked_ = false;
};

} // namespace shop

#pragma once

#include "ui/app_context.h"
#include "ui/record_view.h"

#include <QWidget>

#include <optional>

class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace shop {

class EnterChain;

// The customer window: adds, changes, deletes and finds the customers of
// `guke`. A customer is told apart by number and name together; the number
// box is locked while a stored customer is shown.
class CustomerWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString kTable = QStringLiteral("guke");

    explicit CustomerWindow(AppContext& ctx, QWidget* parent = nullptr);

    RecordView* grid() const { return bg_; }
    bool numberLocked() const { return numberLocked_; }

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
    void timerTick();
    void setNumberLocked(bool locked);
    QStringList fieldValues() const;
    Database& db() { return ctx_.business(); }

    AppContext& ctx_;
    QLineEdit* txt_guke_num_;
    QLineEdit* txt_guke_name_;
    QLineEdit* txt_guke_sex_;
    QLineEdit* txt_guke_bron_;
    QLineEdit* txt_guke_tel_;
    QLineEdit* txt_guke_creat_;
    QLineEdit* txt_guke_address_;
    QLineEdit* txt_guke_person_;
    QPushButton* cmd_guke_save_;
    QPushButton* cmd_guke_del_;
    QPushButton* cmd_guke_mod_;
    QPushButton* cmd_guke_query_;
    QPushButton* cmd_guke_exit_;
    RecordView* bg_;
    QMenu* eidt_bg_;
    EnterChain* chain_;
    QTimer* timer_;
    bool numberLocked_ = false;
    // The stored row the fields show, while the number box is locked.
    std::optional<qint64> shownRowid_;
};

} // namespace shop

#pragma once

#include "ui/app_context.h"
#include "sale_service.h"

#include <QMainWindow>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace shop {

class EnterChain;
class RecordView;
class WorkerBox;

// The business entry window: the entry of one transaction with its card and
// product lookups, the save, and the grid of the period's transactions with
// the daily total, delete and query by card.
class BusinessWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit BusinessWindow(AppContext& ctx, QWidget* parent = nullptr);

    RecordView* grid() const { return bg_; }
    // The commission that the next save writes.
    qint64 pendingCommission() const { return commission_; }

    // Procedures of the window, by the names the shop's staff know them.
    void open_data();
    void card_lookup();
    void clear_card_panels();
    void product_lookup();
    void quantity_check();
    void fill_worker_list();
    void clear_entry();
    void cmd_save();
    void cmd_count();
    void cmd_del();
    void cmd_query();
    // 撤销: voids the selected sale (supervisors only).
    void cmd_void();
    // A service for a booking that arrived: its card, service item and
    // employee filled in; the sale, once stored, completes the booking.
    Q_INVOKABLE void fillFromBooking(qint64 booking, const QString& card, const QString& serviceItem,
                                     const QString& employee);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildForm();
    void askCommission();
    // What became of a void of the sale holding `values`, said.
    void reportVoid(const VoidOutcome& out, const QStringList& values);
    SaleEntry entry() const;
    // Says why an entry cannot be saved and does what goes with it (the
    // quantity check and the save share these).
    void say(SaleRefusal refusal);
    // Shows what a refused or failed save says and does to the entry;
    // returns true when the save may go on.
    bool handle(const SaleOutcome& outcome);
    QString countTip() const;

    AppContext& ctx_;
    SaleService service_;
    qint64 commission_ = 0;
    // The booking being served and its card (another card typed in is
    // another customer's sale, which completes no booking).
    qint64 booking_ = 0;
    QString bookingCard_;
    bool commissionRefused_ = false;

    QCheckBox* goodsSale_ = nullptr;    // shangpin
    QCheckBox* otherService_ = nullptr; // qita
    QLineEdit* cardNumber_ = nullptr;
    QLineEdit* productCode_ = nullptr;
    QLineEdit* quantity_ = nullptr;
    QLineEdit* money_ = nullptr;
    QLineEdit* serviceItem_ = nullptr;
    QLineEdit* remark_ = nullptr;
    QLabel* productName_ = nullptr;
    QLabel* purchaseDate_ = nullptr; // lab_indate
    QLabel* retailPrice_ = nullptr;
    WorkerBox* worker_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* void_ = nullptr; // cmd_void
    QAction* voidItem_ = nullptr; // void_sale in the grid's popup
    QPushButton* query_ = nullptr;
    QPushButton* count_ = nullptr;
    QPushButton* exit_ = nullptr;
    RecordView* bg_ = nullptr;
    QLabel* panels_[4] = {};
    EnterChain* chain_ = nullptr;
};

} // namespace shop

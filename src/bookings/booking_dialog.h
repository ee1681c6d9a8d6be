#pragma once

#include "data/bookings.h"
#include "ui/app_context.h"

#include <QWidget>

class QLabel;
class QLineEdit;

namespace shop {

class EnterChain;
class WorkerBox;

// frm_yuyue_edit: a new booking, or a change of one. The card number is
// looked up on Enter (the holder's name and visits shown); the service
// item proposes how long it was last booked for. 保存 stores it, or says
// in Chinese why not and keeps what was typed.
class BookingDialog : public QWidget {
    Q_OBJECT
public:
    // A new booking of `employee` on `date` at `start`.
    BookingDialog(AppContext& ctx, const QString& date, const QString& start, const QString& employee,
                  QWidget* parent = nullptr);
    // A change of `booking`.
    BookingDialog(AppContext& ctx, const bookings::Booking& booking, QWidget* parent = nullptr);

    // The words for a refusal of a booking or of a change of its state.
    static QString refusalText(const bookings::Outcome& o, const bookings::Hours& hours, const QString& today,
                               const QString& action = {});

signals:
    // Stored: the booking's rowid.
    void saved(qint64 rowid);

private:
    void build(const QString& caption);
    void card_lookup();
    void serviceEntered();
    void save();
    void showVisits(const QString& number);

    AppContext& ctx_;
    qint64 rowid_ = 0;
    QLineEdit* card_ = nullptr;    // txt_card
    QLineEdit* name_ = nullptr;    // txt_name
    QLineEdit* phone_ = nullptr;   // txt_phone
    QLineEdit* service_ = nullptr; // txt_service
    WorkerBox* worker_ = nullptr;  // com_name
    QLineEdit* date_ = nullptr;    // txt_date
    QLineEdit* start_ = nullptr;   // txt_start
    QLineEdit* minutes_ = nullptr; // txt_minutes
    QLineEdit* remark_ = nullptr;  // txt_remark
    QLabel* visits_ = nullptr;     // lab_visits
    EnterChain* chain_ = nullptr;
    // The length proposed last (a length the person typed is kept).
    QString proposed_;
};

} // namespace shop

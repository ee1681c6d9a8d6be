#pragma once

#include "data/bookings.h"
#include "ui/app_context.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace shop {

class DayModel;
class RecordView;

// 预约管理: one day's bookings, a column per employee and a row per slot,
// with the day's list below. A booking is added in an empty cell (double
// click or Enter) and changed in its own; it arrives, becomes a sale through
// the business entry, is cancelled with a reason or marked as not come.
// The day moves by 今天, 前一天, 后一天 (Ctrl+PgUp, Ctrl+PgDown) or a date
// typed in.
class BookingWindow : public QWidget {
    Q_OBJECT
public:
    explicit BookingWindow(AppContext& ctx, QWidget* parent = nullptr);

    QString shownDate() const { return date_; }
    DayModel* day() const { return model_; }

    // Shows a day (a date text); false, said, when it cannot be read.
    bool showDay(const QString& date);

private:
    void showTyped();
    void moveDays(int days);
    // Reads the shown day again, keeping the cell the person was on.
    void reload();
    // The booking of the current cell, if any (read as stored now).
    std::optional<bookings::Booking> current() const;
    void openCell();
    void addBooking();
    void editBooking();
    void arrive();
    void startSale();
    void cancelBooking();
    void markNoShow();
    void offerNoShows();
    void printSheet();
    void saveSheet();
    void exportDay();
    // Says what a change of state came to; true when it was made.
    bool said(const bookings::Outcome& o, const QString& action);
    void showSummary();

    AppContext& ctx_;
    QString date_;
    bookings::Hours hours_;
    QLineEdit* dateBox_ = nullptr; // txt_date
    QTableView* view_ = nullptr;   // day_bg
    DayModel* model_ = nullptr;
    RecordView* list_ = nullptr; // bg
    QLabel* summary_ = nullptr;  // lab_summary
    QPushButton* noShows_ = nullptr;
};

} // namespace shop

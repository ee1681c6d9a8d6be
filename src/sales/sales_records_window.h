#pragma once

#include "ui/browser_window.h"

class QLineEdit;
class QPushButton;

namespace shop {

class WorkerBox;

// `frm_salse`: the recorded business transactions, read-only, with the total
// received over a date range for all employees or for one, and searches by
// card number, product code and goods name.
class SalesRecordsWindow : public BrowserWindow {
    Q_OBJECT
public:
    explicit SalesRecordsWindow(AppContext& ctx, QWidget* parent = nullptr);

    // Procedures of the window, by the names the shop's staff know them.
    void open_data();
    void cmd_search();

    // The sales of one day, that day in both range boxes (the overview's
    // day bars open the window so).
    void showDay(const QString& date);

private:
    WorkerBox* worker_ = nullptr;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QPushButton* search_ = nullptr;
};

} // namespace shop

#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace shop {

class AppContext;

// frmsetup: shows the file locations and lets the company name and the
// receipt settings be edited;
// saving says so through the context's settings-changed signal.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(AppContext& ctx, QWidget* parent = nullptr);

private:
    void edit();
    void save();
    QGroupBox* buildReceipts();
    QGroupBox* buildHours();

    AppContext& ctx_;
    QLineEdit* dpath_;
    QLineEdit* spath_;
    QLineEdit* wno_;
    QLineEdit* company_;
    QGroupBox* receipts_ = nullptr;
    QCheckBox* receiptOn_ = nullptr; // chk_receipt
    QComboBox* paper_ = nullptr;     // cbo_paper
    QComboBox* printer_ = nullptr;   // cbo_printer
    QLineEdit* footer_ = nullptr;    // txt_footer
    QLineEdit* lowStock_;
    QGroupBox* hours_ = nullptr;
    QLineEdit* open_ = nullptr;  // txt_open
    QLineEdit* close_ = nullptr; // txt_close
    QComboBox* slot_ = nullptr;  // cbo_slot
    QPushButton* cmsave_;
};

} // namespace shop

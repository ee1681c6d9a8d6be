#pragma once

#include "data/import_preview.h"
#include "ui/app_context.h"

#include <QList>
#include <QTimer>
#include <QWidget>

#include <memory>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;

namespace shop {

class ImportRowsModel;

// frm_import (导入): a shop's goods, cards, customers or employees from a
// spreadsheet's CSV file. The file is previewed with a verdict per row (the
// first screen at once, the rest read between events); the person maps or
// skips the columns the table does not know, chooses whether stored
// records are updated, and confirms. A backup is taken, the rows are
// written in one transaction with a progress bar that can cancel, and the
// refused rows can be saved as CSV to be mended and imported again.
class ImportWindow : public QWidget {
    Q_OBJECT
public:
    explicit ImportWindow(AppContext& ctx, QWidget* parent = nullptr);
    ~ImportWindow() override;

private:
    void chooseFile();
    // Opens the file for the chosen kind and shows its first screen.
    void load();
    void clearPreview();
    void buildMapping();
    void mapColumn(int fileColumn, QComboBox* box);
    void setUpdates(bool on);
    // Reads the next slice of rows; false when reading ended or failed.
    bool readSlice(qsizetype rows);
    void readOn();
    void showState();
    void startImport();
    void saveReport();

    AppContext& ctx_;
    QComboBox* kind_;    // cbo_kind
    QLineEdit* file_;    // txt_file
    QRadioButton* add_;  // opt_add
    QRadioButton* both_; // opt_update
    QGroupBox* mapping_; // grp_columns
    QGridLayout* mapGrid_;
    QLabel* state_;       // lbl_state
    QTableView* grid_;    // bg
    QPushButton* import_; // cmd_import
    QPushButton* report_; // cmd_report
    ImportRowsModel* model_;
    QTimer reader_;
    QString fileName_;
    std::unique_ptr<imports::ImportPreview> preview_;
    // The file could not be read whole: nothing of it may be imported.
    QString readError_;
    bool imported_ = false;
};

} // namespace shop

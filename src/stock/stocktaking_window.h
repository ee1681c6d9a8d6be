#pragma once

#include "data/stocktaking.h"
#include "ui/app_context.h"
#include "ui/background_read.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace shop {

class RecordView;

// Stocktaking (盘点), for supervisors: the lines to count are chosen (all,
// one supplier, a name), the count sheet is printed or saved to be counted
// on paper, the counted quantities are typed line by line (Enter goes to
// the next line), and the count is applied with a reason or cancelled. A
// count under way is shown again when the window opens, after a restart too.
class StocktakingWindow : public QWidget {
    Q_OBJECT
public:
    explicit StocktakingWindow(AppContext& ctx, QWidget* parent = nullptr);

    RecordView* grid() const { return grid_; }

    void startCount();
    void recordCounted();
    void applyCount();
    void cancelCount();
    void printSheet();
    void savePdf();
    void saveCsv();

private:
    // The sheet shown again and the buttons brought in step, after the
    // whole count changed; `totals` when they are known without a read.
    void showSheet(std::optional<counts::Totals> totals = std::nullopt);
    // The count's figures and the current line's difference.
    void showFigures();
    void showLine();
    // The sheet's rows for a document, or a message and no value.
    std::optional<QList<QStringList>> sheetRows();

    AppContext& ctx_;
    QComboBox* choice_ = nullptr;     // cmb_choice
    QLineEdit* choiceText_ = nullptr; // txt_choice
    QPushButton* start_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* print_ = nullptr;
    QPushButton* pdf_ = nullptr;
    QPushButton* csv_ = nullptr;
    QLineEdit* counted_ = nullptr; // txt_counted
    QLabel* line_ = nullptr;       // lab_line
    QLabel* totals_ = nullptr;     // lab_total
    RecordView* grid_ = nullptr;
    bool counting_ = false;
    // Kept running as lines are counted; read whole only when the window
    // opens or another writer changed the count.
    counts::Totals figures_;
    bool figuresKnown_ = false;
    bool recording_ = false; // the count's change is this window's own
    BackgroundRead<DbValue<counts::Summary>> totalsRead_;
};

} // namespace shop

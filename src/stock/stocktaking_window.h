#pragma once

#include "ui/app_context.h"

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

private:
    // The sheet shown again, the buttons and the figures brought in step.
    void showSheet();
    void showFigures();

    AppContext& ctx_;
    QComboBox* choice_ = nullptr;     // cmb_choice
    QLineEdit* choiceText_ = nullptr; // txt_choice
    QPushButton* start_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* print_ = nullptr;
    QPushButton* pdf_ = nullptr;
    QLineEdit* counted_ = nullptr; // txt_counted
    QLabel* line_ = nullptr;       // lab_line
    QLabel* totals_ = nullptr;     // lab_total
    RecordView* grid_ = nullptr;
    bool counting_ = false;
};

} // namespace shop

#pragma once

#include "salary_service.h"
#include "data/money.h"
#include "ui/app_context.h"

#include <QWidget>

#include <optional>

class QAction;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;

namespace shop {

class FieldSet;
class RecordView;
class WorkerBox;
struct SalarySlip;

// The salary window: draws up one statement for one employee from the base
// pay, the commission of the employee's business in a period and the typed
// bonuses and deductions, prints it, and keeps the saved statements.
class SalaryWindow : public QWidget {
    Q_OBJECT
public:
    explicit SalaryWindow(AppContext& ctx, QWidget* parent = nullptr);

    RecordView* grid() const { return bg_; }           // bg: saved statements
    RecordView* salesGrid() const { return salesBg_; } // salse_bg: the employee's business

    // Procedures of the window.
    void fill_worker_list();
    void show_base_pay();
    void sum_commission(const rows::RoundedTotal& total);
    void show_item_totals(const money::SalesTotals& totals);
    void clear_salary_fields();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLayout* buildEntry();
    QWidget* buildStatements();
    QWidget* buildBusinessFrame();
    void connectAll();
    // Whether a name is chosen; if not, says `missing`, shows every
    // transaction and puts the focus in the name box.
    bool nameChosen(const QString& missing);
    void employeeChosen();
    // Whether both period dates are typed in the stored form; if not, says
    // so and puts the focus in the first wrong one.
    bool periodTyped();
    void periodCommission();
    void itemTotals();
    void computePay();
    void saveStatement();
    void deleteStatement();
    void findByName();
    void showEmployeeBusiness();
    void printStatement();
    // 打印预览: the slip's pages as they will print, with or without a printer.
    void previewStatement();
    // The statement computed in the fields, else the saved one selected in
    // bg; says why there is none when asked to (a database error always).
    std::optional<SalarySlip> slipToPrint(bool sayWhyNot);
    void offerPdf(const SalarySlip& slip);
    SalaryStatement statement() const;
    QString name() const;
    void setBasePay(const QString& text);
    void setPay(const QString& gross, const QString& net);

    AppContext& ctx_;
    SalaryService service_;

    FieldSet* fields_ = nullptr;
    WorkerBox* worker_ = nullptr;    // com_name
    QLabel* basePayLabel_ = nullptr; // lab_salary
    QLabel* grossLabel_ = nullptr;   // lab_yfgz
    QLabel* netLabel_ = nullptr;     // lab_gz
    bool enterInName_ = false;
    QString basePay_;
    QString gross_;
    QString net_;
    // The period of the last 确定 that counted a commission (and what it
    // counted), and the statement as its pay was computed after it: a slip
    // printed from the fields shows these, never figures typed or counted
    // since, and marks a commission typed over the counted one.
    struct Counted {
        QString name;
        QString from;
        QString to;
        QString commission;
    };
    std::optional<Counted> counted_;
    std::optional<SalaryStatement> computed_;

    QPushButton* save_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* print_ = nullptr;
    QPushButton* preview_ = nullptr; // cmd_preview
    QPushButton* exit_ = nullptr;
    RecordView* bg_ = nullptr;
    QAction* deleteItem_ = nullptr;
    QAction* nameItem_ = nullptr;
    QAction* freshItem_ = nullptr;

    QGroupBox* frame2_ = nullptr;
    RecordView* salesBg_ = nullptr;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QLineEdit* item_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* select_ = nullptr;
    QAction* refreshAllItem_ = nullptr;
};

} // namespace shop

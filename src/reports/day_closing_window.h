#pragma once

#include "data/money.h"
#include "data/money_margin.h"
#include "ui/app_context.h"

#include <QWidget>

#include <optional>

class QLineEdit;
class QTextBrowser;

namespace shop {

class RowsGrid;
struct DayClosingPage;

// The day's closing (日结): a chosen day's takings, cards, income and
// expense, goods, employees and voids, shown as the printed report, printed,
// saved as PDF and exported as CSV. It writes nothing.
class DayClosingWindow : public QWidget {
    Q_OBJECT
public:
    explicit DayClosingWindow(AppContext& ctx, QWidget* parent = nullptr);

    // The figures shown, after the last count.
    const std::optional<money::DayClosing>& figures() const { return figures_; }

private:
    void count();
    void print();
    void savePdf();
    void saveCsv();
    // The page of the figures shown, with the margin for a supervisor.
    DayClosingPage page() const;
    // The file the person chose, or empty (cancelled, or a database file).
    QString chooseFile(const QString& caption, const QString& suffix, const QString& filter);

    AppContext& ctx_;
    QLineEdit* date_;            // txt_date
    QTextBrowser* report_;       // txt_report: the title and the day's figures
    RowsGrid* goods_;            // bg_goods
    RowsGrid* employees_;        // bg_employees
    RowsGrid* margin_ = nullptr; // bg_margin, a supervisor's only
    std::optional<money::DayClosing> figures_;
    std::optional<money::Margins> margins_; // of the same day, a supervisor's only
};

} // namespace shop

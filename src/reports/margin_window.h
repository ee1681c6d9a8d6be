#pragma once

#include "margin_document.h"
#include "ui/app_context.h"

#include <QWidget>

#include <optional>

class QLineEdit;
class QTextBrowser;

namespace shop {

// The margin report (毛利), for supervisors: the goods sold in a period with
// their money received, cost and margin, by goods and by month; printed,
// saved as PDF or CSV.
class MarginWindow : public QWidget {
    Q_OBJECT
public:
    explicit MarginWindow(AppContext& ctx, QWidget* parent = nullptr);

    void count();
    void print();
    void savePdf();
    void saveCsv();

private:
    MarginPage page() const;

    AppContext& ctx_;
    QLineEdit* from_;
    QLineEdit* to_;
    QTextBrowser* report_;
    std::optional<money::Margins> figures_;
    QString shownFrom_;
    QString shownTo_;
};

} // namespace shop

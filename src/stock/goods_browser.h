#pragma once

#include "ui/app_context.h"
#include "ui/record_view.h"

#include <QTimer>
#include <QWidget>

class QAction;

namespace shop {

// A read-only window over one goods table: the grid `bg`, the popup menu
// `S_QUERY` of searches and lists, header sorts and the 100 ms item states.
// The stock query and the purchase history are two of these.
class GoodsBrowser : public QWidget {
    Q_OBJECT
public:
    RecordView* grid() const { return bg_; }
    QMenu* menu() const { return bg_->popupMenu(); }
    QAction* item(const QString& name) const;

    // One tick of `Timer1`.
    virtual void tick();

protected:
    GoodsBrowser(AppContext& ctx, const QString& name, const QString& caption, const QString& table,
                 const QString& menuCaption, QWidget* parent);

    // A menu item that asks for an answer and filters `column`.
    QAction* addSearch(const char* name, const QString& text, const QString& prompt, const QString& title,
                       const QString& column);
    // A menu item that is enabled exactly when the grid has rows.
    QAction* addItem(const char* name, const QString& text);
    // A menu item that stays enabled (show all).
    QAction* addRefresh(const char* name, const QString& text);
    // The show-all item: every row again, never disabled.
    QAction* addShowAll(const char* name, const QString& text);
    // Runs a source; without rows says so and shows every row.
    void showOrFallBack(const RecordSource& source);

    AppContext& ctx_;
    RecordView* bg_ = nullptr;
    QTimer timer_;
};

// `frm_kucun`: goods lines by name, purchase date or code, and those with no stock.
class StockQueryWindow : public GoodsBrowser {
    Q_OBJECT
public:
    explicit StockQueryWindow(AppContext& ctx, QWidget* parent = nullptr);
};

// `frm_history`: the purchase history by seven columns.
class PurchaseHistoryWindow : public GoodsBrowser {
    Q_OBJECT
public:
    explicit PurchaseHistoryWindow(AppContext& ctx, QWidget* parent = nullptr);
    void tick() override;
};

} // namespace shop

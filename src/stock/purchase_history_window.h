#pragma once

#include "ui/browser_window.h"

namespace shop {

// `frm_history`: the purchase history by seven columns.
class PurchaseHistoryWindow : public BrowserWindow {
    Q_OBJECT
public:
    explicit PurchaseHistoryWindow(AppContext& ctx, QWidget* parent = nullptr);
};

} // namespace shop

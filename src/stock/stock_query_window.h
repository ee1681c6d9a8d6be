#pragma once

#include "ui/browser_window.h"

namespace shop {

// `frm_kucun`: goods lines by name, purchase date or code, and those with no stock.
class StockQueryWindow : public BrowserWindow {
    Q_OBJECT
public:
    explicit StockQueryWindow(AppContext& ctx, QWidget* parent = nullptr);
};

} // namespace shop

#pragma once

#include <QWidget>

namespace shop {

// Content of one of the main window's tab frames. The main window calls
// showTab() each time it shows the tab (dates filled, focus placed); the tab
// asks to be closed through closeRequested() (its own close button).
class TabPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void showTab() = 0;
    // Called by the main window's timer every 100 ms (button states).
    virtual void updateStates() {}

signals:
    void closeRequested();
};

} // namespace shop

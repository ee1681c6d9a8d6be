#pragma once

#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <functional>

class QPushButton;

namespace shop {

class RecordView;

// Content of one of the main window's tab frames. The main window calls
// showTab() each time it shows the tab (dates filled, focus placed); the tab
// asks to be closed through closeRequested() (its own close button).
class TabPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void showTab() = 0;
    // Called by the main window's timer every 100 ms: the item states of the
    // tab's grid, unless the tab keeps states of its own.
    virtual void updateStates();
    // The main window's hidden menu this tab opens over its grid, handed
    // over once, after the tab is made (none for some tabs). A tab that
    // wires it to its grid overrides this and calls the base.
    virtual void setContextMenu(QMenu* menu) { contextMenu_ = menu; }
    QMenu* contextMenu() const { return contextMenu_; }

signals:
    void closeRequested();

protected:
    // The grid whose item states updateStates() keeps.
    void setStateGrid(RecordView* grid) { stateGrid_ = grid; }
    // `exit` empties the tab with `clear`, then asks for it to be closed.
    void closesWith(QPushButton* exit, std::function<void()> clear);

private:
    QPointer<QMenu> contextMenu_;
    RecordView* stateGrid_ = nullptr;
};

} // namespace shop

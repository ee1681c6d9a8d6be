#pragma once

#include "app_context.h"
#include "record_view.h"

#include <QWidget>

class QAction;
class QLayout;
class QMenu;

namespace shop {

// What a browser window is called and what it reads.
struct BrowserSetup {
    QString name;
    QString caption;
    QString table;
    // The grid's popup menu of searches.
    QString menuName;
    QString menuCaption;
};

// A read-only window over one table: the locked grid `bg` (source `Data1`),
// its popup menu of searches and lists separated by lines, and the item
// states of `Timer1` (100 ms) that disable the searches while the grid has no
// rows. A window adds its items and its sort map, then runs its opening
// source.
class BrowserWindow : public QWidget {
    Q_OBJECT
public:
    RecordView* grid() const { return bg_; }
    QMenu* menu() const { return bg_->popupMenu(); }
    QAction* item(const QString& name) const;

protected:
    BrowserWindow(AppContext& ctx, const BrowserSetup& setup, QWidget* parent);

    // A menu item that asks for an answer and shows the rows whose `column`
    // contains it; without any it says so and shows every row.
    QAction* addSearch(const char* name, const QString& text, const QString& prompt, const QString& title,
                       const QString& column);
    // A menu item that is enabled exactly when the grid has rows.
    QAction* addItem(const char* name, const QString& text);
    // The show-all item: every row again, never disabled.
    QAction* addShowAll(const char* name, const QString& text);
    // Puts a row of controls (lists, range boxes, buttons) above the grid;
    // rows added later go below earlier ones.
    void addControlRow(QLayout* row);
    // Runs a source; without rows says so and shows every row.
    SearchResult showOrFallBack(const RecordSource& source);

    AppContext& ctx_;

private:
    QAction* addMenuItem(const char* name, const QString& text);

    RecordView* bg_ = nullptr;
};

} // namespace shop

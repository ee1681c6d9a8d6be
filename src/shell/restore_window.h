#pragma once

#include <QWidget>

class QTableWidget;

namespace shop {

class AppContext;

// frmrestore: the backups, newest first (date and time, size); one chosen is
// put in place of both database files after a question. The files it
// replaces are kept in backup/<date_time>-before-restore, so a restore can
// itself be undone from this list. On a server it lists the copies of the
// server's database and restores one in place of it.
class RestoreWindow : public QWidget {
    Q_OBJECT
public:
    explicit RestoreWindow(AppContext& ctx, QWidget* parent = nullptr);

    void fillList();

private:
    void restoreChosen();

    AppContext& ctx_;
    QTableWidget* list_;
};

} // namespace shop

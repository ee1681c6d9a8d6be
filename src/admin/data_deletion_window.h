#pragma once

#include "ui/app_context.h"

#include <QWidget>

class QListWidget;

namespace shop {

// frmdeleted: empties one business table after a question, having first
// taken a backup of both database files; every open view of the table
// re-reads at once.
class DataDeletionWindow : public QWidget {
    Q_OBJECT
public:
    explicit DataDeletionWindow(AppContext& ctx, QWidget* parent = nullptr);

private:
    void deleteChosen();

    AppContext& ctx_;
    QListWidget* list_; // List1
};

} // namespace shop

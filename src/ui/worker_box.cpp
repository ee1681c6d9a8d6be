#include "worker_box.h"

#include "widgets.h"

#include "data/table_rows.h"

#include <QFocusEvent>
#include <QSignalBlocker>

namespace shop {

WorkerBox::WorkerBox(Database& db, QWidget* parent) : QComboBox(parent), db_(db)
{
    setObjectName(QStringLiteral("com_name"));
    setEditable(true);
    // Enter moves on; it must not add the typed text to the list.
    setInsertPolicy(QComboBox::NoInsert);
    arrowsPickFromNone(this);
}

void WorkerBox::fill_worker_list()
{
    const auto names = rows::workerNames(db_);
    if (names.failed())
        return;
    if (names->isEmpty()) {
        clear();
        setEditText(QString());
        return;
    }
    QStringList shown;
    for (int i = 0; i < count(); ++i)
        shown << itemText(i);
    // An unchanged list is left alone: rebuilding it would drop the entry
    // the drop-down is about to choose.
    if (shown == *names)
        return;
    const QString text = currentText();
    const QSignalBlocker block(this);
    clear();
    addItems(*names);
    setCurrentIndex(-1);
    setEditText(text);
}

void WorkerBox::focusInEvent(QFocusEvent* e)
{
    // The focus coming back from the box's own drop-down is not a new visit.
    if (e->reason() != Qt::PopupFocusReason)
        fill_worker_list();
    QComboBox::focusInEvent(e);
}

} // namespace shop

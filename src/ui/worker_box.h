#pragma once

#include <QComboBox>

namespace shop {

class Database;

// The employee list `com_name`: editable, refilled from `worker` in stored
// order each time it receives the focus. A typed or chosen name stays; with
// no employee stored the text is emptied.
class WorkerBox : public QComboBox {
    Q_OBJECT
public:
    explicit WorkerBox(Database& db, QWidget* parent = nullptr);

    // Reads errors are ignored: the list stays as it was.
    void fill_worker_list();

protected:
    void focusInEvent(QFocusEvent* e) override;

private:
    Database& db_;
};

} // namespace shop

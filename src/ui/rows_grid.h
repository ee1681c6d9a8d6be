#pragma once

#include <QList>
#include <QStringList>
#include <QTableView>

namespace shop {

// A read-only grid of rows already worked out (a report's figures), with
// the record view's look but no table behind it. Only the rows in sight are
// laid out and painted, however many there are.
class RowsGrid : public QTableView {
    Q_OBJECT
public:
    // `figures`: the columns that hold amounts, aligned to the right.
    RowsGrid(const QString& objectName, const QStringList& headings, const QList<int>& figures = {},
             QWidget* parent = nullptr);

    void setRows(QList<QStringList> rows);
    int rowCount() const;
    QString text(int row, int column) const;

private:
    class Model;
    Model* model_;
};

} // namespace shop

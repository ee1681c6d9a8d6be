#include "rows_grid.h"

#include <QAbstractTableModel>
#include <QHeaderView>

namespace shop {

class RowsGrid::Model : public QAbstractTableModel {
public:
    Model(const QStringList& headings, const QList<int>& figures, QObject* parent)
        : QAbstractTableModel(parent), headings_(headings), figures_(figures)
    {
    }

    void setRows(QList<QStringList> rows)
    {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }
    const QList<QStringList>& rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(headings_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole)
            return rows_.at(index.row()).value(index.column());
        if (role == Qt::TextAlignmentRole && figures_.contains(index.column()))
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return headings_.value(section);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    QStringList headings_;
    QList<int> figures_;
    QList<QStringList> rows_;
};

RowsGrid::RowsGrid(const QString& objectName, const QStringList& headings, const QList<int>& figures,
                   QWidget* parent)
    : QTableView(parent), model_(new Model(headings, figures, this))
{
    setObjectName(objectName);
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false);
    // As the record view: a fixed row height, no row numbers.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
}

void RowsGrid::setRows(QList<QStringList> rows)
{
    model_->setRows(std::move(rows));
}

int RowsGrid::rowCount() const
{
    return model_->rowCount();
}

QString RowsGrid::text(int row, int column) const
{
    return model_->rows().value(row).value(column);
}

} // namespace shop

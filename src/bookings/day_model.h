#pragma once

#include "data/bookings.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

namespace shop {

// The day view's cells: a column per employee (in the order given, then
// the employees only bookings still name, then one for bookings without an
// employee), a row per slot from the opening to the closing time (widened
// to take in bookings outside them). A cell lists the bookings that cover
// its slot: in full in the slot a booking starts, as 〃 in the slots after.
class DayModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // The day's bookings (in time order) over these employees and hours.
    void show(const QStringList& employees, const bookings::Hours& hours,
              const QList<bookings::Booking>& day);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The employee of a column (empty: none) and the start of a row's slot.
    QString employeeAt(int column) const { return employees_.value(column); }
    QString slotAt(int row) const { return slots_.value(row); }
    int slotMinutes() const { return slot_; }
    // The first booking of a cell, if any.
    const bookings::Booking* bookingAt(const QModelIndex& index) const;
    // The cell where a booking starts (invalid when it is not shown).
    QModelIndex cellOf(qint64 rowid) const;
    const QList<bookings::Booking>& day() const { return day_; }

private:
    QStringList employees_;
    QStringList headers_;
    QStringList slots_;
    int firstMinute_ = 0;
    int slot_ = 30;
    QList<bookings::Booking> day_;
    // Per cell (row * columns + column): the bookings covering it.
    QVector<QVector<int>> cells_;
};

} // namespace shop

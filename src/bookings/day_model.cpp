#include "day_model.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

namespace shop {

namespace {

int minuteOf(const QString& time)
{
    const auto t = bookings::timeOf(time);
    return t ? t->msecsSinceStartOfDay() / 60000 : -1;
}

QString timeAt(int minute)
{
    return bookings::timeText(QTime(minute / 60, minute % 60));
}

} // namespace

void DayModel::show(const QStringList& employees, const bookings::Hours& hours,
                    const QList<bookings::Booking>& day)
{
    beginResetModel();
    day_ = day;
    slot_ = hours.slot;
    employees_ = employees;
    headers_ = employees;
    // Employees deleted since their bookings keep a column of their own.
    for (const bookings::Booking& b : day_)
        if (!b.employee.isEmpty() && !employees_.contains(b.employee, Qt::CaseInsensitive)) {
            employees_ << b.employee;
            headers_ << b.employee + QStringLiteral("（已删除）");
        }
    employees_ << QString();
    headers_ << QStringLiteral("未指定员工");

    int first = hours.open.msecsSinceStartOfDay() / 60000;
    int last = hours.close.msecsSinceStartOfDay() / 60000;
    for (const bookings::Booking& b : day_) {
        const int s = minuteOf(b.start);
        const int e = minuteOf(b.end);
        if (s >= 0 && s < first)
            first = s - s % slot_;
        if (e > last)
            last = e;
    }
    firstMinute_ = first;
    slots_.clear();
    for (int m = first; m < last; m += slot_)
        slots_ << timeAt(m);

    const int columns = static_cast<int>(employees_.size());
    cells_ = QVector<QVector<int>>(slots_.size() * columns);
    for (int i = 0; i < day_.size(); ++i) {
        const bookings::Booking& b = day_.at(i);
        int column = static_cast<int>(columns - 1);
        if (!b.employee.isEmpty())
            for (int c = 0; c < columns - 1; ++c)
                if (employees_.at(c).compare(b.employee, Qt::CaseInsensitive) == 0) {
                    column = c;
                    break;
                }
        const int s = minuteOf(b.start);
        const int e = std::max(minuteOf(b.end), s + 1);
        if (s < 0)
            continue;
        for (int row = (s - firstMinute_) / slot_; row < slots_.size() && firstMinute_ + row * slot_ < e;
             ++row)
            cells_[row * columns + column] << i;
    }
    endResetModel();
}

int DayModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(slots_.size());
}

int DayModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(employees_.size());
}

const bookings::Booking* DayModel::bookingAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return nullptr;
    const QVector<int>& in = cells_.at(index.row() * columnCount() + index.column());
    return in.isEmpty() ? nullptr : &day_.at(in.first());
}

QModelIndex DayModel::cellOf(qint64 rowid) const
{
    for (int row = 0; row < rowCount(); ++row)
        for (int column = 0; column < columnCount(); ++column)
            for (int i : cells_.at(row * columnCount() + column)) {
                const bookings::Booking& b = day_.at(i);
                if (b.rowid == rowid && minuteOf(b.start) < firstMinute_ + (row + 1) * slot_)
                    return index(row, column);
            }
    return {};
}

QVariant DayModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const QVector<int>& in = cells_.at(index.row() * columnCount() + index.column());
    if (in.isEmpty())
        return {};
    const int slotStart = firstMinute_ + index.row() * slot_;
    switch (role) {
    case Qt::DisplayRole: {
        QStringList lines;
        for (int i : in) {
            const bookings::Booking& b = day_.at(i);
            if (minuteOf(b.start) >= slotStart)
                lines << QStringLiteral("%1 %2 %3【%4】")
                             .arg(b.start, b.name.isEmpty() ? b.card : b.name, b.serviceItem, b.state);
            else
                lines << QStringLiteral("〃");
        }
        return lines.join(QStringLiteral("；"));
    }
    case Qt::ToolTipRole: {
        QStringList lines;
        for (int i : in) {
            const bookings::Booking& b = day_.at(i);
            lines << b.describe() + QStringLiteral(" ") + b.state +
                         (b.phone.isEmpty() ? QString() : QStringLiteral(" 电话：") + b.phone);
        }
        return lines.join(QLatin1Char('\n'));
    }
    case Qt::BackgroundRole: {
        switch (bookings::stateOf(day_.at(in.first()).state).value_or(bookings::State::Booked)) {
        case bookings::State::Booked:
            return QBrush(QColor(0xd6, 0xe9, 0xff));
        case bookings::State::Arrived:
            return QBrush(QColor(0xff, 0xf0, 0xc0));
        case bookings::State::Done:
            return QBrush(QColor(0xd8, 0xf5, 0xd0));
        case bookings::State::Cancelled:
        case bookings::State::NoShow:
            return QBrush(QColor(0xe8, 0xe8, 0xe8));
        }
        return {};
    }
    default:
        return {};
    }
}

QVariant DayModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return headers_.value(section);
    return slots_.value(section);
}

} // namespace shop

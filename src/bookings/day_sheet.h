#pragma once

#include "data/bookings.h"

#include <QList>
#include <QString>

#include <memory>

class QTextDocument;

namespace shop {

// One employee's bookings of one day, as printed for the employee.
struct DaySheet {
    QString employee; // empty: the bookings without an employee
    QString date;
    QString printedOn;
    QList<bookings::Booking> bookings;
};

// The document's title, also the print job's name.
QString daySheetTitle(const DaySheet& sheet);

// The sheet as a page: a line per booking in time order (time, customer,
// card, telephone, service, state, remark); cancelled bookings are left out.
std::unique_ptr<QTextDocument> daySheetDocument(const DaySheet& sheet);

} // namespace shop

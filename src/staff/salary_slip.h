#pragma once

#include "salary_service.h"

#include <QString>

#include <memory>

class QTextDocument;

namespace shop {

// What one printed salary slip shows.
struct SalarySlip {
    QString company;
    // The period the commission was totalled over; empty when it is not
    // known (a saved statement does not keep it).
    QString from;
    QString to;
    QString printedOn;
    SalaryStatement statement;
    // The commission was typed over the period's counted one: it is not
    // that period's figure, and the slip says so.
    bool commissionTyped = false;
};

// The slip's title, also the print job's name.
QString salarySlipTitle();

// One slip as a small table that fits an A4 or A5 page.
std::unique_ptr<QTextDocument> salarySlipDocument(const SalarySlip& slip);

} // namespace shop

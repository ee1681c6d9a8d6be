#pragma once

#include "ui/printing.h"

#include <QString>
#include <QStringList>

#include <memory>

class QTextDocument;

namespace shop {

// What one printed receipt shows.
struct Receipt {
    QString company;
    QString number;   // the sale's key
    QString dateTime; // when it was sold (a reprint of an older sale: its date)
    QString type;     // 商品销售, 其它服务 or both
    QString productName;
    QString quantity;
    QString price; // as stored (a currency sign after it is not printed)
    QString serviceItem;
    QString received; // 实收金额
    QString card;     // the number, or 非会员
    QString cardType;
    // What the card holds after the charge; empty when it is not known.
    QString usesLeft;
    QString balanceLeft;
    QString employee;
    QString login; // who prints it: 收银员 on the first print, 重印人 on a reprint
    QString footer;
    // A reprint is marked as one, with when and by whom; a preview shows the
    // receipt as sold and names no cashier (a stored sale keeps none).
    enum class Print { First, Reprint, Preview };
    Print print = Print::First;
    QString reprintedAt;
};

// The receipt of a sale from its thirteen stored values (type, card, goods,
// service, amount, employee); the rest is filled by the caller.
Receipt receiptOf(const QStringList& values);

// The receipt's title, also the print job's name.
QString receiptTitle();

// The papers of the settings ("58", "80" mm rolls, "A5"; anything else is
// the 58 mm roll), and how many half-width characters a line takes there:
// a Chinese character takes two.
Paper receiptPaper(const QString& paper);
int receiptColumns(const QString& paper);

// The receipt as the lines printed, none wider than `columns`.
QStringList receiptLines(const Receipt& receipt, int columns);

// The receipt laid out for the paper, in a font whose Chinese characters
// are exactly twice as wide as figures, so the columns line up.
std::unique_ptr<QTextDocument> receiptDocument(const Receipt& receipt, const QString& paper);

} // namespace shop

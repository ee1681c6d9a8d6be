#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace shop {

// Result of reading a number from the start of a text.
struct NumericRead {
    double value = 0;
    bool overflow = false; // the digits named a number beyond double's range
};

// Numeric value of a text: blanks, tabs and line feeds are ignored anywhere;
// an optional sign, digits with one decimal point and an optional exponent
// (E or D) are read up to the first character that does not fit; &H and &O
// introduce hexadecimal and octal whole numbers. No number gives 0.
NumericRead readNumber(const QString& text);
// The same over a text's UTF-8 bytes (as the engine hands them over).
NumericRead readNumberUtf8(QByteArrayView utf8);

// readNumber's value; a number too large to hold reads as 0, so it can
// never reach arithmetic or storage (callers that must warn use readNumber).
double numericValue(const QString& text);

// Number text without a leading blank: full stop, no grouping, at most 15
// significant digits, exponent form beyond that.
QString numberText(double value);

// Signed form: a blank before a number that is not negative.
QString signedNumberText(double value);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4),
// when it fits in 64 bits; nullopt beyond that (or for infinities and NaN),
// so a total or commission never wraps.
std::optional<qint64> roundWhole(double value);

} // namespace shop

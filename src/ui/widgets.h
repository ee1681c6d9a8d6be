#pragma once

#include <QString>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace shop {

// Controls carrying their control names. Enter on a focused button presses
// it, as Space does; the windows are not dialogs, so Enter in a field never
// presses a button (the Enter that moves the focus onto one does not either).
QLineEdit* lineEdit(const char* name);
QPushButton* button(const char* name, const QString& text);
// An editable list whose Enter moves on without adding the typed text.
QComboBox* editableCombo(const char* name);
// A label that shows a value (lookups and totals).
QLabel* valueLabel(const char* name);

// A caption label and its field in one cell pair of an entry grid; the
// field spans `columnSpan` pairs.
void addField(QGridLayout* grid, int row, int column, const QString& caption, QWidget* field,
              int columnSpan = 1);

} // namespace shop

#pragma once

#include <QString>

class QComboBox;
class QGridLayout;
class QLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace shop {

// Controls carrying their control names. Enter on a focused button presses
// it, as Space does; the windows are not dialogs, so Enter in a field never
// presses a button (the Enter that moves the focus onto one does not either).
QLineEdit* lineEdit(const char* name);
// A box holding a date, mostly filled in already: it selects its whole text
// when it takes the focus by Tab, Enter or a click, so a typed date replaces
// the one there instead of running on after it.
QLineEdit* dateEdit(const char* name);
// A password box: every character shows as "*", at once.
QLineEdit* passwordEdit(const char* name);
QPushButton* button(const char* name, const QString& text);
// An editable list whose Enter moves on without adding the typed text.
QComboBox* editableCombo(const char* name);
// A label that shows a value (lookups and totals).
QLabel* valueLabel(const char* name);

// A caption label and its field in one cell pair of an entry grid; the
// field spans `columnSpan` pairs.
void addField(QGridLayout* grid, int row, int column, const QString& caption, QWidget* field,
              int columnSpan = 1);

// The buttons of an entry window, by control name, with their captions.
struct EntryButtons {
    QPushButton* save = nullptr;
    QPushButton* remove = nullptr;
    QPushButton* modify = nullptr;
    QPushButton* query = nullptr;
    QPushButton* exit = nullptr;
};
EntryButtons entryButtons(const char* save, const char* remove, const char* modify, const char* query,
                          const char* exit);

// An entry window's body: the fields with the column of buttons to their
// right, and the grid below taking the spare height.
void entryLayout(QWidget* window, QLayout* fields, const EntryButtons& buttons, QWidget* grid);

} // namespace shop

#pragma once

#include <QList>
#include <QString>

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace shop {

class MessageService;

// Controls carrying their control names. Enter on a focused button presses
// it, as Space does; the windows are not dialogs, so Enter in a field never
// presses a button (the Enter that moves the focus onto one does not either).
QLineEdit* lineEdit(const char* name);
// A box holding a date, mostly filled in already: it selects its whole text
// when it takes the focus by Tab, Enter or a click, so a typed date replaces
// the one there instead of running on after it.
QLineEdit* dateEdit(const char* name);
// True when a date box holds a date in the stored form; otherwise says how
// to type one (today as the example) and gives the box the focus with its
// text selected, to be typed again.
bool checkDateBox(QLineEdit* box, MessageService& messages, const QString& today);
// A password box: every character shows as "*", at once.
QLineEdit* passwordEdit(const char* name);
QPushButton* button(const char* name, const QString& text);
// An editable list whose Enter moves on without adding the typed text.
QComboBox* editableCombo(const char* name);
// Down in a list box that shows none of its entries (empty, or a name
// typed in) picks the first entry and Up the last, as a choice from the
// list; otherwise the arrows move as usual. (The box keeps its last index
// when its text is emptied, so Down went to the second entry and a list of
// one could not be chosen at all.)
void arrowsPickFromNone(QComboBox* box);
// A check box that shows where the focus is whenever it has it, also on
// the box a window opens on and after a click (the style alone marks it only
// once Tab has been pressed in the window).
QCheckBox* checkBox(const char* name, const QString& text);
// A label that shows a value (lookups and totals).
QLabel* valueLabel(const char* name);

// A caption label and its field in one cell pair of an entry grid; the
// field spans `columnSpan` pairs.
void addField(QGridLayout* grid, int row, int column, const QString& caption, QWidget* field,
              int columnSpan = 1);

// A menu item by control name and caption.
struct MenuItem {
    const char* name;
    QString text;
};
QAction* menuItem(QMenu* menu, const MenuItem& item);

// A row of buttons with the spare width after them, before them, or none.
enum class SpareWidth { After, Before, None };
QHBoxLayout* buttonRow(const QList<QPushButton*>& buttons, SpareWidth spare);
// A column of buttons with the spare height below them.
QVBoxLayout* buttonColumn(const QList<QPushButton*>& buttons);

// The buttons of an entry window, by control name, with their captions.
struct EntryButtons {
    QPushButton* save = nullptr;
    QPushButton* remove = nullptr;
    QPushButton* modify = nullptr;
    QPushButton* query = nullptr;
    QPushButton* exit = nullptr;
};
struct EntryCaptions {
    QString save = QStringLiteral("保存(&S)");
    QString remove = QStringLiteral("删除(&D)");
    QString modify = QStringLiteral("修改(&M)");
    QString query = QStringLiteral("查询(&Q)");
    QString exit = QStringLiteral("退出(&E)");
};
EntryButtons entryButtons(const char* save, const char* remove, const char* modify, const char* query,
                          const char* exit, const EntryCaptions& captions = {});

// An entry window's body: the fields with the column of buttons to their
// right, and the grid below taking the spare height; Tab in reading order.
// `more` stand between the query and the exit button.
void entryLayout(QWidget* window, QLayout* fields, const EntryButtons& buttons, QWidget* grid,
                 const QList<QPushButton*>& more = {});

// A caption/field row of a small dialog's form; a row without a caption
// puts its field (or layout) under the fields.
struct FormRow {
    QString caption;
    QWidget* field = nullptr;
    QLayout* layout = nullptr;
};
// A small dialog's body: the form's rows, then its buttons at the right;
// Tab in reading order.
void dialogForm(QWidget* window, const QList<FormRow>& rows, const QList<QPushButton*>& buttons);
// A small window that is modal in use, centred on the screen.
void dialogWindow(QWidget* window, const QString& caption, int width, int height);
// A caption label whose mnemonic gives `field` the focus.
QLabel* buddyLabel(const QString& text, QWidget* field);

} // namespace shop

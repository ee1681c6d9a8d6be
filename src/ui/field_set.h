#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class QGridLayout;
class QLabel;
class QWidget;

namespace shop {

class AppContext;
class EnterChain;

// A typed line, a date line (selects its whole text when it takes the focus),
// an editable list, the employee list, or a label showing a value the window
// computes (never in the Enter chain).
enum class FieldKind { Line, Date, Combo, Worker, Value };

// What a field does beyond the plain rule (cleared, shown as stored, in the
// Enter chain).
enum FieldFlag {
    Trimmed = 0x1,     // shown without its blanks
    KeptOnClear = 0x2, // clear() leaves it alone
    OffChain = 0x4,    // reached by mouse or Tab only
};

// One field: control name, caption, table column and where it sits. The
// field spans `span` caption/field pairs of its row. Written with the
// members' names: {.name = "txt_date", .label = "日期", .column = kDate, .row = 1}.
struct FieldDef {
    const char* name;
    QString label;
    QString column;
    QString mandatory = {}; // Enter in the empty field shows this and stays
    FieldKind kind = FieldKind::Line;
    int row = 0;
    int col = 0;
    int span = 1;
    int flags = 0;
};

// The entry fields of a window declared once: the controls with their
// captions in a grid, the Enter chain along them, and the values in the
// table's column order. A caption label of a `txt_` field is named `lab_`
// plus the rest of the field's name.
class FieldSet : public QObject {
    Q_OBJECT
public:
    // `columns`: the table's columns in stored order (values() and show()).
    FieldSet(AppContext& ctx, QWidget* owner, const QStringList& columns, const QList<FieldDef>& defs);

    QGridLayout* layout() const { return grid_; }
    EnterChain* chain() const { return chain_; }
    // Enter moves along the fields in declaration order, from the last to
    // `last` (the save button).
    void chainTo(QWidget* last);
    // Enter in `name` runs `handler` instead of moving on.
    void setHandler(const char* name, std::function<void()> handler);

    // One value per column, empty for a column without a field.
    QStringList values() const;
    // A stored row (every column in order) into the fields.
    void show(const QStringList& storedRow);
    void clear();

    QWidget* widget(const char* name) const;
    template <typename T> T* as(const char* name) const { return qobject_cast<T*>(widget(name)); }
    QString text(const char* name) const;
    void setText(const char* name, const QString& value);
    // The value of a column's field.
    QString value(const QString& column) const;

private:
    struct Field {
        FieldDef def;
        QWidget* widget;
    };
    static QString textOf(const QWidget* w);
    static void setTextOf(QWidget* w, const QString& value);

    QStringList columns_;
    QList<Field> fields_;
    QHash<QString, int> byName_;
    QGridLayout* grid_;
    EnterChain* chain_;
};

} // namespace shop

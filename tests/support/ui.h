#pragma once

#include "ui/record_view.h"
#include "support/test_env.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace shop::test {

// A named child that must exist.
template <typename T> T* child(const QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

// Types at the end of a box: ASCII by keys, other characters as an input
// method commits them (as a Chinese input method does).
inline void typeMore(QWidget* box, const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() < 128 && c.isPrint()) {
            QTest::keyClick(box, c.toLatin1());
        } else {
            QInputMethodEvent e;
            e.setCommitString(QString(c));
            QApplication::sendEvent(box, &e);
        }
    }
}

// Types into a box as a person would, after emptying it.
inline void type(QWidget* box, const QString& text)
{
    if (auto* e = qobject_cast<QLineEdit*>(box))
        e->clear();
    else if (auto* c = qobject_cast<QComboBox*>(box))
        c->setEditText(QString());
    typeMore(box, text);
}

// Types into a named box after giving it the focus, as a click into it does.
inline void typeInto(QWidget* w, const char* name, const QString& text)
{
    QWidget* box = child<QWidget>(w, name);
    box->setFocus();
    type(box, text);
}

// The text a box, a drop-down or a label shows.
inline QString textOf(const QWidget* w, const char* name)
{
    QWidget* box = child<QWidget>(w, name);
    if (auto* e = qobject_cast<QLineEdit*>(box))
        return e->text();
    if (auto* l = qobject_cast<QLabel*>(box))
        return l->text();
    return child<QComboBox>(w, name)->currentText();
}

// The texts of the named boxes and labels (a list of control names), in order.
template <typename Names> QStringList readFields(const QWidget* w, const Names& names)
{
    QStringList out;
    for (const char* n : names)
        out << textOf(w, n);
    return out;
}

// Types each value into its box, in order, as a person would (a missing
// value empties the box).
template <typename Names> void fillFields(QWidget* w, const Names& names, const QStringList& values)
{
    int i = 0;
    for (const char* n : names)
        type(child<QWidget>(w, n), values.value(i++));
}

// Column `column` of every row the grid shows.
inline QStringList gridColumn(RecordView* grid, int column)
{
    QStringList out;
    RecordModel* m = grid->records();
    while (m->canFetchMore())
        m->fetchMore();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, column).data().toString();
    return out;
}

// Column `column` of every stored row of a table, in stored order.
inline QStringList storedColumn(TestEnv& env, const QString& table, int column)
{
    QStringList out;
    for (const QStringList& row : env.rows(table))
        out << row.value(column);
    return out;
}

// Types into a grid cell as a person does: the first key opens the cell's
// editor (when the grid allows edits), the rest goes into it and Enter
// commits it to the grid.
inline void typeInCell(RecordView* grid, int row, int column, const QString& text)
{
    grid->setFocus();
    QTRY_VERIFY(grid->hasFocus());
    grid->setCurrentIndex(grid->records()->index(row, column));
    QTest::keyClick(grid, text.at(0).toLatin1());
    if (QApplication::focusWidget() != grid) {
        typeMore(QApplication::focusWidget(), text.mid(1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    QCoreApplication::processEvents();
}

// A left click on row `row` of the grid.
inline void clickRow(RecordView* grid, int row, int column = 0)
{
    const QRect r = grid->visualRect(grid->records()->index(row, column));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
}

inline void clickHeader(RecordView* grid, int section)
{
    QHeaderView* h = grid->horizontalHeader();
    const int x = h->sectionViewportPosition(section) + h->sectionSize(section) / 2;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
}

inline QAction* action(const QWidget* w, const char* name)
{
    return child<QAction>(w, name);
}

// The window is shown and active, so focus and keys behave as for a person.
inline bool showActive(QWidget* w)
{
    w->show();
    w->activateWindow();
    return QTest::qWaitForWindowActive(w);
}

// Messages, input boxes and file dialogs as "caption|icon|text",
// "title|input|prompt" and "title|save|suggested file name"; a message
// whose buttons say what they do ends "|[label/label]".
inline QString shown(const Shown& s)
{
    if (s.kind == Shown::Input)
        return s.caption + "|input|" + s.text;
    if (s.kind == Shown::SaveFile)
        return s.caption + "|save|" + QFileInfo(s.defaultText).fileName();
    if (s.kind == Shown::OpenFile)
        return s.caption + "|open|" + s.text;
    if (s.kind == Shown::Wait)
        return s.caption + "|wait|" + s.text;
    const QString box = s.caption + "|" + QString::number(int(s.icon)) + "|" + s.text;
    return s.labels.isEmpty() ? box : box + "|[" + s.labels.join('/') + "]";
}

inline QStringList shownAll(TestEnv& env)
{
    QStringList out;
    for (const Shown& s : env.messages().shown())
        out << shown(s);
    return out;
}

inline QString stop(const QString& text, const QString& caption = "错误")
{
    return caption + "|" + QString::number(int(QMessageBox::Critical)) + "|" + text;
}

inline QString ask(const QString& text, const QString& caption)
{
    return caption + "|" + QString::number(int(QMessageBox::Question)) + "|" + text;
}

inline QString info(const QString& text, const QString& caption = "信息")
{
    return caption + "|" + QString::number(int(QMessageBox::Information)) + "|" + text;
}

// A message as shown() gives it, with buttons captioned `labels`.
inline QString withButtons(const QString& box, const QStringList& labels)
{
    return box + "|[" + labels.join('/') + "]";
}

inline QString input(const QString& prompt, const QString& title = "查询")
{
    return title + "|input|" + prompt;
}

inline void press(QWidget* w, const char* name)
{
    QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton);
}

// Name of the control that has the focus (an editable combo box counts as
// itself, not its inner line edit).
inline QString focusName()
{
    QWidget* f = QApplication::focusWidget();
    if (!f)
        return {};
    if (auto* c = qobject_cast<QComboBox*>(f->parentWidget()))
        return c->objectName();
    return f->objectName();
}

// A key as a person presses it: to the open menu or drop-down list, else to
// the control with the focus.
inline void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* to = QApplication::activePopupWidget();
    if (to && to->focusWidget())
        to = to->focusWidget();
    QTest::keyClick(to ? to : QApplication::focusWidget(), key, modifiers);
}

// Types at the end of the control with the focus.
inline void typeKeys(const QString& text)
{
    typeMore(QApplication::focusWidget(), text);
}

// Enter in a named control, after giving it the focus.
inline void pressEnter(QWidget* w, const char* name)
{
    QWidget* f = child<QWidget>(w, name);
    f->setFocus();
    QTest::keyClick(f, Qt::Key_Return);
}

// Opens a combo box's drop-down with the keyboard and clicks the entry
// showing `text`, as a person chooses from the list. False when the entry
// is not in the open list.
inline bool chooseFromList(QComboBox* box, const QString& text)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
    QAbstractItemView* view = box->view();
    if (!view->isVisible() && !QTest::qWaitFor([view] { return view->isVisible(); }, 1000))
        return false;
    for (int r = 0; r < view->model()->rowCount(); ++r) {
        const QModelIndex i = view->model()->index(r, box->modelColumn());
        if (i.data().toString() != text)
            continue;
        view->scrollTo(i);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(i).center());
        return QTest::qWaitFor([view] { return !view->isVisible(); }, 1000);
    }
    box->hidePopup();
    return false;
}

// Waits for the next tick of a window's named timer (the grid's state timer
// unless told), so that what the tick does has been done. False when no
// tick comes.
inline bool nextTick(const QWidget* w, const char* timer = "Timer1")
{
    QSignalSpy tick(child<QTimer>(w, timer), &QTimer::timeout);
    return tick.wait(5000);
}

} // namespace shop::test

#include "widgets.h"

#include "input_filters.h"
#include "message_service.h"
#include "tab_order.h"

#include "data/clock.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QVBoxLayout>

namespace shop {

namespace {
class StarStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};
// Draws a focused box as it looks once a key has moved the focus in the
// window (the style marks the focus only after one has).
class FocusMarkStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* box = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element != CE_CheckBox || !box || !(box->state & State_HasFocus)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionButton marked(*box);
        marked.state |= State_KeyboardFocusChange;
        QProxyStyle::drawControl(element, &marked, painter, widget);
    }
};
class ArrowPick : public QObject {
public:
    explicit ArrowPick(QComboBox* box) : QObject(box), box_(box) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* k = static_cast<QKeyEvent*>(event);
        const bool down = k->key() == Qt::Key_Down;
        if ((!down && k->key() != Qt::Key_Up) ||
            (k->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier)) ||
            box_->count() == 0)
            return QObject::eventFilter(watched, event);
        const int shown = box_->currentIndex();
        if (shown >= 0 && box_->itemText(shown) == box_->currentText())
            return QObject::eventFilter(watched, event);
        const int picked = down ? 0 : box_->count() - 1;
        box_->setCurrentIndex(picked);
        // As the box says a choice made by keys.
        emit box_->activated(picked);
        emit box_->textActivated(box_->itemText(picked));
        return true;
    }

private:
    QComboBox* box_;
};
class DateEdit : public QLineEdit {
protected:
    void focusInEvent(QFocusEvent* e) override
    {
        QLineEdit::focusInEvent(e);
        // A click places the cursor on the press that follows; the focus
        // coming back with its window keeps what was selected.
        if (e->reason() == Qt::MouseFocusReason)
            selectOnPress_ = true;
        else if (e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason)
            selectAll();
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        QLineEdit::mousePressEvent(e);
        if (selectOnPress_)
            selectAll();
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        QLineEdit::mouseReleaseEvent(e);
        if (selectOnPress_)
            selectAll();
        selectOnPress_ = false;
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        selectOnPress_ = false;
        QLineEdit::focusOutEvent(e);
    }

private:
    bool selectOnPress_ = false;
};
} // namespace

QLineEdit* lineEdit(const char* name)
{
    auto* e = new QLineEdit;
    e->setObjectName(QLatin1String(name));
    return e;
}

QLineEdit* dateEdit(const char* name)
{
    auto* e = new DateEdit;
    e->setObjectName(QLatin1String(name));
    return e;
}

bool checkDateBox(QLineEdit* box, MessageService& messages, const QString& today)
{
    if (isDateText(box->text()))
        return true;
    messages.critical(QStringLiteral("请按“年-月-日”的形式输入日期，例如：") + today, QStringLiteral("错误"));
    box->setFocus();
    box->selectAll();
    return false;
}

QLineEdit* passwordEdit(const char* name)
{
    auto* e = lineEdit(name);
    e->setEchoMode(QLineEdit::Password);
    auto* star = new StarStyle(QApplication::style()->name());
    star->setParent(e);
    e->setStyle(star);
    return e;
}

QPushButton* button(const char* name, const QString& text)
{
    auto* b = new QPushButton(text);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(true);
    return b;
}

QCheckBox* checkBox(const char* name, const QString& text)
{
    auto* b = new QCheckBox(text);
    b->setObjectName(QLatin1String(name));
    auto* mark = new FocusMarkStyle(QApplication::style()->name());
    mark->setParent(b);
    b->setStyle(mark);
    return b;
}

QComboBox* editableCombo(const char* name)
{
    auto* c = new QComboBox;
    c->setObjectName(QLatin1String(name));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    arrowsPickFromNone(c);
    return c;
}

void arrowsPickFromNone(QComboBox* box)
{
    box->installEventFilter(new ArrowPick(box));
}

QLabel* valueLabel(const char* name)
{
    auto* l = new QLabel;
    l->setObjectName(QLatin1String(name));
    l->setFrameShape(QFrame::StyledPanel);
    l->setFrameShadow(QFrame::Sunken);
    // Values come from stored rows: never read them as markup.
    l->setTextFormat(Qt::PlainText);
    return l;
}

void addField(QGridLayout* grid, int row, int column, const QString& caption, QWidget* field, int columnSpan)
{
    auto* label = new QLabel(caption);
    label->setBuddy(field);
    grid->addWidget(label, row, column * 2);
    grid->addWidget(field, row, column * 2 + 1, 1, columnSpan * 2 - 1);
}

QAction* menuItem(QMenu* menu, const MenuItem& item)
{
    QAction* a = menu->addAction(item.text);
    a->setObjectName(QLatin1String(item.name));
    return a;
}

QHBoxLayout* buttonRow(const QList<QPushButton*>& buttons, SpareWidth spare)
{
    auto* row = new QHBoxLayout;
    if (spare == SpareWidth::Before)
        row->addStretch();
    for (QPushButton* b : buttons)
        row->addWidget(b);
    if (spare == SpareWidth::After)
        row->addStretch();
    return row;
}

QVBoxLayout* buttonColumn(const QList<QPushButton*>& buttons)
{
    auto* column = new QVBoxLayout;
    for (QPushButton* b : buttons)
        column->addWidget(b);
    column->addStretch();
    return column;
}

EntryButtons entryButtons(const char* save, const char* remove, const char* modify, const char* query,
                          const char* exit, const EntryCaptions& captions)
{
    return {button(save, captions.save), button(remove, captions.remove), button(modify, captions.modify),
            button(query, captions.query), button(exit, captions.exit)};
}

void entryLayout(QWidget* window, QLayout* fields, const EntryButtons& buttons, QWidget* grid,
                 const QList<QPushButton*>& more)
{
    auto* top = new QHBoxLayout;
    top->addLayout(fields, 1);
    top->addLayout(
        buttonColumn(QList<QPushButton*>{buttons.save, buttons.remove, buttons.modify, buttons.query} + more +
                     QList<QPushButton*>{buttons.exit}));
    auto* layout = new QVBoxLayout(window);
    layout->addLayout(top);
    layout->addWidget(grid, 1);
    tabInReadingOrder(window);
}

void dialogForm(QWidget* window, const QList<FormRow>& rows, const QList<QPushButton*>& buttons)
{
    auto* form = new QGridLayout;
    for (int i = 0; i < rows.size(); ++i) {
        const FormRow& r = rows.at(i);
        if (!r.caption.isEmpty())
            form->addWidget(buddyLabel(r.caption, r.field), i, 0);
        if (r.field)
            form->addWidget(r.field, i, 1);
        else if (r.layout)
            form->addLayout(r.layout, i, 1);
    }
    auto* layout = new QVBoxLayout(window);
    layout->addLayout(form);
    layout->addLayout(buttonRow(buttons, SpareWidth::Before));
    tabInReadingOrder(window);
}

void dialogWindow(QWidget* window, const QString& caption, int width, int height)
{
    window->setWindowTitle(caption);
    window->setWindowModality(Qt::ApplicationModal);
    window->resize(width, height);
    centreOnScreen(window);
}

QLabel* buddyLabel(const QString& text, QWidget* field)
{
    auto* l = new QLabel(text);
    l->setBuddy(field);
    return l;
}

} // namespace shop

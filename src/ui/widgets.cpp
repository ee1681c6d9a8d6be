#include "widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>
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

QComboBox* editableCombo(const char* name)
{
    auto* c = new QComboBox;
    c->setObjectName(QLatin1String(name));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
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

EntryButtons entryButtons(const char* save, const char* remove, const char* modify, const char* query,
                          const char* exit)
{
    return {button(save, QStringLiteral("保存(&S)")), button(remove, QStringLiteral("删除(&D)")),
            button(modify, QStringLiteral("修改(&M)")), button(query, QStringLiteral("查询(&Q)")),
            button(exit, QStringLiteral("退出(&E)"))};
}

void entryLayout(QWidget* window, QLayout* fields, const EntryButtons& buttons, QWidget* grid)
{
    auto* column = new QVBoxLayout;
    for (QPushButton* b : {buttons.save, buttons.remove, buttons.modify, buttons.query, buttons.exit})
        column->addWidget(b);
    column->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(fields, 1);
    top->addLayout(column);
    auto* layout = new QVBoxLayout(window);
    layout->addLayout(top);
    layout->addWidget(grid, 1);
}

} // namespace shop

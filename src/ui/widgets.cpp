#include "widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace shop {

QLineEdit* lineEdit(const char* name)
{
    auto* e = new QLineEdit;
    e->setObjectName(QLatin1String(name));
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

} // namespace shop

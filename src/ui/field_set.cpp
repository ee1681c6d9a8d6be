#include "field_set.h"

#include "app_context.h"
#include "enter_chain.h"
#include "widgets.h"
#include "worker_box.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace shop {

namespace {

QWidget* makeField(AppContext& ctx, const FieldDef& d)
{
    switch (d.kind) {
    case FieldKind::Line:
        return lineEdit(d.name);
    case FieldKind::Date:
        return dateEdit(d.name);
    case FieldKind::Combo:
        return editableCombo(d.name);
    case FieldKind::Worker:
        return new WorkerBox(ctx.business());
    case FieldKind::Value:
        break;
    }
    return valueLabel(d.name);
}

} // namespace

FieldSet::FieldSet(AppContext& ctx, QWidget* owner, const QStringList& columns, const QList<FieldDef>& defs)
    : QObject(owner), columns_(columns), grid_(new QGridLayout), chain_(new EnterChain(ctx.messages(), owner))
{
    for (const FieldDef& d : defs) {
        QWidget* w = makeField(ctx, d);
        w->setParent(owner);
        byName_.insert(QLatin1String(d.name), static_cast<int>(fields_.size()));
        fields_.append(Field{d, w});

        auto* label = new QLabel(d.label, owner);
        const QLatin1String name(d.name);
        if (name.startsWith(QLatin1String("txt_")))
            label->setObjectName(QStringLiteral("lab_") + name.sliced(4));
        label->setBuddy(w);
        grid_->addWidget(label, d.row, d.col * 2);
        grid_->addWidget(w, d.row, d.col * 2 + 1, 1, d.span * 2 - 1);
    }
}

void FieldSet::chainTo(QWidget* last)
{
    QList<const Field*> chained;
    for (const Field& f : std::as_const(fields_))
        if (!(f.def.flags & OffChain) && f.def.kind != FieldKind::Value)
            chained << &f;
    for (int i = 0; i < chained.size(); ++i) {
        QWidget* next = i + 1 < chained.size() ? chained.at(i + 1)->widget : last;
        chain_->add(chained.at(i)->widget, next, chained.at(i)->def.mandatory);
    }
}

void FieldSet::setHandler(const char* name, std::function<void()> handler)
{
    chain_->setHandler(widget(name), std::move(handler));
}

QStringList FieldSet::values() const
{
    QStringList out;
    out.reserve(columns_.size());
    for (const QString& c : columns_)
        out << value(c);
    return out;
}

QString FieldSet::value(const QString& column) const
{
    for (const Field& f : fields_)
        if (f.def.column == column)
            return textOf(f.widget);
    return {};
}

void FieldSet::show(const QStringList& storedRow)
{
    for (const Field& f : std::as_const(fields_)) {
        const QString v = storedRow.value(columns_.indexOf(f.def.column));
        setTextOf(f.widget, (f.def.flags & Trimmed) ? v.trimmed() : v);
    }
}

void FieldSet::clear()
{
    for (const Field& f : std::as_const(fields_))
        if (!(f.def.flags & KeptOnClear))
            setTextOf(f.widget, QString());
}

QWidget* FieldSet::widget(const char* name) const
{
    const int i = byName_.value(QLatin1String(name), -1);
    Q_ASSERT_X(i >= 0, "FieldSet", name);
    return fields_.at(i).widget;
}

QString FieldSet::text(const char* name) const
{
    return textOf(widget(name));
}

void FieldSet::setText(const char* name, const QString& value)
{
    setTextOf(widget(name), value);
}

QString FieldSet::textOf(const QWidget* w)
{
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<const QComboBox*>(w))
        return c->currentText();
    return {};
}

void FieldSet::setTextOf(QWidget* w, const QString& value)
{
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(value);
    else if (auto* c = qobject_cast<QComboBox*>(w))
        c->setEditText(value);
}

} // namespace shop

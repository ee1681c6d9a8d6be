#include "enter_chain.h"

#include "message_service.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace shop {

EnterChain::EnterChain(MessageService& messages, QObject* parent) : QObject(parent), messages_(messages) {}

void EnterChain::watch(QWidget* field)
{
    if (!links_.contains(field)) {
        field->installEventFilter(this);
        connect(field, &QObject::destroyed, this, [this, field] { links_.remove(field); });
    }
}

void EnterChain::add(QWidget* field, QWidget* next, const QString& mandatoryMessage, const QString& caption)
{
    watch(field);
    Link& l = links_[field];
    l.next = next;
    l.message = mandatoryMessage;
    l.caption = caption;
}

void EnterChain::setHandler(QWidget* field, std::function<void()> handler)
{
    watch(field);
    links_[field].handler = std::move(handler);
}

QString EnterChain::textOf(QWidget* w)
{
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    if (auto* t = qobject_cast<QPlainTextEdit*>(w))
        return t->toPlainText();
    if (auto* t = qobject_cast<QTextEdit*>(w))
        return t->toPlainText();
    return {};
}

void EnterChain::enter(QWidget* field)
{
    auto it = links_.find(field);
    if (it == links_.end())
        return;
    const Link link = *it; // the handler may change the chain
    if (link.handler) {
        link.handler();
        return;
    }
    if (!link.message.isEmpty() && textOf(field).isEmpty()) {
        messages_.critical(link.message, link.caption);
        field->setFocus();
        return;
    }
    if (link.next)
        link.next->setFocus();
}

bool EnterChain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            if (auto* w = qobject_cast<QWidget*>(watched))
                enter(w);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace shop

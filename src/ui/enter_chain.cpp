#include "enter_chain.h"

#include "message_service.h"

#include <QComboBox>
#include <QCoreApplication>
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

void EnterChain::setLocked(QLineEdit* box, bool locked)
{
    watch(box);
    links_[box].locked = locked;
    box->setReadOnly(locked);
    box->setStyleSheet(locked ? QStringLiteral("QLineEdit { background: palette(window); }") : QString());
}

bool EnterChain::isLocked(const QWidget* field) const
{
    const auto it = links_.constFind(const_cast<QWidget*>(field));
    return it != links_.cend() && it->locked;
}

void EnterChain::setLockedMessage(QLineEdit* box, const QString& text, const QString& caption)
{
    watch(box);
    Link& l = links_[box];
    l.lockedMessage = text;
    l.lockedCaption = caption;
}

bool EnterChain::isOpen(const QWidget* field) const
{
    return field->isEnabled() && !isLocked(field);
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
    moveOn(field);
}

void EnterChain::moveOn(QWidget* field)
{
    QWidget* next = links_.value(field).next;
    // Each field once: a chain that leads back on itself ends.
    for (int steps = 0; next && !isOpen(next) && steps < links_.size(); ++steps)
        next = links_.value(next).next;
    if (next && isOpen(next))
        next->setFocus();
}

namespace {

// A key that would change the text of a box (a character, deleting, or
// pasting), as opposed to one that moves or leaves.
bool typesInto(const QKeyEvent* k)
{
    if (k->matches(QKeySequence::Paste) || k->matches(QKeySequence::Cut) || k->matches(QKeySequence::Undo) ||
        k->matches(QKeySequence::Redo) || k->key() == Qt::Key_Backspace || k->key() == Qt::Key_Delete)
        return true;
    const QString text = k->text();
    return !text.isEmpty() && text.at(0).isPrint() &&
           !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

} // namespace

bool EnterChain::lockedKey(QWidget* field, const Link& link, QKeyEvent* key)
{
    if (key->key() == Qt::Key_Escape) {
        // Back out of the box as Shift+Tab does.
        QKeyEvent back(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
        QCoreApplication::sendEvent(field, &back);
        return true;
    }
    if (typesInto(key) && !link.lockedMessage.isEmpty())
        messages_.critical(link.lockedMessage, link.lockedCaption);
    return false;
}

bool EnterChain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        auto* w = qobject_cast<QWidget*>(watched);
        const auto it = w ? links_.constFind(w) : links_.cend();
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            if (w)
                enter(w);
        } else if (it != links_.cend() && it->locked) {
            const Link link = *it;
            if (lockedKey(w, link, k))
                return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace shop

#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QLineEdit;

namespace shop {

class MessageService;

// Enter moves the focus along a fixed chain of fields. A mandatory field
// that is empty shows its message instead and keeps the focus. A field may
// run its own handler (a lookup or a check) in place of the plain move.
// The Enter key is passed on to the field unchanged.
//
// A field of the chain may be locked: it keeps its caret but takes no
// typing, and a key that would type into it shows its locked message, if
// it has one. The chain passes over locked (and disabled) fields to the next
// open one; Tab, Shift+Tab and Esc leave a locked field silently (Esc goes
// back as Shift+Tab does), and Enter does there what it does anywhere, so
// the keys never trap the person in it.
class EnterChain : public QObject {
    Q_OBJECT
public:
    EnterChain(MessageService& messages, QObject* parent = nullptr);

    // `field` moves to `next` on Enter; with a message the field is mandatory.
    void add(QWidget* field, QWidget* next, const QString& mandatoryMessage = {},
             const QString& caption = QStringLiteral("错误"));
    // `field` runs `handler` on Enter instead of moving (the handler moves
    // on with moveOn() when it is done).
    void setHandler(QWidget* field, std::function<void()> handler);

    void setLocked(QLineEdit* box, bool locked);
    bool isLocked(const QWidget* field) const;
    // What a key that would type into `box` while it is locked says.
    void setLockedMessage(QLineEdit* box, const QString& text,
                          const QString& caption = QStringLiteral("错误"));

    // What Enter in `field` does now (tests and handlers may call it).
    void enter(QWidget* field);
    // Gives the focus to the first open field after `field` in the chain;
    // with none, the focus stays.
    void moveOn(QWidget* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Link {
        QPointer<QWidget> next;
        QString message;
        QString caption;
        std::function<void()> handler;
        bool locked = false;
        QString lockedMessage;
        QString lockedCaption;
    };
    static QString textOf(QWidget* w);
    void watch(QWidget* field);
    bool isOpen(const QWidget* field) const;
    // A key at a locked field; true when it is taken here.
    bool lockedKey(QWidget* field, const Link& link, class QKeyEvent* key);

    MessageService& messages_;
    QHash<QWidget*, Link> links_;
};

} // namespace shop

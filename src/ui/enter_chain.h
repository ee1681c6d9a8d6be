#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace shop {

class MessageService;

// Enter moves the focus along a fixed chain of fields. A mandatory field
// that is empty shows its message instead and keeps the focus. A field may
// run its own handler (a lookup or a check) in place of the plain move.
// The Enter key is passed on to the field unchanged.
class EnterChain : public QObject {
    Q_OBJECT
public:
    EnterChain(MessageService& messages, QObject* parent = nullptr);

    // `field` moves to `next` on Enter; with a message the field is mandatory.
    void add(QWidget* field, QWidget* next, const QString& mandatoryMessage = {},
             const QString& caption = QStringLiteral("错误"));
    // `field` runs `handler` on Enter instead of moving.
    void setHandler(QWidget* field, std::function<void()> handler);

    // What Enter in `field` does now (tests and handlers may call it).
    void enter(QWidget* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Link {
        QPointer<QWidget> next;
        QString message;
        QString caption;
        std::function<void()> handler;
    };
    static QString textOf(QWidget* w);
    void watch(QWidget* field);

    MessageService& messages_;
    QHash<QWidget*, Link> links_;
};

} // namespace shop

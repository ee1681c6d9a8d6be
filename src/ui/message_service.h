#pragma once

#include <QMessageBox>
#include <QList>
#include <QString>

#include <memory>
#include <utility>

class QProgressDialog;

namespace shop {

// Every report to the user goes through this seam, so tests can read the
// texts word for word and answer in place of the person.
class MessageService {
public:
    using Icon = QMessageBox::Icon;
    using Buttons = QMessageBox::StandardButtons;
    using Answer = QMessageBox::StandardButton;

    virtual ~MessageService() = default;

    // Shows a modal message; returns the button chosen.
    virtual Answer message(const QString& text, Icon icon, Buttons buttons, const QString& caption) = 0;
    // The same, with some of the buttons captioned otherwise (a choice no
    // standard button names); the answer is still the standard button.
    virtual Answer choose(const QString& text, Icon icon, Buttons buttons, const QString& caption,
                          const QList<std::pair<Answer, QString>>& captions)
    {
        Q_UNUSED(captions);
        return message(text, icon, buttons, caption);
    }
    // Shows an input box; returns the text, or an empty text on Cancel.
    virtual QString input(const QString& prompt, const QString& title, const QString& defaultText = {}) = 0;
    // Asks for a secret (password boxes of set-up dialogs); empty on Cancel.
    virtual QString secret(const QString& prompt, const QString& title) { return input(prompt, title); }
    // Asks for the name of a file to write, starting from `suggested` (the
    // replacing of an existing file is confirmed there); empty on Cancel.
    virtual QString saveFileName(const QString& caption, const QString& suggested, const QString& filter) = 0;
    // Asks for an existing file to read, starting in `folder`; empty on Cancel.
    virtual QString openFileName(const QString& caption, const QString& folder, const QString& filter) = 0;

    // Says what the program waits for, in a box without buttons, until
    // endWait() (the wait ends by itself, not by the person).
    virtual void showWait(const QString& text, const QString& caption) = 0;
    virtual void endWait() = 0;

    // Shorthands for the usual kinds.
    void critical(const QString& text, const QString& caption)
    {
        message(text, QMessageBox::Critical, QMessageBox::Ok, caption);
    }
    void information(const QString& text, const QString& caption)
    {
        message(text, QMessageBox::Information, QMessageBox::Ok, caption);
    }
    void exclamation(const QString& text, const QString& caption)
    {
        message(text, QMessageBox::Warning, QMessageBox::Ok, caption);
    }
    // Reports a database error (any window, any statement) in one wording:
    // what staff should do in Chinese, the engine's own words kept for support.
    void databaseError(const QString& error)
    {
        critical(databaseErrorText(error), QStringLiteral("错误信息"));
    }
    static QString databaseErrorText(const QString& error);
    bool question(const QString& text, const QString& caption)
    {
        return message(text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, caption) ==
               QMessageBox::Yes;
    }
};

// The real boxes.
class QtMessageService : public MessageService {
public:
    QtMessageService();
    ~QtMessageService() override;
    Answer message(const QString& text, Icon icon, Buttons buttons, const QString& caption) override;
    Answer choose(const QString& text, Icon icon, Buttons buttons, const QString& caption,
                  const QList<std::pair<Answer, QString>>& captions) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString secret(const QString& prompt, const QString& title) override;
    QString saveFileName(const QString& caption, const QString& suggested, const QString& filter) override;
    QString openFileName(const QString& caption, const QString& folder, const QString& filter) override;
    void showWait(const QString& text, const QString& caption) override;
    void endWait() override;

private:
    std::unique_ptr<QProgressDialog> wait_;
};

} // namespace shop

#include "message_service.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>

namespace shop {

MessageService::Answer QtMessageService::message(const QString& text, Icon icon, Buttons buttons,
                                                 const QString& caption)
{
    QMessageBox box(icon, caption, text, buttons, QApplication::activeWindow());
    return static_cast<Answer>(box.exec());
}

QString QtMessageService::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    bool ok = false;
    const QString s = QInputDialog::getText(QApplication::activeWindow(), title, prompt, QLineEdit::Normal,
                                            defaultText, &ok);
    return ok ? s : QString();
}

QString QtMessageService::secret(const QString& prompt, const QString& title)
{
    bool ok = false;
    const QString s =
        QInputDialog::getText(QApplication::activeWindow(), title, prompt, QLineEdit::Password, {}, &ok);
    return ok ? s : QString();
}

} // namespace shop

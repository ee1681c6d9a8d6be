#include "message_service.h"

#include "data/database.h"
#include "document_path.h"
#include "file_check.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProgressDialog>
#include <QRegularExpression>

namespace shop {

// Every box shown, for support: QT_LOGGING_RULES="shop.messages.info=true".
Q_LOGGING_CATEGORY(lcMessages, "shop.messages", QtWarningMsg)

QString MessageService::databaseErrorText(const QString& error)
{
    // The common failures by the engine's words (stable across versions).
    static const struct {
        const char* english;
        const char* advice;
    } known[] = {
        {"database is locked",
         "数据库正被其他程序使用，请稍后再试；如果一直如此，请关闭其他正在使用数据库的程序。"},
        {"database table is locked",
         "数据库正被其他程序使用，请稍后再试；如果一直如此，请关闭其他正在使用数据库的程序。"},
        {"database or disk is full", "磁盘空间已满，本次操作没有保存。请清理磁盘空间后再试。"},
        {"readonly database", "数据库文件是只读的，本次操作没有保存。请检查数据库文件和 database "
                              "文件夹的写入权限；改正后无需重启程序，再次保存即可。"},
        {"disk image is malformed",
         "数据库文件已损坏。请立即停止录入，并由系统管理员通过“系统维护 → 数据恢复”从备份恢复数据。"},
        {"file is not a database",
         "数据库文件已损坏。请立即停止录入，并由系统管理员通过“系统维护 → 数据恢复”从备份恢复数据。"},
        {"disk I/O error", "读写磁盘时出错，本次操作没有保存。请检查磁盘或存储设备是否正常。"},
        {"unable to open database file", "无法打开数据库文件。请检查 database 文件夹是否存在以及访问权限。"},
    };
    if (error == Database::filesGoneText() || Database::connectionLost(error) ||
        FileCheck::isRefusedWrite(error))
        return error;
    for (const auto& k : known)
        if (error.contains(QLatin1String(k.english), Qt::CaseInsensitive))
            return QStringLiteral("%1\n（详细信息：%2）").arg(QString::fromUtf8(k.advice), error);
    return QStringLiteral("数据库操作失败：%1").arg(error);
}

QtMessageService::QtMessageService() = default;
QtMessageService::~QtMessageService() = default;

void QtMessageService::showWait(const QString& text, const QString& caption)
{
    qCInfo(lcMessages).noquote() << caption << '|' << text;
    // A busy bar without a cancel button: the wait ends by itself.
    wait_ = std::make_unique<QProgressDialog>(text, QString(), 0, 0);
    wait_->setWindowTitle(caption);
    wait_->setWindowModality(Qt::ApplicationModal);
    wait_->setMinimumDuration(0);
    wait_->show();
}

void QtMessageService::endWait()
{
    wait_.reset();
}

MessageService::Answer QtMessageService::message(const QString& text, Icon icon, Buttons buttons,
                                                 const QString& caption)
{
    qCInfo(lcMessages).noquote() << caption << '|' << text;
    QMessageBox box(icon, caption, text, buttons, QApplication::activeWindow());
    // Texts carry typed and stored values: a tag among them is shown, not obeyed.
    box.setTextFormat(Qt::PlainText);
    return static_cast<Answer>(box.exec());
}

MessageService::Answer QtMessageService::choose(const QString& text, Icon icon, Buttons buttons,
                                                const QString& caption,
                                                const QList<std::pair<Answer, QString>>& captions)
{
    qCInfo(lcMessages).noquote() << caption << '|' << text;
    QMessageBox box(icon, caption, text, buttons, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    for (const auto& [answer, label] : captions)
        if (QAbstractButton* b = box.button(answer))
            b->setText(label);
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

QString QtMessageService::saveFileName(const QString& caption, const QString& suggested,
                                       const QString& filter)
{
    // In the folder proposed, or the user's own when it is gone, never in
    // the folder the program was started from.
    const QFileInfo proposed(suggested);
    QFileDialog dialog(QApplication::activeWindow(), caption,
                       proposed.isAbsolute() && proposed.absoluteDir().exists() ? proposed.absolutePath()
                                                                                : documentsFolder(),
                       filter);
    dialog.selectFile(proposed.fileName());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension gets the filter's ("*.csv"), before
    // the dialog asks whether to replace an existing file of that name.
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    if (const auto match = pattern.match(filter); match.hasMatch())
        dialog.setDefaultSuffix(match.captured(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtMessageService::openFileName(const QString& caption, const QString& folder, const QString& filter)
{
    QFileDialog dialog(QApplication::activeWindow(), caption,
                       QFileInfo(folder).isDir() ? folder : documentsFolder(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace shop

#include "journal.h"

#include "ui/app_context.h"

#include <QDir>
#include <QFile>

namespace shop {

QByteArray LoginJournal::loginEntry(const QString& user, const QDateTime& when)
{
    const QString first = AppContext::isSupervisorName(user) ? QStringLiteral("Supervisor")
                                                             : QStringLiteral("UserName:") + user;
    return (first + QStringLiteral("\r\nLogin  On :") + dateTimeText(when) + QStringLiteral("\r\n")).toUtf8();
}

QByteArray LoginJournal::logoutEntry(const QDateTime& when)
{
    return (QStringLiteral("Login Off :") + dateTimeText(when) + QStringLiteral("\r\n") +
            QString(33, QLatin1Char('-')) + QStringLiteral("\r\n"))
        .toUtf8();
}

bool LoginJournal::writeLogin(const QString& user)
{
    return append(loginEntry(user, ctx_.clock().now()));
}

bool LoginJournal::writeLogout()
{
    return append(logoutEntry(ctx_.clock().now()));
}

bool LoginJournal::append(const QByteArray& entry)
{
    QFile f(ctx_.paths().loginLog());
    QString error;
    // One write per entry, so an entry is never split by another writer. A
    // new journal is the owner's only: it tells who works when.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append, QFile::ReadOwner | QFile::WriteOwner))
        error = f.errorString();
    else if (f.write(entry) != entry.size() || !f.flush())
        error = f.errorString();
    f.close();
    if (error.isEmpty())
        return true;
    if (!warned_) {
        warned_ = true;
        ctx_.messages().critical(QStringLiteral("无法写入登录日志 %1：%2")
                                     .arg(QDir::toNativeSeparators(ctx_.paths().loginLog()), error),
                                 QStringLiteral("错误信息"));
    }
    return false;
}

} // namespace shop

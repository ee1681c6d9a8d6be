#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace shop {

class AppContext;

// The login journal login.log: entries of two lines, CR LF line ends, only
// ever appended. A failed write never stops a login or logout; the person
// is told once per run.
class LoginJournal {
public:
    explicit LoginJournal(AppContext& ctx) : ctx_(ctx) {}

    static QByteArray loginEntry(const QString& user, const QDateTime& when);
    static QByteArray logoutEntry(const QDateTime& when);

    bool writeLogin(const QString& user);
    bool writeLogout();

private:
    bool append(const QByteArray& entry);

    AppContext& ctx_;
    bool warned_ = false;
};

} // namespace shop

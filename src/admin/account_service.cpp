#include "account_service.h"

#include "data/password.h"
#include "data/schema.h"

namespace shop {

namespace {
bool hasApostrophe(const QString& s)
{
    return s.contains(QLatin1Char('\''));
}

AccountService::Result result(AccountService::Outcome o, const QString& error = {})
{
    return {o, error};
}

const QString kHashFailed = QStringLiteral("无法生成密码摘要");
} // namespace

DbValue<Account> AccountService::find(const QString& name)
{
    // The login's lookup: the column compares without letter case.
    return users::find(db_, name);
}

AccountService::Result AccountService::checkNewName(const QString& name)
{
    if (hasApostrophe(name))
        return result(Outcome::ApostropheInName);
    const auto existing = find(name);
    if (existing.failed())
        return result(Outcome::Failed, existing.error());
    if (existing.found())
        return result(Outcome::NameExists);
    // No row holds it yet, but a login by it would count as the supervisor
    // and the delete list never shows it.
    return result(schema::username::isSupervisorName(name) ? Outcome::ReservedName : Outcome::Done);
}

AccountService::Result AccountService::add(const QString& name, const QString& password, const QString& kind)
{
    if (password.isEmpty())
        return result(Outcome::EmptyPassword);
    if (hasApostrophe(name))
        return result(Outcome::ApostropheInName);
    if (hasApostrophe(password))
        return result(Outcome::ApostropheInPassword);
    if (Result r = checkNewName(name); !r.ok())
        return r;
    const QString hash = hashPassword(password);
    if (hash.isEmpty())
        return result(Outcome::Failed, kHashFailed);
    const DbResult r = users::add(db_, name, hash, kind);
    return r ? result(Outcome::Done) : result(Outcome::Failed, r.error);
}

AccountService::Result AccountService::checkPassword(const QString& user, const QString& password)
{
    const auto account = find(user);
    if (account.failed())
        return result(Outcome::Failed, account.error());
    if (!account.found())
        return result(Outcome::NoAccount);
    return result(verifyPassword(password, account->passwordHash) ? Outcome::Done : Outcome::WrongPassword);
}

AccountService::Result AccountService::changePassword(const QString& user, const QString& oldPassword,
                                                      const QString& newPassword)
{
    const auto account = find(user);
    if (account.failed())
        return result(Outcome::Failed, account.error());
    if (!account.found())
        return result(Outcome::NoAccount);
    if (!verifyPassword(oldPassword, account->passwordHash))
        return result(Outcome::WrongPassword);
    if (newPassword.isEmpty())
        return result(Outcome::EmptyPassword);
    if (hasApostrophe(newPassword))
        return result(Outcome::ApostropheInPassword);
    const QString hash = hashPassword(newPassword);
    if (hash.isEmpty())
        return result(Outcome::Failed, kHashFailed);
    // Exactly the row the login matches and whose password was checked.
    const DbResult r = users::setPassword(db_, account->rowid, hash);
    if (!r)
        return result(Outcome::Failed, r.error);
    if (r.rowsAffected != 1)
        return result(Outcome::NoAccount);
    return result(Outcome::Done);
}

bool AccountService::isOwnAccount(const QString& accountName, const QString& curUser)
{
    return accountName.compare(curUser, Qt::CaseInsensitive) == 0;
}

} // namespace shop

#pragma once

#include "data/accounts.h"
#include "data/database.h"

#include <QString>

namespace shop {

// The rules of the account windows, without widgets. Names compare as the
// login compares them (letter case ignored); passwords are stored only as
// the Argon2id hashes the login checks. The login window discards a typed
// apostrophe, so a name or password holding one is refused: it could never
// log in.
class AccountService {
public:
    enum class Outcome {
        Done,
        EmptyPassword,
        ApostropheInName,
        ApostropheInPassword,
        NameExists,
        ReservedName, // a supervisor's name, in any letter case
        WrongPassword,
        NoAccount,
        Failed, // database or hashing error, in `error`
    };
    struct Result {
        Outcome outcome = Outcome::Done;
        QString error;
        bool ok() const { return outcome == Outcome::Done; }
    };

    static inline const QString kOrdinary = QStringLiteral("M");
    static inline const QString kRestricted = QStringLiteral("R");

    explicit AccountService(Database& accounts) : db_(accounts) {}

    // The row a login by that name matches: the first one, case ignored.
    DbValue<Account> find(const QString& name);

    // Done when no account has that name and it is not a supervisor's;
    // NameExists, ReservedName, ApostropheInName or Failed otherwise.
    Result checkNewName(const QString& name);
    // Adds an account of `kind` (kOrdinary or kRestricted) after the checks
    // of the add dialog, in its order: password, apostrophes, name.
    Result add(const QString& name, const QString& password, const QString& kind);

    // Done when `password` is the one of `user`'s own account.
    Result checkPassword(const QString& user, const QString& password);
    // Rewrites the password of `user`'s own account, after checking the old one.
    Result changePassword(const QString& user, const QString& oldPassword, const QString& newPassword);

    // The account of the logged-in user: it must not be deleted under them.
    static bool isOwnAccount(const QString& accountName, const QString& curUser);

private:
    Database& db_;
};

} // namespace shop

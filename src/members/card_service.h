#pragma once

#include "data/database.h"

#include <QString>
#include <QStringList>

namespace shop {

// A top-up as the person gave it.
struct TopUp {
    qint64 rowid = 0; // the card's row
    QString added;    // uses or amount added, as typed
    QString received; // money received, as typed
    QString handler;  // the employee
};

enum class TopUpRefusal {
    None,
    CardGone,
    // Neither a card of uses nor a stored-value card: nothing to add to.
    NoFigure,
    BadAdded,
    BadReceived,
    // The new figure is beyond any number.
    OutOfRange,
};

struct TopUpOutcome {
    enum Kind { Done, Refused, Failed };
    Kind kind = Done;
    TopUpRefusal refusal = TopUpRefusal::None;
    QString error;
    QStringList card; // the card afterwards (Done)
};

// The member cards' own rules, apart from the window.
class CardService {
public:
    explicit CardService(Database& db) : db_(db) {}

    // What a top-up adds to: 次数 on a card of uses, 金额 on a stored-value
    // card; empty for any other type.
    static QString toppedUp(const QString& type);
    // A typed amount: a plain decimal number (blanks around it allowed).
    static bool isAmount(const QString& text);

    // Adds the uses or amount to the stored figure, with the ledger row and
    // the money received, in one transaction.
    TopUpOutcome topUp(const TopUp& t);

private:
    Database& db_;
};

} // namespace shop

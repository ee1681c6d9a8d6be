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
    // The rules of a top-up's figures as typed: the uses or amount added is
    // a number above 0 (BadAdded), the money received one of 0 or more
    // (BadReceived). The window asks by them, the top-up checks by them.
    static TopUpRefusal checkAdded(const QString& added);
    static TopUpRefusal checkReceived(const QString& received);

    // Whether changing card `stored` to `typed` (values in column order)
    // raises its amount or its uses: the money received is asked then.
    static bool raises(const QStringList& stored, const QStringList& typed);
    // The money the question offers: the amount added to a stored-value
    // card; nothing for any other type (its price is not known).
    static QString receivedByDefault(const QStringList& stored, const QStringList& typed);

    // Adds the uses or amount to the stored figure, with the ledger row and
    // the money received, in one transaction.
    TopUpOutcome topUp(const TopUp& t);
    // Opens card `values`, or changes card `rowid` to them, with the money
    // received (as typed, checked) in its ledger row; an empty text says no
    // money was received, and the row is marked so.
    DbResult open(const QStringList& values, const QString& received);
    DbResult change(qint64 rowid, const QStringList& values, const QString& received);

private:
    Database& db_;
};

} // namespace shop

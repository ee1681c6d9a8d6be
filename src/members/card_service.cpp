#include "card_service.h"

#include "data/card_ledger.h"
#include "data/numeric.h"
#include "data/schema.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>

namespace shop {

QString CardService::toppedUp(const QString& type)
{
    if (cards::isUseCard(type))
        return schema::numbercard::kUses;
    if (cards::isValueCard(type))
        return schema::numbercard::kBalance;
    return {};
}

bool CardService::isAmount(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*\\d+(\\.\\d+)?\\s*$"));
    return number.match(text).hasMatch();
}

TopUpRefusal CardService::checkAdded(const QString& added)
{
    return isAmount(added) && numericValue(added) > 0 ? TopUpRefusal::None : TopUpRefusal::BadAdded;
}

TopUpRefusal CardService::checkReceived(const QString& received)
{
    return isAmount(received) ? TopUpRefusal::None : TopUpRefusal::BadReceived;
}

bool CardService::raises(const QStringList& stored, const QStringList& typed)
{
    return std::ranges::any_of(
        std::array{schema::numbercard::kBalance, schema::numbercard::kUses}, [&](const QString& figure) {
            return numericValue(cards::valueOf(typed, figure)) > numericValue(cards::valueOf(stored, figure));
        });
}

QString CardService::receivedByDefault(const QStringList& stored, const QStringList& typed)
{
    namespace n = schema::numbercard;
    const double added =
        numericValue(cards::valueOf(typed, n::kBalance)) - numericValue(cards::valueOf(stored, n::kBalance));
    if (!cards::isValueCard(cards::valueOf(typed, n::kType)) || !(added > 0) || !std::isfinite(added))
        return {};
    return numberText(added);
}

namespace {

// The ledger's note of money received as typed: none is marked so.
cards::Note receivedNote(const QStringList& values, const QString& received)
{
    cards::Note note;
    note.handler = cards::valueOf(values, schema::numbercard::kHandler);
    if (received.trimmed().isEmpty())
        note.remark = QStringLiteral("未收款");
    else
        note.received = numberText(numericValue(received));
    return note;
}

} // namespace

DbResult CardService::open(const QStringList& values, const QString& received)
{
    return cards::open(db_, values, receivedNote(values, received));
}

DbResult CardService::change(qint64 rowid, const QStringList& values, const QString& received)
{
    return cards::modify(db_, rowid, cards::Change::Modify, values, receivedNote(values, received));
}

TopUpOutcome CardService::topUp(const TopUp& t)
{
    TopUpOutcome out;
    const auto refuse = [&out](TopUpRefusal r) {
        out.kind = TopUpOutcome::Refused;
        out.refusal = r;
        return out;
    };
    for (const TopUpRefusal r : {checkAdded(t.added), checkReceived(t.received)})
        if (r != TopUpRefusal::None)
            return refuse(r);

    TopUpRefusal refusal = TopUpRefusal::None;
    cards::Note note;
    note.received = numberText(numericValue(t.received));
    note.handler = t.handler;
    const auto changed =
        cards::change(db_, t.rowid, cards::Change::TopUp, note, [&](const QStringList& stored) {
            const QString figure = toppedUp(cards::valueOf(stored, schema::numbercard::kType));
            if (figure.isEmpty()) {
                refusal = TopUpRefusal::NoFigure;
                return std::optional<QStringList>();
            }
            const double sum = numericValue(cards::valueOf(stored, figure)) + numericValue(t.added);
            if (!std::isfinite(sum)) {
                refusal = TopUpRefusal::OutOfRange;
                return std::optional<QStringList>();
            }
            QStringList next = stored;
            cards::setValue(next, figure, numberText(sum));
            return std::optional<QStringList>(next);
        });
    if (!changed) {
        out.kind = TopUpOutcome::Failed;
        out.error = changed.error();
        return out;
    }
    if (changed->gone())
        return refuse(TopUpRefusal::CardGone);
    if (changed->refused)
        return refuse(refusal);
    out.card = changed->after;
    return out;
}

} // namespace shop

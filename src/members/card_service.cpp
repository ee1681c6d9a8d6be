#include "card_service.h"

#include "data/card_ledger.h"
#include "data/numeric.h"
#include "data/schema.h"

#include <QRegularExpression>

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

TopUpOutcome CardService::topUp(const TopUp& t)
{
    TopUpOutcome out;
    const auto refuse = [&out](TopUpRefusal r) {
        out.kind = TopUpOutcome::Refused;
        out.refusal = r;
        return out;
    };
    if (!isAmount(t.added) || numericValue(t.added) <= 0)
        return refuse(TopUpRefusal::BadAdded);
    if (!isAmount(t.received))
        return refuse(TopUpRefusal::BadReceived);

    TopUpRefusal refusal = TopUpRefusal::None;
    cards::Note note;
    note.received = numberText(numericValue(t.received));
    note.handler = t.handler;
    const auto changed =
        cards::change(db_, t.rowid, cards::Change::TopUp, note, [&](const QStringList& stored) {
            const QString figure = toppedUp(stored.value(cards::Type));
            if (figure.isEmpty()) {
                refusal = TopUpRefusal::NoFigure;
                return std::optional<QStringList>();
            }
            const int at = figure == schema::numbercard::kUses ? cards::Uses : cards::Balance;
            const double sum = numericValue(stored.value(at)) + numericValue(t.added);
            if (!std::isfinite(sum)) {
                refusal = TopUpRefusal::OutOfRange;
                return std::optional<QStringList>();
            }
            QStringList next = stored;
            next[at] = numberText(sum);
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

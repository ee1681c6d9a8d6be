#pragma once

#include "data/schema.h"
#include "ui/app_context.h"
#include "ui/record_view.h"
#include "ui/widgets.h"

#include <QWidget>

#include <memory>
#include <optional>

class QComboBox;

namespace shop {

class FieldSet;
class KeyedRows;
class WorkerBox;

// The member card window: opens, changes (tops up), deletes and finds the
// prepaid cards of `numbercard`. The card number is the key business entry
// charges by, so no second card with an existing number is ever opened.
class CardWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString kTable = schema::numbercard::kTable;
    static const QStringList& cardTypes();

    explicit CardWindow(AppContext& ctx, QWidget* parent = nullptr);
    ~CardWindow() override;

    RecordView* grid() const { return grid_; }

    // Procedures of the window.
    void clear_card_fields();
    // Copies a stored card (nine values in table order) into the fields.
    void show_card(const QStringList& card);
    void fill_worker_list();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void saveCard();
    void modifyCard();
    void deleteCard();
    void queryCards();
    void showAllCards();
    void showClickedCard(const Record& record);
    // 充值: adds uses or an amount to the card in the fields.
    void topUpCard();
    // The card history of the card in the fields.
    void showHistory();
    // The card the fields show while it still has the typed number, else
    // the first card with that number; no value when there is none.
    DbValue<qint64> cardInFields();
    void fillCardTypes();
    // The money received at an opening or a change (`offered` by default):
    // empty when none was given; no value when what was typed is refused
    // (said).
    std::optional<QString> askReceived(const QString& caption, const QString& offered);
    Database& db() { return ctx_.business(); }

    AppContext& ctx_;
    FieldSet* fields_;
    WorkerBox* worker_;   // com_name
    QComboBox* cardType_; // com_style
    EntryButtons buttons_;
    QPushButton* topUp_; // cmd_topup
    RecordView* grid_;   // bg
    std::unique_ptr<KeyedRows> keyed_;
};

} // namespace shop

#pragma once

#include "ui/app_context.h"
#include "ui/record_view.h"

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTimer;

namespace shop {

class EnterChain;

// The member card window: opens, changes (tops up), deletes and finds the
// prepaid cards of `numbercard`. The card number is the key business entry
// charges by, so no second card with an existing number is ever opened.
class CardWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString kTable = QStringLiteral("numbercard");
    static const QStringList& cardTypes();

    explicit CardWindow(AppContext& ctx, QWidget* parent = nullptr);

    RecordView* grid() const { return bg_; }

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
    void headerClicked(int index);
    void fillCardTypes();
    QStringList fieldValues() const;
    Database& db() { return ctx_.business(); }

    AppContext& ctx_;
    QLineEdit* txt_date_;
    QLineEdit* txt_number_;
    QComboBox* com_name_;
    QLineEdit* txt_name_;
    QLineEdit* txt_service_;
    QLineEdit* txt_jine_;
    QLineEdit* txt_times_;
    QComboBox* com_style_;
    QLineEdit* txt_remark_;
    QPushButton* cmd_save_;
    QPushButton* cmd_deleted_;
    QPushButton* cmd_modify_;
    QPushButton* cmd_query_;
    QPushButton* cmd_exit_;
    RecordView* bg_;
    EnterChain* chain_;
    QTimer* timer_;
};

} // namespace shop

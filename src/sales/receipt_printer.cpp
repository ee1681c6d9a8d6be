#include "receipt_printer.h"

#include "ui/app_context.h"
#include "ui/document_path.h"
#include "data/card_ledger.h"
#include "data/sale_rows.h"
#include "data/schema.h"
#include "data/table_rows.h"

#include <QDir>
#include <QTextDocument>

namespace shop {

namespace {
const QString kCaption = QStringLiteral("打印小票");
const QString kNoPrinter = QStringLiteral("没有安装打印机，小票无法打印。");
// The answers to "no printer", each button saying what it does, the same
// wherever it is asked.
const std::pair<MessageService::Answer, QString> kSavePdf{QMessageBox::Save, QStringLiteral("另存为PDF")};
const std::pair<MessageService::Answer, QString> kReceiptsOff{QMessageBox::Discard,
                                                              QStringLiteral("关闭小票打印")};
const std::pair<MessageService::Answer, QString> kSkip{QMessageBox::Cancel, QStringLiteral("跳过本张")};
} // namespace

Receipt ReceiptPrinter::completed(Receipt r) const
{
    const ShopSettings::Receipt s = ctx_.shopSettings().receipt();
    r.company = ctx_.shopSettings().companyName();
    r.login = ctx_.curUser();
    r.footer = s.footer;
    return r;
}

void ReceiptPrinter::afterSale(const QString& key)
{
    if (!ctx_.shopSettings().receipt().on)
        return;
    // A sale's salse row is stored under its key (see sale_rows.h).
    const auto stored = this->stored(key.toLongLong(), Receipt::Print::First);
    if (!stored)
        return;
    const Receipt& r = *stored;

    if (!ctx_.printing().hasPrinter()) {
        if (!ctx_.firstTimeThisRun(QStringLiteral("receipt without a printer")))
            return;
        const auto answer = ctx_.messages().choose(
            kNoPrinter +
                QStringLiteral("\n可将本张小票另存为PDF文件，或关闭“打印小票”（可在“系统设置”中重新打开）。"),
            QMessageBox::Question, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, kCaption,
            {kSavePdf, kReceiptsOff, kSkip});
        if (answer == kSavePdf.first) {
            savePdf(r);
        } else if (answer == kReceiptsOff.first) {
            ctx_.shopSettings().setReceiptsOn(false);
        }
        return;
    }
    print(r, QStringLiteral("本笔业务已经保存，可在表格的右键菜单中选择“补打小票”重新打印。"));
}

std::optional<Receipt> ReceiptPrinter::stored(qint64 rowid, Receipt::Print print)
{
    MessageService& m = ctx_.messages();
    const auto row = rows::storedRow(ctx_.business(), schema::salse::kTable, rowid);
    if (row.failed()) {
        m.databaseError(row.error());
        return std::nullopt;
    }
    if (!row.found()) {
        m.critical(QStringLiteral("此业务记录已被删除，不能补打小票！"), QStringLiteral("错误"));
        return std::nullopt;
    }
    Receipt r = receiptOf(*row);
    // The sale's key; a row from before sales had keys is named by its row.
    const auto key = sales::keyOf(ctx_.business(), rowid, *row);
    r.number = key.found() && !key->isEmpty() ? *key : QString::number(rowid);
    // The card as it is now: its type, and right after the sale what a
    // card of a type never charged holds.
    QStringList card;
    if (const auto first = rows::firstRowid(ctx_.business(), schema::numbercard::kTable,
                                            {{schema::numbercard::kNumber, Op::Eq, r.card}});
        first.found()) {
        if (const auto values = rows::storedRow(ctx_.business(), schema::numbercard::kTable, *first);
            values.found())
            card = *values;
    }
    r.cardType = cards::valueOf(card, schema::numbercard::kType);
    // What the charge left on the card, as the ledger kept it; a sale from
    // before the ledger (or not charged) says nothing of it. A card of uses
    // always loses one, so unchanged uses mean the balance was charged.
    const auto charge = key.found() && !key->isEmpty() ? cards::chargeOf(ctx_.business(), *key)
                                                       : DbValue<cards::Charge>::none();
    if (charge.found()) {
        if (charge->after.uses != charge->before.uses)
            r.usesLeft = charge->after.uses;
        else
            r.balanceLeft = charge->after.balance;
    } else if (print == Receipt::Print::First && !card.isEmpty()) {
        r.usesLeft = cards::valueOf(card, schema::numbercard::kUses);
        r.balanceLeft = cards::valueOf(card, schema::numbercard::kBalance);
    }
    r.print = print;
    // The first print is dated when it is sold; a reprint says when it
    // was printed again.
    if (print == Receipt::Print::First)
        r.dateTime = dateTimeText(ctx_.clock().now());
    if (print == Receipt::Print::Reprint)
        r.reprintedAt = dateTimeText(ctx_.clock().now());
    return completed(r);
}

void ReceiptPrinter::reprint(qint64 rowid)
{
    const auto r = stored(rowid, Receipt::Print::Reprint);
    if (!r)
        return;
    if (!ctx_.printing().hasPrinter()) {
        if (ctx_.messages().choose(kNoPrinter + QStringLiteral("\n可将小票另存为PDF文件。"),
                                   QMessageBox::Question, QMessageBox::Save | QMessageBox::Cancel, kCaption,
                                   {kSavePdf, kSkip}) == kSavePdf.first)
            savePdf(*r);
        return;
    }
    print(*r, QString());
}

void ReceiptPrinter::preview(qint64 rowid)
{
    const auto r = stored(rowid, Receipt::Print::Preview);
    if (!r)
        return;
    const QString paper = ctx_.shopSettings().receipt().paper;
    const auto document = receiptDocument(*r, paper);
    if (ctx_.printing().preview(*document, receiptTitle(), receiptPaper(paper)) == PrintResult::Failed)
        ctx_.messages().critical(QStringLiteral("小票打印失败，请检查打印机后重试。"),
                                 QStringLiteral("打印错误"));
}

bool ReceiptPrinter::print(const Receipt& r, const QString& afterFailure)
{
    const ShopSettings::Receipt s = ctx_.shopSettings().receipt();
    const auto document = receiptDocument(r, s.paper);
    QString error;
    if (ctx_.printing().printOn(*document, receiptTitle(), s.printer, receiptPaper(s.paper), &error) !=
        PrintResult::Failed)
        return true;
    QString text = QStringLiteral("小票打印失败：") + error;
    if (!afterFailure.isEmpty())
        text += u'\n' + afterFailure;
    ctx_.messages().critical(text, QStringLiteral("打印错误"));
    return false;
}

void ReceiptPrinter::savePdf(const Receipt& r)
{
    MessageService& m = ctx_.messages();
    const QString file = chooseDocumentFile(ctx_, QStringLiteral("小票另存为PDF"), receiptTitle() + r.number,
                                            QStringLiteral(".pdf"), QStringLiteral("PDF文件 (*.pdf)"));
    if (file.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(file);
    const QString paper = ctx_.shopSettings().receipt().paper;
    const auto document = receiptDocument(r, paper);
    if (const SaveOutcome saved = ctx_.printing().saveAsPdf(*document, file, receiptPaper(paper)); !saved)
        m.critical(QStringLiteral("无法保存PDF文件：\n%1\n%2").arg(shown, saved.failure),
                   QStringLiteral("错误"));
    else
        m.information(QStringLiteral("小票已保存为PDF文件：\n") + shown, QStringLiteral("信息"));
}

} // namespace shop

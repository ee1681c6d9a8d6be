#include "receipt.h"

#include "data/numeric.h"
#include "data/sale_rows.h"

#include <QFont>
#include <QTextDocument>
#include <QTextOption>

namespace shop {

namespace {

// Columns a character takes in the receipt's font: two for the wide
// (Chinese, Japanese, Korean and full-width) characters, one otherwise.
int columnsOf(QChar c)
{
    const char16_t u = c.unicode();
    const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                      (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                      (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                      (u >= 0xFFE0 && u <= 0xFFE6);
    return wide ? 2 : 1;
}

int columnsOf(const QString& text)
{
    int n = 0;
    for (QChar c : text)
        n += columnsOf(c);
    return n;
}

// A value as one line of text: a stored line break or tab would break the
// layout.
QString oneLine(const QString& text)
{
    QString out = text.trimmed();
    for (QChar& c : out)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    return out;
}

// `text` cut into pieces no wider than `columns`.
QStringList pieces(const QString& text, int columns)
{
    QStringList out;
    QString piece;
    int width = 0;
    for (QChar c : text) {
        const int w = columnsOf(c);
        if (width + w > columns && !piece.isEmpty()) {
            out << piece;
            piece.clear();
            width = 0;
        }
        piece += c;
        width += w;
    }
    if (!piece.isEmpty() || out.isEmpty())
        out << piece;
    return out;
}

class Lines {
public:
    explicit Lines(int columns) : columns_(columns) {}

    void centred(const QString& text)
    {
        for (const QString& p : pieces(oneLine(text), columns_))
            lines_ << QString((columns_ - columnsOf(p)) / 2, u' ') + p;
    }
    // The label on the left, the value on the right; a value too long for
    // the line goes on the lines below it.
    void pair(const QString& label, const QString& value)
    {
        const QString v = oneLine(value);
        if (v.isEmpty()) {
            lines_ << label;
            return;
        }
        const int room = columns_ - columnsOf(label) - columnsOf(v);
        if (room >= 1) {
            lines_ << label + QString(room, u' ') + v;
            return;
        }
        lines_ << label;
        for (const QString& p : pieces(v, columns_))
            lines_ << QString(columns_ - columnsOf(p), u' ') + p;
    }
    void rule() { lines_ << QString(columns_, u'-'); }
    QStringList lines() const { return lines_; }

private:
    int columns_;
    QStringList lines_;
};

QString lastFour(const QString& card)
{
    return QStringLiteral("****") + card.right(4);
}

} // namespace

Receipt receiptOf(const QStringList& v)
{
    const sales::SaleRow sale = sales::SaleRow::fromValues(v);
    Receipt r;
    r.dateTime = sale.date;
    r.type = sale.type;
    r.card = sale.card;
    r.productName = sale.productName;
    r.quantity = sale.quantity;
    r.price = sale.retailPrice;
    r.received = sale.received;
    r.serviceItem = sale.serviceItem;
    r.employee = sale.employee;
    return r;
}

QString receiptTitle()
{
    return QStringLiteral("销售小票");
}

Paper receiptPaper(const QString& paper)
{
    // A 58 mm roll prints on about 48 mm of it, an 80 mm roll on 72 mm.
    if (paper == QStringLiteral("80"))
        return Paper::rollOf(80, 4);
    if (paper == QStringLiteral("A5"))
        return Paper::a5();
    return Paper::rollOf(58, 5);
}

int receiptColumns(const QString& paper)
{
    if (paper == QStringLiteral("80"))
        return 48;
    if (paper == QStringLiteral("A5"))
        return 64;
    return 32;
}

QStringList receiptLines(const Receipt& r, int columns)
{
    Lines out(columns);
    out.centred(r.company);
    const bool reprint = r.print == Receipt::Print::Reprint;
    out.centred(reprint ? receiptTitle() + QStringLiteral("（重印）") : receiptTitle());
    out.rule();
    out.pair(QStringLiteral("单号"), r.number);
    out.pair(QStringLiteral("时间"), r.dateTime);
    out.pair(QStringLiteral("业务类型"), r.type);
    out.rule();
    if (r.type.contains(QStringLiteral("商品销售"))) {
        out.pair(QStringLiteral("商品名称"), r.productName);
        out.pair(QStringLiteral("数量"), r.quantity);
        // Both figures in one form: the stored price may carry 元, the amount does not.
        const double price = numericValue(r.price);
        out.pair(QStringLiteral("单价"), numberText(price));
        out.pair(QStringLiteral("金额"), numberText(numericValue(r.quantity) * price));
    }
    if (r.type.contains(QStringLiteral("其它服务")))
        out.pair(QStringLiteral("服务项目"), r.serviceItem);
    out.rule();
    out.pair(QStringLiteral("实收金额"), r.received);
    if (r.card.isEmpty() || r.card == QStringLiteral("非会员")) {
        out.pair(QStringLiteral("卡号"), QStringLiteral("非会员"));
    } else {
        out.pair(QStringLiteral("卡号"), lastFour(r.card));
        if (!r.cardType.isEmpty())
            out.pair(QStringLiteral("卡类型"), r.cardType);
        if (!r.usesLeft.isEmpty())
            out.pair(QStringLiteral("剩余次数"), r.usesLeft);
        if (!r.balanceLeft.isEmpty())
            out.pair(QStringLiteral("卡内余额"), r.balanceLeft);
    }
    out.rule();
    out.pair(QStringLiteral("员工"), r.employee);
    if (reprint) {
        out.pair(QStringLiteral("重印时间"), r.reprintedAt);
        out.pair(QStringLiteral("重印人"), r.login);
    } else if (r.print == Receipt::Print::First) {
        out.pair(QStringLiteral("收银员"), r.login);
    }
    if (!oneLine(r.footer).isEmpty()) {
        out.rule();
        out.centred(r.footer);
    }
    return out.lines();
}

std::unique_ptr<QTextDocument> receiptDocument(const Receipt& receipt, const QString& paper)
{
    const int columns = receiptColumns(paper);
    const Paper p = receiptPaper(paper);
    auto doc = std::make_unique<QTextDocument>();
    // A Chinese character is one em wide and a figure half an em in this
    // font; the line's width in ems, with a little to spare, fills the
    // printable width.
    QFont font(QStringList{QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Sarasa Mono SC"),
                           QStringLiteral("NSimSun"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    const qreal emMm = p.printableWidthMm() / (columns / 2.0) * 0.96;
    font.setPointSizeF(emMm / 25.4 * 72);
    doc->setDefaultFont(font);
    doc->setDocumentMargin(0);
    doc->setPlainText(receiptLines(receipt, columns).join(u'\n'));
    return doc;
}

} // namespace shop

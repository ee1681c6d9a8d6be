#include "grid_delegates.h"

#include "record_view.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>

namespace shop {

namespace {
constexpr auto kOtherThanText = QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasCheckIndicator;
} // namespace

void GridDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QStaticText* text = plainText(opt);
    const QWidget* w = opt.widget;
    QStyle* style = w ? w->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
    const QRect room = opt.rect.adjusted(margin, 0, -margin, 0);
    // An empty cell (a card number of no member, a remark not given) has
    // only its panel to show.
    const bool empty = opt.text.isEmpty() && !(opt.features & kOtherThanText);
    if (!empty && (!text || text->size().width() > room.width())) {
        QStyledItemDelegate::paint(p, option, index);
        return;
    }
    // The panel and selection as the style draws them, the text, then
    // the focus frame over it, in the style's order (a style sheet
    // draws the whole item its own way). A panel with no selection, no
    // background, no alternate colour and no mouse over it is nothing.
    const bool bare = !(opt.state & (QStyle::State_Selected | QStyle::State_MouseOver)) &&
                      opt.backgroundBrush.style() == Qt::NoBrush &&
                      !(opt.features & QStyleOptionViewItem::Alternate);
    if (style->inherits("QStyleSheetStyle")) {
        QStyleOptionViewItem panel = opt;
        panel.text.clear();
        panel.features &= ~QStyleOptionViewItem::HasDisplay;
        panel.state &= ~QStyle::State_HasFocus;
        style->drawControl(QStyle::CE_ItemViewItem, &panel, p, w);
    } else if (!bare) {
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, p, w);
    }
    const bool enabled = opt.state & QStyle::State_Enabled;
    const bool selected = opt.state & QStyle::State_Selected;
    if (text) {
        QPalette::ColorGroup group = enabled ? QPalette::Normal : QPalette::Disabled;
        if (group == QPalette::Normal && !(opt.state & QStyle::State_Active))
            group = QPalette::Inactive;
        p->save();
        p->setFont(opt.font);
        p->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect at =
            QStyle::alignedRect(opt.direction, opt.displayAlignment, text->size().toSize(), room);
        p->drawStaticText(at.topLeft(), *text);
        p->restore();
    }
    if (opt.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect frame;
        frame.QStyleOption::operator=(opt);
        frame.rect = style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &opt, w);
        frame.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        frame.backgroundColor = opt.palette.color(enabled ? QPalette::Normal : QPalette::Disabled,
                                                  selected ? QPalette::Highlight : QPalette::Window);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, p, w);
    }
}

const QStaticText* GridDelegate::plainText(const QStyleOptionViewItem& opt) const
{
    if (!(opt.features & QStyleOptionViewItem::HasDisplay) || (opt.features & kOtherThanText) ||
        opt.text.isEmpty() || opt.text.contains(QChar::LineSeparator) || opt.text.contains(u'\n') ||
        opt.textElideMode == Qt::ElideNone)
        return nullptr;
    if (opt.font != font_ || texts_.size() > 4096) {
        texts_.clear();
        font_ = opt.font;
    }
    auto it = texts_.find(opt.text);
    if (it == texts_.end()) {
        QStaticText t(opt.text);
        t.setTextFormat(Qt::PlainText);
        t.prepare(QTransform(), opt.font);
        it = texts_.insert(opt.text, t);
    }
    return &*it;
}

UniqueColumnDelegate::UniqueColumnDelegate(RecordView* grid, const QString& message)
    : GridDelegate(grid), grid_(grid), message_(message)
{
}

void UniqueColumnDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                        const QModelIndex& index) const
{
    auto* edit = qobject_cast<QLineEdit*>(editor);
    const QString value = edit ? edit->text() : QString();
    const QString stored = index.data(Qt::EditRole).toString();
    if (edit && value.compare(stored, Qt::CaseInsensitive) != 0) {
        AppContext& ctx = grid_->context();
        const auto other =
            grid_->records()->otherRowHolding(index.data(RecordModel::RowidRole).toLongLong(), value);
        if (other.failed()) {
            ctx.messages().databaseError(other.error());
            return;
        }
        if (other) {
            ctx.messages().critical(message_, QStringLiteral("错误"));
            return;
        }
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

} // namespace shop

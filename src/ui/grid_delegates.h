#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace shop {

class RecordView;

// Draws a grid's cells as the style does, but lays each text out once and
// keeps it: laying text out again for every cell of every paint was most of
// the time a grid took to show a page. Texts that need eliding, several
// lines or an icon go the style's whole way.
class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // The cell's text laid out (kept for the next paint), or none when the
    // style's own way is needed.
    const QStaticText* plainText(const QStyleOptionViewItem& opt) const;

    mutable QHash<QString, QStaticText> texts_;
    mutable QFont font_;
};

// Writes an edited cell only when no other row holds the new value.
class UniqueColumnDelegate : public GridDelegate {
public:
    UniqueColumnDelegate(RecordView* grid, const QString& message);

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    RecordView* grid_;
    QString message_;
};

// Shows one text in every cell of a column.
class MaskDelegate : public GridDelegate {
public:
    MaskDelegate(const QString& mask, QObject* parent) : GridDelegate(parent), mask_(mask) {}
    QString displayText(const QVariant&, const QLocale&) const override { return mask_; }

private:
    QString mask_;
};

} // namespace shop

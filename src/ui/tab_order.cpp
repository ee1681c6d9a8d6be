#include "tab_order.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QGridLayout>
#include <QMainWindow>

#include <algorithm>

namespace shop {

namespace {

struct Walk {
    QList<QWidget*> controls;
    QList<QWidget*> grids;
};

void walkLayout(QLayout* layout, Walk& walk);

void walkWidget(QWidget* w, Walk& walk)
{
    if (qobject_cast<QAbstractItemView*>(w)) {
        walk.grids << w;
        return;
    }
    if (w->focusPolicy() & Qt::TabFocus)
        walk.controls << w;
    // A box with controls of its own (a group box, a frame).
    if (w->layout())
        walkLayout(w->layout(), walk);
}

void walkItem(QLayoutItem* item, Walk& walk)
{
    if (QWidget* w = item->widget())
        walkWidget(w, walk);
    else if (QLayout* l = item->layout())
        walkLayout(l, walk);
}

// The items of a layout as they are read: a grid's by row, then column; a
// row or column of boxes in the direction it is read.
QList<QLayoutItem*> itemsInReadingOrder(QLayout* layout)
{
    QList<QLayoutItem*> items;
    for (int i = 0; i < layout->count(); ++i)
        items << layout->itemAt(i);
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        auto cell = [grid](QLayoutItem* item) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(grid->indexOf(item), &row, &column, &rows, &columns);
            return std::pair(row, column);
        };
        std::stable_sort(items.begin(), items.end(),
                         [&cell](QLayoutItem* a, QLayoutItem* b) { return cell(a) < cell(b); });
    } else if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
        const auto d = box->direction();
        if (d == QBoxLayout::RightToLeft || d == QBoxLayout::BottomToTop)
            std::reverse(items.begin(), items.end());
    }
    return items;
}

void walkLayout(QLayout* layout, Walk& walk)
{
    for (QLayoutItem* item : itemsInReadingOrder(layout))
        walkItem(item, walk);
}

} // namespace

QList<QWidget*> readingOrder(QWidget* window)
{
    auto* main = qobject_cast<QMainWindow*>(window);
    QWidget* root = main ? main->centralWidget() : window;
    Walk walk;
    if (root && root->layout())
        walkLayout(root->layout(), walk);
    return walk.controls + walk.grids;
}

void tabInReadingOrder(QWidget* window)
{
    const QList<QWidget*> order = readingOrder(window);
    for (int i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order.at(i), order.at(i + 1));
}

} // namespace shop

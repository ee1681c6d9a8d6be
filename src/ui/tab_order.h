#pragma once

#include <QList>

class QWidget;

namespace shop {

// Tab and Shift+Tab move through a window's controls in reading order: its
// layout's rows from top to bottom, each from left to right, the controls of
// a box where the box sits; the grids come last, after every field and
// button. The order is read from the layouts, so a window states it only by
// where it places its controls. Called once the window's layout is built.
void tabInReadingOrder(QWidget* window);

// The controls Tab visits, in that order (a main window's are those of its
// central widget).
QList<QWidget*> readingOrder(QWidget* window);

} // namespace shop

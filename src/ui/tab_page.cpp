#include "tab_page.h"

#include "record_view.h"

#include <QPushButton>

namespace shop {

void TabPage::updateStates()
{
    if (stateGrid_)
        stateGrid_->updateItemStates();
}

void TabPage::closesWith(QPushButton* exit, std::function<void()> clear)
{
    connect(exit, &QPushButton::clicked, this, [this, clear = std::move(clear)] {
        clear();
        emit closeRequested();
    });
}

} // namespace shop

#include "app/pagestack.h"

PageStack* PageStack::instance()
{
    static PageStack stack;
    return &stack;
}

QWidget* PageStack::windowAt(int position) const
{
    if (position < 0 || position >= kCapacity)
        return nullptr;
    return windowSlots[static_cast<size_t>(position)];
}

void PageStack::setRoot(QWidget* window)
{
    if (!window)
        return;
    for (auto& slot : windowSlots)
        slot.clear();
    index = 0;
    windowSlots[0] = window;
}

void PageStack::push(QWidget* window)
{
    if (!window)
        return;
    QWidget* current = windowSlots[static_cast<size_t>(index)];
    // Without a visible window there is no rectangle to take over, and beyond the capacity no slot to use.
    if (!current || index + 1 >= kCapacity) {
        window->deleteLater();
        return;
    }
    current->hide();
    window->setGeometry(current->geometry());
    window->show();
    ++index;
    windowSlots[static_cast<size_t>(index)] = window;
}

void PageStack::back()
{
    QWidget* current = windowSlots[static_cast<size_t>(index)];
    const QRect rectangle = current ? current->geometry() : QRect();
    if (current) {
        current->hide();
        release(index);
    }
    if (index <= 0)
        return;
    --index;
    if (QWidget* below = windowSlots[static_cast<size_t>(index)]) {
        if (rectangle.isValid())
            below->setGeometry(rectangle);
        below->show();
    }
}

void PageStack::home()
{
    QWidget* top = windowSlots[static_cast<size_t>(index)];
    const QRect rectangle = top ? top->geometry() : QRect();
    while (index > 0) {
        if (QWidget* page = windowSlots[static_cast<size_t>(index)]) {
            page->hide();
            release(index);
        }
        --index;
    }
    if (QWidget* root = windowSlots[0]) {
        if (rectangle.isValid())
            root->setGeometry(rectangle);
        root->show();
    }
    windowSlots[0].clear();
}

void PageStack::release(int position)
{
    QWidget* window = windowSlots[static_cast<size_t>(position)];
    windowSlots[static_cast<size_t>(position)].clear();
    // The root belongs to whoever created it; pages belong to the stack once pushed. deleteLater waits until
    // control is back in the event loop, so a page that called back() from its own slot finishes that slot first.
    if (position > 0 && window)
        window->deleteLater();
}

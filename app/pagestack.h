#ifndef APP_PAGESTACK_H
#define APP_PAGESTACK_H

#include <QPointer>
#include <QWidget>

#include <array>

// The process-wide record of the windows under the visible one. Opening a page hides the current window and
// shows the new one in the same screen rectangle; back and home return to the windows below.
//
// Pages (everything above the root) must be created on the heap: the stack owns every page it is given. Once a
// page leaves the stack, or when its push is refused, it is hidden and deleted later (deleteLater), so a long
// session does not pile up hidden windows. The root is never deleted.
class PageStack
{
public:
    static constexpr int kCapacity = 10;

    static PageStack* instance();

    // Forgets every entry and makes window the only one. A null window is ignored.
    void setRoot(QWidget* window);
    // Hides the visible window and shows window in its rectangle. Ignored for a null window, and refused without
    // a root or when the stack is full: then nothing changes but that window is deleted later.
    void push(QWidget* window);
    // Hides the visible window and shows the one below in its rectangle.
    void back();
    // Hides every page and shows the root in the top page's rectangle; the stack is empty afterwards.
    void home();

    int currentIndex() const { return index; }
    QWidget* windowAt(int position) const;

private:
    PageStack() = default;
    PageStack(const PageStack&) = delete;
    PageStack& operator=(const PageStack&) = delete;

    void release(int position);

    // Guarded pointers, so that a window destroyed elsewhere cannot leave a dangling entry. (Qt reserves the
    // word "slots", hence the name.)
    std::array<QPointer<QWidget>, kCapacity> windowSlots;
    int index = 0;
};

#endif // APP_PAGESTACK_H

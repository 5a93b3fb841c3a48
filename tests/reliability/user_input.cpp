#include "tests/reliability/user_input.h"

#include <qpa/qwindowsysteminterface.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionComplex>
#include <QWidget>
#include <QWindow>

namespace user_input {

namespace {

using Async = QWindowSystemInterface::AsynchronousDelivery;

// Event times in ms: separate clicks lie far apart so that two of them never make a double
// click by accident; the clicks of a double click lie close together.
ulong timestamp = 1'000'000;
constexpr ulong kApart = 2'000;
constexpr ulong kQuick = 20;

QWindow* HandleOf(QWidget* widget) {
    QWidget* top = widget ? widget->window() : nullptr;
    return top ? top->windowHandle() : nullptr;
}

void Mouse(QWidget* widget, QPoint at, Qt::MouseButton button, QEvent::Type type) {
    QWindow* window = HandleOf(widget);
    if (!window)
        return;
    const QPointF local = widget->mapTo(widget->window(), at);
    const QPointF global = widget->mapToGlobal(at);
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? button : Qt::NoButton;
    QWindowSystemInterface::handleMouseEvent<Async>(window, timestamp, local, global, held, button,
                                                    type);
}

QPoint Where(QWidget* widget, QPoint at) {
    return at == QPoint(-1, -1) ? widget->rect().center() : at;
}

// The window manager makes the window the user clicks or types into the active one (after a
// dialog closes it activates the window under it, which offscreen nothing does): a window
// that is not active moves its focus without focus events, so a box that was left would never
// hear of it. The window is active before the input, as on a desktop, not by an event queued
// beside it that a wait for a worker would serve ahead of the held-back input. An open menu
// holds the input whichever window is active.
void Activate(QWindow* window, Qt::FocusReason reason) {
    if (window && window != QApplication::focusWindow() && !QApplication::activePopupWidget())
        QWindowSystemInterface::handleWindowActivated<QWindowSystemInterface::SynchronousDelivery>(
            window, reason);
}

}  // namespace

void Click(QWidget* widget, QPoint at, Qt::MouseButton button) {
    if (!widget)
        return;
    Activate(HandleOf(widget), Qt::MouseFocusReason);
    at = Where(widget, at);
    timestamp += kApart;
    Mouse(widget, at, button, QEvent::MouseButtonPress);
    timestamp += kQuick;
    Mouse(widget, at, button, QEvent::MouseButtonRelease);
}

void DoubleClick(QWidget* widget, QPoint at) {
    if (!widget)
        return;
    at = Where(widget, at);
    Click(widget, at);
    timestamp += kQuick;
    Mouse(widget, at, Qt::LeftButton, QEvent::MouseButtonPress);
    timestamp += kQuick;
    Mouse(widget, at, Qt::LeftButton, QEvent::MouseButtonRelease);
}

void Key(int key, const QString& text, QWidget* window) {
    QWindow* target = window ? HandleOf(window) : QApplication::focusWindow();
    if (!target)
        return;
    Activate(target, Qt::ActiveWindowFocusReason);
    timestamp += kQuick;
    QWindowSystemInterface::handleKeyEvent<Async>(target, timestamp, QEvent::KeyPress, key,
                                                  Qt::NoModifier, text);
    QWindowSystemInterface::handleKeyEvent<Async>(target, timestamp, QEvent::KeyRelease, key,
                                                  Qt::NoModifier, text);
}

void Type(const QString& text, QWidget* window) {
    for (const QChar c : text) Key(c.toUpper().unicode(), QString(c), window);
}

void CloseBox(QWidget* window) {
    if (QWindow* handle = HandleOf(window))
        QWindowSystemInterface::handleCloseEvent<Async>(handle);
}

void WorkWindowCloseBox(QWidget* frame) {
    // A maximised sub-window puts its buttons into the frame's menu bar, at the right.
    auto* mainWindow = qobject_cast<QMainWindow*>(frame);
    QWidget* buttons =
        mainWindow ? mainWindow->menuBar()->cornerWidget(Qt::TopRightCorner) : nullptr;
    if (!buttons || !buttons->isVisible())
        return;
    QStyleOptionComplex option;
    option.initFrom(buttons);
    option.subControls = QStyle::SC_MdiCloseButton;
    const QRect close = buttons->style()->subControlRect(QStyle::CC_MdiControls, &option,
                                                         QStyle::SC_MdiCloseButton, buttons);
    Click(buttons,
          close.isValid() ? close.center() : QPoint(buttons->width() - 6, buttons->height() / 2));
}

void Minimise(QWidget* window) {
    if (QWindow* handle = HandleOf(window))
        QWindowSystemInterface::handleWindowStateChanged<Async>(handle, Qt::WindowMinimized);
}

void Restore(QWidget* window) {
    // Back to the state it had before (a maximised window comes back maximised).
    if (QWindow* handle = HandleOf(window))
        QWindowSystemInterface::handleWindowStateChanged<Async>(
            handle, window->window()->windowState() & ~Qt::WindowMinimized);
}

}  // namespace user_input

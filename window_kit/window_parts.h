// The few lines every window of the station repeats, written once: a dialog's frame, a button
// with a standard icon, the OK/Cancel pair, the warning box, the clearing of the main
// window's handle on a window, a named timer.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <utility>

namespace kline {

// A title bar with the system menu and the close box, nothing to resize or maximise: the
// frame of most of the station's dialogs.
inline constexpr Qt::WindowFlags kClosableDialog = Qt::Dialog | Qt::CustomizeWindowHint |
                                                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                   Qt::WindowCloseButtonHint;

// Names the dialog, titles it, gives it its frame and fixes its size.
void SetUpDialog(QDialog* dialog, const char* name, const QString& title, Qt::WindowFlags flags,
                 QSize size);

// A push button with one of the desktop's standard icons, named and placed.
QPushButton* IconButton(QStyle::StandardPixmap icon, const QString& text, const char* name,
                        const QRect& geometry, QWidget* parent);

// The pair that ends a settings dialog, 75 x 25 each, OK first: "OK" (BitBtn1) is the default
// button and accepts, "Cancel" (BitBtn2) rejects, as Esc does.
std::pair<QPushButton*, QPushButton*> OkCancelButtons(QDialog* dialog, QPoint okAt,
                                                      QPoint cancelAt);

// A warning box captioned "Внимание!", from any thread.
void Warn(const char* text);

// A message box or dialog is up: the windows behind it take no input, and a handler of one of
// them may still be inside that box's loop.
bool DialogHoldsTheScreen();

// Clears the main window's handle on a window (Complect, Passport, ...) when it is `window`:
// a newer window of the same kind may have taken the handle over.
template <class Window>
void ForgetWindow(Window*& handle, const Window* window) {
    if (handle == window)
        handle = nullptr;
}

// A stopped timer named `name` that calls `slot` of `owner` every `intervalMs` once started.
template <class Owner>
QTimer* NamedTimer(const char* name, int intervalMs, Owner* owner, void (Owner::*slot)()) {
    auto* timer = new QTimer(owner);
    timer->setObjectName(name);
    timer->setInterval(intervalMs);
    QObject::connect(timer, &QTimer::timeout, owner, slot);
    return timer;
}

}  // namespace kline

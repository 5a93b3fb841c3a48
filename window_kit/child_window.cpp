#include "window_kit/child_window.h"

#include "window_kit/window_parts.h"

namespace kline {

void ShownOnceWindow::showEvent(QShowEvent* event) {
    ChildWindow::showEvent(event);
    if (formShown_)
        return;
    formShown_ = true;
    FormShow();
}

void ShownOnceWindow::WarnAndClose(QTimer* timer, const char* text) {
    timer->stop();
    Warn(text);
    close();
}

}  // namespace kline

#include "link/ui/child_window.h"

#include "link/ui/window_parts.h"

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

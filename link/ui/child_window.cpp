#include "link/ui/child_window.h"

#include "platform/messages.h"

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
    platform::ShowMessage(text, platform::kAttention, platform::Icon::Warning);
    close();
}

}  // namespace kline

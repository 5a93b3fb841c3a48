// The work windows that open inside the main window (groups, diagnostics, fault codes,
// equipment). A child never destroys itself: closing it tells the main window, whose timer
// destroys it once the close handling has returned.
#pragma once

#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QShowEvent>
#include <QTimer>

namespace kline {

class ChildWindow : public QMdiSubWindow {
    Q_OBJECT
  public:
    using QMdiSubWindow::QMdiSubWindow;

  signals:
    // Sent from FormClose; the main window starts its 25 ms Timer1 on it.
    void closed();

  protected:
    // The window's own close handling (stop polling, end the connection, ...).
    virtual void FormClose() {}

    void closeEvent(QCloseEvent* event) override {
        FormClose();
        // A closed window shows no more deferred messages: a message box of its own timer
        // would run while the main window destroys it.
        for (QTimer* timer : findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) timer->stop();
        emit closed();
        QMdiSubWindow::closeEvent(event);
    }
};

// A work window whose FormShow runs once, when the window first appears. Maximising an MDI
// child hides and shows it again, showing it maximised shows it twice, and the desktop shows
// it again when the frame comes back from being minimised: none of that is a new showing.
class ShownOnceWindow : public ChildWindow {
    Q_OBJECT
  public:
    using ChildWindow::ChildWindow;

    virtual void FormShow() = 0;

  protected:
    void showEvent(QShowEvent* event) override;

    // The end of a deferred warning: the timer stops, the message shows, the window closes.
    void WarnAndClose(QTimer* timer, const char* text);

  private:
    bool formShown_ = false;
};

}  // namespace kline

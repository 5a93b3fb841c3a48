// The connecting dialog: shown modally while the connection worker wakes the ECU, closed
// by its 500 ms timer once the attempt is over, or by "Остановить".
#pragma once

#include <QDialog>
#include <QThread>
#include <atomic>
#include <memory>

#include "link/connector.h"
#include "link/station.h"

class QLabel;
class QPushButton;
class QTimer;

namespace kline {

// The connection worker: opens the port and wakes the ECU until it answers or is stopped.
class TCommunicator final : public QThread {
  public:
    explicit TCommunicator(Station& station) : station_(station) {}
    void RequestTerminate() { terminate_ = true; }

  protected:
    void run() override;

  private:
    Station& station_;
    std::atomic<bool> terminate_{false};
};

// The connecting dialog is the connecting step of the desktop: shown modally, it runs the
// worker until the ECU answered, the attempt gave up or the user stopped it.
class TWaiter final : public QDialog, public Connector {
    Q_OBJECT
  public:
    explicit TWaiter(Station& station, QWidget* parent = nullptr);
    ~TWaiter() override;

    QLabel* Label1;
    QPushButton* BitBtn1;  // "Остановить"
    QTimer* Timer1;        // 500 ms: closes the dialog once `connecting` is clear

    void ShowWaiter() override { exec(); }

    void FormShow();
    void Timer1Timer();
    void BitBtn1Click();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // Esc and the close box end the attempt like "Остановить"

  private:
    void StopWorker();
    Station& station_;
    std::unique_ptr<TCommunicator> worker_;
};

// The dialog of the run, created at start-up right after the main window and owned by it;
// set while it exists. Nothing in the libraries reaches it through here: the main window
// hands it to the commands and windows as their Connector.
extern TWaiter* Waiter;

}  // namespace kline

// Message boxes for real: a modal QMessageBox without an owner window. A report from a
// worker thread is handed to the user-interface thread, and the worker waits for the OK.
#pragma once

#include <QObject>

#include "platform/messages.h"

namespace kline {

class QtMessageSink final : public QObject, public platform::MessageSink {
    Q_OBJECT
  public:
    // Must be built on the user-interface thread; installs itself as the sink in force.
    QtMessageSink();
    ~QtMessageSink() override;
    void Show(const platform::Report& report) override;

  private:
    void ShowHere(const platform::Report& report);
};

}  // namespace kline

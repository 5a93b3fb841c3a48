// A message sink for the window tests: every report is recorded on the user-interface
// thread; a report from a worker waits there until it has been recorded (a blocking call),
// like a message box waiting for the user's OK.
#pragma once

#include <QObject>
#include <QThread>
#include <functional>
#include <string>
#include <vector>

#include "platform/messages.h"

namespace testing_support {

class HandOverSink final : public QObject, public platform::MessageSink {
  public:
    HandOverSink() { platform::UseMessageSink(this); }
    ~HandOverSink() override { platform::UseMessageSink(nullptr); }
    HandOverSink(const HandOverSink&) = delete;
    HandOverSink& operator=(const HandOverSink&) = delete;

    void Show(const platform::Report& report) override {
        if (QThread::currentThread() == thread()) {
            Record(report);
            return;
        }
        QMetaObject::invokeMethod(
            this, [&] { Record(report); }, Qt::BlockingQueuedConnection);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& r : reports) texts.push_back(r.text);
        return texts;
    }

    // Read on the user-interface thread only; the worker's reports arrive there.
    std::vector<platform::Report> reports;
    // Runs as each report is recorded, with the message box "still up".
    std::function<void(const platform::Report&)> onShow;

  private:
    void Record(const platform::Report& report) {
        reports.push_back(report);
        if (onShow)
            onShow(report);
    }
};

}  // namespace testing_support

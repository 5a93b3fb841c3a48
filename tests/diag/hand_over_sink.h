// A message sink for the window tests: every report is recorded on the window's thread; a
// report from another thread waits there until it has been recorded, like a message box
// waiting for the user's OK.
#pragma once

#include <QObject>
#include <QThread>
#include <functional>
#include <string>
#include <vector>

#include "platform/messages.h"

namespace diag_test {

class HandOverSink final : public QObject, public platform::MessageSink {
  public:
    HandOverSink() { platform::UseMessageSink(this); }
    ~HandOverSink() override { platform::UseMessageSink(nullptr); }
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
    std::vector<platform::Report> reports;
    std::function<void(const platform::Report&)> onShow;

  private:
    void Record(const platform::Report& report) {
        reports.push_back(report);
        if (onShow)
            onShow(report);
    }
};

}  // namespace diag_test

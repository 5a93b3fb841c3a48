// Message boxes for real: a modal QMessageBox without an owner window. A report from a
// worker thread is handed to the user-interface thread, and the worker waits for the OK.
#pragma once

#include <QObject>
#include <QTranslator>

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
    // The box's own button that opens the details speaks Russian like the rest of the
    // station; every other text of the toolkit stays as it is.
    class DetailsButtonTexts final : public QTranslator {
      public:
        QString translate(const char* context, const char* source, const char* disambiguation,
                          int n) const override;
        bool isEmpty() const override { return false; }
    };

    void ShowHere(const platform::Report& report);
    DetailsButtonTexts detailsTexts_;
};

}  // namespace kline

// The information windows on a scripted K-line: a station with the connecting dialog, an
// adapter that echoes, an ECU that answers what the test queues, the virtual clock, and a
// user who confirms every message box (noting what was on the screen at that moment).
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QThread>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/ui/child_window.h"
#include "link/ui/waiter.h"
#include "tests/services/ecu_line.h"
#include "tests/support/connecting.h"
#include "tests/support/scripted_port.h"
#include "tests/support/serve_events.h"
#include "tests/support/station_fixture.h"
#include "tests/support/virtual_clock.h"

namespace services_test {

using Bytes = std::vector<uint8_t>;

// The object name the main window finds a window by, and the title the user reads.
inline void ExpectNameAndTitle(const QWidget& window, const char* name, const char* title) {
    EXPECT_EQ(window.objectName(), name);
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8(title));
}

// Records each report with a note the test takes when it is shown on the user-interface
// thread (for example whether the window was already visible), and confirms it at once.
class NotingSink final : public platform::MessageSink {
  public:
    NotingSink() { platform::UseMessageSink(this); }
    ~NotingSink() override { platform::UseMessageSink(nullptr); }
    void Show(const platform::Report& report) override {
        std::lock_guard lock(mutex_);
        reports_.push_back(report);
        // Reports of the connection worker come from its thread, where no window may be looked at.
        const bool uiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        notes_.push_back(note && uiThread ? note(report) : std::string());
    }
    std::vector<platform::Report> Reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& report : Reports()) texts.push_back(report.text);
        return texts;
    }
    std::vector<std::string> Notes() const {
        std::lock_guard lock(mutex_);
        return notes_;
    }
    std::function<std::string(const platform::Report&)> note;

  private:
    mutable std::mutex mutex_;
    std::vector<platform::Report> reports_;
    std::vector<std::string> notes_;
};

inline platform::Report Warning(const char* text, const char* caption = platform::kAttention) {
    return {text, caption, platform::Icon::Warning};
}

class WindowLine : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override { Build(GetParam()); }
    void TearDown() override { waiter.reset(); }

    void Build(int family) {
        testing_support::PrepareStation(station, backend, family, 100);
        waiter = testing_support::MakeWaiter(station);
        // A user who gives up: a connecting dialog still up after a minute on the clock is
        // stopped, so that a window that connects when it should not fails instead of hanging.
        // The timer is the dialog's child, so the dialog outlives it; `waiter` does not (it is
        // empty while the dialog is being destroyed, and Windows still serves timers then).
        auto* patience = new QTimer(waiter.get());
        QObject::connect(patience, &QTimer::timeout, [this, dialog = waiter.get()] {
            if (dialog->isVisible() && clock.NowMicros() - waiterShown_ > 60'000'000)
                dialog->BitBtn1Click();
            if (!dialog->isVisible())
                waiterShown_ = clock.NowMicros();
        });
        patience->start(2);
    }

    uint8_t EcuAddress() const { return testing_support::EcuAddress(station.settings.ecuType); }

    // The ECU's next answers, as their data (SID first); an empty one is silence.
    void EcuAnswers(std::initializer_list<Bytes> answers) {
        for (const Bytes& data : answers)
            backend.line.answers.push_back(data.empty() ? data : AnswerFrame(EcuAddress(), data));
    }
    void Silence(int exchanges) {
        for (int i = 0; i < exchanges; ++i) backend.line.answers.push_back({});
    }
    void StartAnswered() { EcuAnswers({{0xC1, 0xEF, 0x8F}}); }
    void StopAnswered() { EcuAnswers({{0xC2}}); }

    // A connection that an earlier window left open: port open, `connected` set.
    void LeftOpen() {
        station.port.device = backend.Open(station.PortName());
        station.connected = 1;
    }

    // Times at which requests with this SID went out to the ECU.
    std::vector<int64_t> RequestTimes(uint8_t sid) const {
        const Bytes& w = backend.line.written;
        std::vector<int64_t> times;
        for (size_t i = 0; i + 3 < w.size(); ++i)
            if ((w[i] & 0xC0) == 0x80 && w[i + 1] == EcuAddress() && w[i + 2] == 0xF1 &&
                w[i + 3] == sid)
                times.push_back(backend.line.writeTimes[i]);
        return times;
    }
    size_t Requests(uint8_t sid) const { return RequestTimes(sid).size(); }

    // A work window whose connection fails: the port's own message, then "Блок не
    // инициализирован!" while the window is still on the screen, then it closes.
    void ExpectNotInitialisedOnceShown(kline::ChildWindow* child);

    // Serves events until `done` holds or `ms` of real time have passed.
    static bool WaitFor(const std::function<bool()>& done, int ms = 2000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms) QTest::qWait(1);
        return done();
    }

    testing_support::ScopedVirtualClock clock;
    NotingSink sink;
    testing_support::ScriptedBackend backend;
    kline::Station station;
    std::unique_ptr<kline::TWaiter> waiter;

  private:
    int64_t waiterShown_ = 0;
};

// A work window opened the way the main window opens it: maximised inside the frame.
// Counts how often it said it closed.
struct OpenChild {
    explicit OpenChild(kline::ChildWindow* child) : window(child) {
        area.resize(700, 500);
        area.show();
        area.addSubWindow(child);
        QObject::connect(child, &kline::ChildWindow::closed, [this] { ++closes; });
        child->showMaximized();
    }
    QMdiArea area;
    kline::ChildWindow* window;
    int closes = 0;
};

inline void WindowLine::ExpectNotInitialisedOnceShown(kline::ChildWindow* child) {
    OpenChild opened(child);
    sink.note = [&](const platform::Report&) {
        return std::string(opened.window->isVisible() ? "visible" : "hidden");
    };
    const bool closed = WaitFor([&] { return opened.closes == 1; });
    sink.note = nullptr;  // it looks at the window, which goes with `opened`
    ASSERT_TRUE(closed);
    ASSERT_EQ(sink.Reports().size(), 2u);  // the port's own message, then the window's
    EXPECT_EQ(sink.Reports()[1], Warning("Блок не инициализирован!"));
    EXPECT_EQ(sink.Notes()[1], "visible");
}

}  // namespace services_test

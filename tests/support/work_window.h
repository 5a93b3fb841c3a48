// A work window in the tests, opened the way the main window opens it: maximised inside a
// frame of its own; and what every window that connects shows when it cannot.
#pragma once

#include <gtest/gtest.h>

#include <QMdiArea>
#include <QSize>
#include <QString>
#include <string>

#include "tests/support/recording_sink.h"
#include "tests/support/serve_events.h"
#include "window_kit/child_window.h"

namespace testing_support {

// The window maximised in the frame; counts how often the window said it closed.
struct OpenChild {
    explicit OpenChild(kline::ChildWindow* child, QSize frame = {700, 500}) : window(child) {
        area.resize(frame);
        area.show();
        area.addSubWindow(child);
        QObject::connect(child, &kline::ChildWindow::closed, [this] { ++closes; });
        child->showMaximized();
    }
    QMdiArea area;
    kline::ChildWindow* window;
    int closes = 0;
};

// The object name the main window finds a window by, and the title the user reads.
inline void ExpectNameAndTitle(const QWidget& window, const char* name, const char* title) {
    EXPECT_EQ(window.objectName(), name);
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8(title));
}

// A work window whose connection fails: the port's own message, then "Блок не
// инициализирован!" while the window is still on the screen, then it closes.
inline void ExpectNotInitialisedOnceShown(kline::ChildWindow* child, RecordingSink& sink) {
    OpenChild opened(child);
    sink.note = [&](const platform::Report&) {
        return std::string(opened.window->isVisible() ? "visible" : "hidden");
    };
    const bool closed = ServeEventsUntil([&] { return opened.closes == 1; });
    sink.note = nullptr;  // it looks at the window, which goes with `opened`
    ASSERT_TRUE(closed);
    ASSERT_EQ(sink.Reports().size(), 2u);
    EXPECT_EQ(sink.Reports()[1], Warning("Блок не инициализирован!"));
    EXPECT_EQ(sink.Notes()[1], "visible");
}

}  // namespace testing_support

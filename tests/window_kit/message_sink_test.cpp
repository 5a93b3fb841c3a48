// The message box the station shows: the specified text in the box, the cause behind its
// details button.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "window_kit/qt_message_sink.h"

namespace {

struct Shown {
    QString text, details, title, detailsButton;
};

// Shows `details` beside a port message and reads the box the user would see.
Shown ShowAndRead(const std::string& details) {
    kline::QtMessageSink sink;
    Shown shown;
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        reader.stop();
        shown = {box->text(), box->detailedText(), box->windowTitle(), {}};
        for (QAbstractButton* button : box->buttons())
            if (box->buttonRole(button) == QMessageBox::ActionRole)
                shown.detailsButton = button->text();
        box->accept();
    });
    reader.start(1);
    platform::ShowMessage("Данный порт уже занят другим приложением или не поддерживается!",
                          platform::kAttention, platform::Icon::Warning, details);
    return shown;
}

TEST(QtMessageSink, DetailsGoBehindTheButtonAndTheTextStays) {
    const Shown with = ShowAndRead("Порт /dev/ttyUSB0 занят программой minicom.");
    EXPECT_EQ(with.text, "Данный порт уже занят другим приложением или не поддерживается!");
    EXPECT_EQ(with.details, "Порт /dev/ttyUSB0 занят программой minicom.");
    EXPECT_EQ(with.title, "Внимание!");
    EXPECT_EQ(with.detailsButton, "Подробнее...");
    EXPECT_EQ(ShowAndRead("").details, "") << "no details, no button";
}

}  // namespace

// What the window tests share: a main window on its own settings file, the virtual clock,
// a fake serial backend, a recording message sink, and a stand-in user for modal dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <deque>
#include <functional>
#include <memory>

#include "app/main_form.h"
#include "tests/support/recording_sink.h"
#include "tests/support/scripted_port.h"
#include "tests/support/virtual_clock.h"

namespace app_test {

// Answers the modal dialogs that come up: each is handed to the next queued action, or
// rejected when none is left; the titles of all of them are kept in order.
class ModalUser {
  public:
    ModalUser() {
        QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
        poll_.start(1);
    }
    void Then(std::function<void(QDialog&)> act) { actions_.push_back(std::move(act)); }
    std::vector<QString> seen;

  private:
    void Poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || dialog == current_)
            return;
        current_ = dialog;
        seen.push_back(dialog->windowTitle());
        if (actions_.empty()) {
            dialog->reject();
        } else {
            auto act = std::move(actions_.front());
            actions_.pop_front();
            act(*dialog);
        }
        current_ = nullptr;
    }
    QTimer poll_;
    std::deque<std::function<void(QDialog&)>> actions_;
    QDialog* current_ = nullptr;
};

class AppTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("auto.ini").toStdString();
        settings::ApplyDefaults(record);
    }
    void TearDown() override { form.reset(); }
    // Writes `record` as auto.ini and opens the main window on it.
    TMainForm& Open() {
        EXPECT_TRUE(settings::SaveSettings(record, path));
        return OpenWithoutWriting();
    }
    TMainForm& OpenWithoutWriting() {
        form = std::make_unique<TMainForm>(path, &backend);
        return *form;
    }
    TMainForm& Shown() {
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return *form;
    }
    void ClickLabel(QWidget* label) { QTest::mouseClick(label, Qt::LeftButton); }
    void ClickEntry(int row) {
        QListWidget* list = form->ListBox1;
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
    bool NavigationShown() const {
        return form->Panel1->isVisibleTo(form.get()) && form->N1->menuAction()->isEnabled() &&
               form->N2->menuAction()->isEnabled() && form->N3->menuAction()->isEnabled() &&
               form->N4->menuAction()->isEnabled();
    }
    bool NavigationHidden() const {
        return !form->Panel1->isVisibleTo(form.get()) && !form->N1->menuAction()->isEnabled() &&
               !form->N2->menuAction()->isEnabled() && !form->N3->menuAction()->isEnabled() &&
               !form->N4->menuAction()->isEnabled();
    }
    QStringList Entries() const {
        QStringList texts;
        for (int i = 0; i < form->ListBox1->count(); ++i) texts << form->ListBox1->item(i)->text();
        return texts;
    }

    testing_support::ScopedVirtualClock clock;
    QTemporaryDir dir;
    std::string path;
    settings::SettingsRecord record;
    testing_support::ScriptedBackend backend;
    testing_support::RecordingSink sink;
    ModalUser user;
    std::unique_ptr<TMainForm> form;
};

}  // namespace app_test

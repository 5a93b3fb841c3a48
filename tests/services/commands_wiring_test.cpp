// The main window runs the three information windows: "Паспорт ЭБУ" as a modal dialog,
// "Список ошибок" and "Комплектация" as work windows inside the frame, each over the
// simulated ECU, and gives the navigation back when they are done.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include "app/main_form.h"
#include "link/ui/waiter.h"
#include "services/ui/equipment_window.h"
#include "services/ui/fault_codes_window.h"
#include "services/ui/passport_window.h"
#include "tests/support/main_window.h"

namespace {

class CommandsTest : public testing::TestWithParam<int>,
                     protected testing_support::MainWindowOnSim {
  protected:
    CommandsTest() : MainWindowOnSim(GetParam()) {}
    void SetUp() override {
        main.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
        QTest::mouseClick(main.Label2, Qt::LeftButton);  // "Работа с ЭБУ"
    }
    void Choose(const QString& entry) {
        const QList<QListWidgetItem*> items = main.ListBox1->findItems(entry, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << entry.toStdString();
        const QRect rect = main.ListBox1->visualItemRect(items.front());
        QTest::mouseClick(main.ListBox1->viewport(), Qt::LeftButton, {}, rect.center());
    }
    bool NavigationShown() const {
        return main.Panel1->isVisibleTo(&main) && main.N3->menuAction()->isEnabled();
    }
    template <class Child>
    Child* OpenChild() const {
        const auto children = main.MdiArea->subWindowList();
        return children.size() == 1 ? qobject_cast<Child*>(children.front()) : nullptr;
    }
};

INSTANTIATE_TEST_SUITE_P(BothFamilies, CommandsTest, testing::Values(0, 1),
                         testing_support::FamilyName);

TEST_P(CommandsTest, PassportIsAModalDialogOverTheMainWindow) {
    // The user reads the fields once the passport is the modal window, then closes it.
    QString model;
    bool navigationHidden = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (!services::Passport || QApplication::activeModalWidget() != services::Passport)
            return;
        model = services::Passport->Auto_type->text();
        navigationHidden = !NavigationShown();
        EXPECT_EQ(services::Passport->parentWidget(), &main);
        services::Passport->SpeedButton1->click();
    });
    user.start(1);
    Choose("Паспорт ЭБУ");
    EXPECT_EQ(model, GetParam() == 0 ? QStringLiteral("СЕДАН 1.5i 16кл  ")
                                     : QStringLiteral("УНИВЕРСАЛ 1.6i 8кл "));
    EXPECT_TRUE(navigationHidden);
    EXPECT_TRUE(NavigationShown());
    EXPECT_EQ(services::Passport, nullptr);  // destroyed with the command
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_EQ(main.station.connected, 0);
}

TEST_P(CommandsTest, FaultListOpensInsideTheFrameAndGoesAfterClosing) {
    main.N11->trigger();  // the menu's "Список ошибок"
    QPointer<services::TErrors_form> list = OpenChild<services::TErrors_form>();
    ASSERT_FALSE(list.isNull());
    EXPECT_EQ(services::Errors_form, list.data());
    EXPECT_TRUE(list->isMaximized());
    EXPECT_FALSE(NavigationShown());
    EXPECT_EQ(list->Cell(0, 1), "P0340");
    EXPECT_EQ(list->Cell(0, 2), "P0505");
    EXPECT_TRUE(sink.reports.empty());
    list->close();
    QTRY_VERIFY_WITH_TIMEOUT(NavigationShown(), 1000);
    EXPECT_TRUE(list.isNull());
    EXPECT_EQ(services::Errors_form, nullptr);
}

class EquipmentCommandTest : public CommandsTest {};
INSTANTIATE_TEST_SUITE_P(SecondFamily, EquipmentCommandTest, testing::Values(1),
                         testing_support::FamilyName);

TEST_P(EquipmentCommandTest, EquipmentOpensInsideTheFrame) {
    Choose("Комплектация");
    QPointer<services::TComplect> window = OpenChild<services::TComplect>();
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(services::Complect, window.data());
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->List_Compl->count(), 7);  // the simulated ECU's default options
    EXPECT_TRUE(sink.reports.empty());
    window->close();
    QTRY_VERIFY_WITH_TIMEOUT(NavigationShown(), 1000);
    EXPECT_TRUE(window.isNull());
}

}  // namespace

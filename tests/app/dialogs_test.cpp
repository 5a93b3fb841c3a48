// The set-up dialogs and the about box as the main window runs them: filled from the
// settings record, read back on OK, nothing changed on Cancel, the protocol object
// replaced only for another ECU family.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "app/about_box.h"
#include "app/comm_prop.h"
#include "app/ebu_prop.h"
#include "platform/port_list.h"
#include "tests/app/app_fixture.h"

namespace {

using app_test::AppTest;

TComm_Prop& AsCommProp(QDialog& dialog) {
    auto* comm = qobject_cast<TComm_Prop*>(&dialog);
    EXPECT_NE(comm, nullptr);
    EXPECT_EQ(comm, Comm_Prop);  // the global reference is set while it is up
    return *comm;
}

TEBU_prop& AsEbuProp(QDialog& dialog) {
    auto* ebu = qobject_cast<TEBU_prop*>(&dialog);
    EXPECT_NE(ebu, nullptr);
    EXPECT_EQ(ebu, EBU_prop);
    return *ebu;
}

// Types any text, Cyrillic included, as key presses carrying the characters.
void TypeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

class DialogsTest : public AppTest {
  protected:
    // Runs command 13 from the list ("Настройки", third entry).
    void RunEcuTypeDialog() {
        ClickLabel(form->Label1);
        ClickEntry(2);
    }
    // Runs it, and the user clicks the family's item, then "OK".
    void ChooseFamily(int item) {
        user.Then([item](QDialog& d) {
            TEBU_prop& ebu = AsEbuProp(d);
            QTest::mouseClick(ebu.EBUS->findChildren<QRadioButton*>()[item], Qt::LeftButton);
            QTest::mouseClick(ebu.BitBtn1, Qt::LeftButton);
        });
        RunEcuTypeDialog();
    }
};

TEST_F(DialogsTest, ConnectionDialogHasItsLayout) {
    TComm_Prop dialog;
    EXPECT_EQ(dialog.objectName(), "Comm_Prop");
    EXPECT_EQ(dialog.windowTitle(), "Настройки соединения");
    EXPECT_EQ(dialog.size(), QSize(280, 130));
    EXPECT_EQ(dialog.Label1->text(), "Порт для соединения с ЭБУ");
    EXPECT_EQ(dialog.Label2->text(), "Задержка между запросами");
    EXPECT_TRUE(dialog.ComboBox1->isEditable());
    EXPECT_EQ(dialog.ComboBox1->itemText(0), "COM1");
    EXPECT_EQ(dialog.ComboBox1->itemText(1), "COM2");
    // Then the ports the computer has, once each.
    QStringList present;
    for (const std::string& name : platform::PresentSerialPorts())
        if (name != "COM1" && name != "COM2")
            present << QString::fromStdString(name);
    QStringList listed;
    for (int i = 2; i < dialog.ComboBox1->count(); ++i) listed << dialog.ComboBox1->itemText(i);
    EXPECT_EQ(listed, present);
    EXPECT_EQ(dialog.ComboBox1->currentText(), "COM1");
    EXPECT_EQ(dialog.CSpinEdit1->minimum(), 50);
    EXPECT_EQ(dialog.CSpinEdit1->maximum(), 1000);
    EXPECT_EQ(dialog.CSpinEdit1->singleStep(), 50);
    EXPECT_EQ(dialog.CSpinEdit1->value(), 250);
    EXPECT_TRUE(dialog.BitBtn1->isDefault());
    EXPECT_EQ(dialog.BitBtn2->text(), "Cancel");
}

TEST_F(DialogsTest, DelayOf20IsShownAs50AndStoredOnOk) {
    record.requestDelay = 20;
    TMainForm& f = Open();
    Shown();
    user.Then([&](QDialog& d) {
        TComm_Prop& comm = AsCommProp(d);
        EXPECT_EQ(comm.CSpinEdit1->value(), 50);
        EXPECT_EQ(comm.ComboBox1->currentText(), "COM1");
        EXPECT_TRUE(NavigationHidden());
        QTest::mouseClick(comm.BitBtn1, Qt::LeftButton);
    });
    f.N7->trigger();
    EXPECT_EQ(f.station.settings.requestDelay, 50);
    EXPECT_EQ(user.seen.size(), 1u);
    EXPECT_EQ(Comm_Prop, nullptr);
    EXPECT_TRUE(NavigationShown());
}

TEST_F(DialogsTest, DelayOf20IsKeptOnCancelAndOnEsc) {
    record.requestDelay = 20;
    TMainForm& f = Open();
    Shown();
    user.Then([&](QDialog& d) { QTest::mouseClick(AsCommProp(d).BitBtn2, Qt::LeftButton); });
    user.Then([&](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    f.N7->trigger();
    f.N7->trigger();
    EXPECT_EQ(user.seen.size(), 2u);
    EXPECT_EQ(f.station.settings.requestDelay, 20);
    EXPECT_EQ(settings::PortName(f.station.settings), "COM1");
}

TEST_F(DialogsTest, StepsOf50AndTheLimits) {
    TComm_Prop dialog;
    dialog.CSpinEdit1->setValue(950);
    dialog.CSpinEdit1->stepBy(1);
    EXPECT_EQ(dialog.CSpinEdit1->value(), 1000);
    dialog.CSpinEdit1->stepBy(1);
    EXPECT_EQ(dialog.CSpinEdit1->value(), 1000);
    dialog.CSpinEdit1->setValue(5000);
    EXPECT_EQ(dialog.CSpinEdit1->value(), 1000);
    dialog.CSpinEdit1->setValue(-3);
    EXPECT_EQ(dialog.CSpinEdit1->value(), 50);
}

TEST_F(DialogsTest, TypedPortNameIsStoredAndUsedByTheNextCommandThatOpensThePort) {
    TMainForm& f = Open();
    Shown();
    user.Then([&](QDialog& d) {
        TComm_Prop& comm = AsCommProp(d);
        comm.ComboBox1->lineEdit()->clear();
        QTest::keyClicks(comm.ComboBox1->lineEdit(), "COM3");
        QTest::keyClick(comm.ComboBox1->lineEdit(), Qt::Key_Return);  // the default button
    });
    f.N7->trigger();
    EXPECT_EQ(settings::PortName(f.station.settings), "COM3");
    f.N8->trigger();  // "Проверка адаптера"
    EXPECT_EQ(backend.openedNames, std::vector<std::string>{"COM3"});
}

TEST_F(DialogsTest, PortNameTakesAtMostSevenPlainCharacters) {
    TMainForm& f = Open();
    Shown();
    user.Then([&](QDialog& d) {
        QLineEdit* edit = AsCommProp(d).ComboBox1->lineEdit();
        edit->clear();
        TypeText(edit, "ttyUSB10");
        EXPECT_EQ(edit->text(), "ttyUSB1");
        edit->clear();
        TypeText(edit, "КОМ1 x");  // no Cyrillic, no blank: one byte per character
        EXPECT_EQ(edit->text(), "1x");
        edit->clear();
        QTest::keyClicks(edit, "pts/123");
        QTest::mouseClick(AsCommProp(d).BitBtn1, Qt::LeftButton);
    });
    f.N7->trigger();
    EXPECT_EQ(settings::PortName(f.station.settings), "pts/123");
    EXPECT_EQ(f.station.settings.portName[7], 0);
}

// What the user types into the delay field, then OK: a number beyond the limits is brought to
// the nearer one, text that is no number reads as 50, and a letter cannot be typed.
TEST_F(DialogsTest, TypedDelayIsBroughtToTheNearerLimitOnOk) {
    struct Typed {
        const char* keys;
        bool byEnter;  // Enter in the field, or a click on OK
        int stored;
    };
    for (const Typed& typed :
         {Typed{"1200", false, 1000}, Typed{"20", false, 50}, Typed{"2000", true, 1000},
          Typed{"-", false, 50}, Typed{"1x50", true, 150}, Typed{"700", false, 700}}) {
        SCOPED_TRACE(typed.keys);
        TMainForm& f = Open();
        Shown();
        user.Then([&](QDialog& d) {
            QSpinBox* delay = AsCommProp(d).CSpinEdit1;
            delay->setFocus();
            delay->selectAll();
            QTest::keyClicks(delay, typed.keys);
            if (typed.byEnter)
                QTest::keyClick(delay, Qt::Key_Return);
            else
                QTest::mouseClick(AsCommProp(d).BitBtn1, Qt::LeftButton);
        });
        f.N7->trigger();
        EXPECT_EQ(f.station.settings.requestDelay, typed.stored);
        form.reset();
    }
}

// A name in the file that the dialog cannot show as typed text (Windows-1251 "КОМ1") comes
// back byte for byte when the user leaves it alone.
TEST_F(DialogsTest, UntouchedPortNameKeepsItsBytes) {
    const char stored[] = "\xCA\xCE\xCC\x31";
    settings::SetPortName(record, stored);
    TMainForm& f = Open();
    Shown();
    user.Then([&](QDialog& d) {
        EXPECT_EQ(AsCommProp(d).ComboBox1->currentText(), QStringLiteral("КОМ1"));
        QTest::mouseClick(AsCommProp(d).BitBtn1, Qt::LeftButton);
    });
    f.N7->trigger();
    EXPECT_EQ(settings::PortName(f.station.settings), std::string(stored));
}

TEST_F(DialogsTest, EcuTypeDialogHasItsLayoutAndNoCloseBox) {
    TEBU_prop dialog;
    EXPECT_EQ(dialog.objectName(), "EBU_prop");
    EXPECT_EQ(dialog.windowTitle(), "Тип блока управления");
    EXPECT_EQ(dialog.size(), QSize(207, 155));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    const QList<QRadioButton*> items = dialog.EBUS->findChildren<QRadioButton*>();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "TAVRO - KX4.2");
    EXPECT_EQ(items[1]->text(), "КАРНЕЛ  -   5.1");
    EXPECT_EQ(dialog.ItemIndex(), 0);
}

TEST_F(DialogsTest, ItemIndexIsBroughtIntoTheGroupsRange) {
    TEBU_prop dialog;
    const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {-1, -1}, {-128, -1}, {2, 1}, {127, 1}};
    for (const auto& [stored, shown] : cases) {
        dialog.SetItemIndex(stored);
        EXPECT_EQ(dialog.ItemIndex(), shown) << "stored " << stored;
    }
}

TEST_F(DialogsTest, NoEcuTypeOpensWithoutSelectionAndOkChangesNothing) {
    record.ecuType = static_cast<int8_t>(255);
    TMainForm& f = Open();
    Shown();
    const kline::EcuProtocol* before = f.station.ecuProtocol.get();
    user.Then([&](QDialog& d) {
        TEBU_prop& ebu = AsEbuProp(d);
        EXPECT_EQ(ebu.ItemIndex(), -1);
        QTest::mouseClick(ebu.BitBtn1, Qt::LeftButton);
    });
    RunEcuTypeDialog();
    EXPECT_EQ(user.seen, std::vector<QString>{"Тип блока управления"});
    EXPECT_EQ(f.station.settings.ecuType, -1);
    EXPECT_EQ(f.station.ecuProtocol.get(), before);
    EXPECT_EQ(EBU_prop, nullptr);
}

TEST_F(DialogsTest, StoredSevenShowsTheSecondFamilyAndOkMakesItOneWithANewObject) {
    record.ecuType = 7;
    TMainForm& f = Open();
    Shown();
    const kline::EcuProtocol* before = f.station.ecuProtocol.get();
    EXPECT_EQ(before->EcuType(), -1);
    user.Then([&](QDialog& d) {
        TEBU_prop& ebu = AsEbuProp(d);
        EXPECT_EQ(ebu.ItemIndex(), 1);
        QTest::mouseClick(ebu.BitBtn1, Qt::LeftButton);
    });
    RunEcuTypeDialog();
    EXPECT_EQ(f.station.settings.ecuType, 1);
    EXPECT_NE(f.station.ecuProtocol.get(), before);
    EXPECT_EQ(f.station.Protocol().EcuType(), 1);
}

TEST_F(DialogsTest, CancelKeepsTheOldTypeAndObject) {
    record.ecuType = 0;
    TMainForm& f = Open();
    Shown();
    const kline::EcuProtocol* before = f.station.ecuProtocol.get();
    user.Then([&](QDialog& d) {
        TEBU_prop& ebu = AsEbuProp(d);
        ebu.SetItemIndex(1);
        QTest::mouseClick(ebu.BitBtn2, Qt::LeftButton);
    });
    RunEcuTypeDialog();
    EXPECT_EQ(f.station.settings.ecuType, 0);
    EXPECT_EQ(f.station.ecuProtocol.get(), before);
}

TEST_F(DialogsTest, SameFamilyWithOkKeepsTheObjectAndAnotherReplacesIt) {
    record.ecuType = 1;
    TMainForm& f = Open();
    Shown();
    const kline::EcuProtocol* before = f.station.ecuProtocol.get();
    user.Then([&](QDialog& d) { QTest::mouseClick(AsEbuProp(d).BitBtn1, Qt::LeftButton); });
    RunEcuTypeDialog();
    EXPECT_EQ(f.station.ecuProtocol.get(), before);

    ChooseFamily(0);
    EXPECT_EQ(f.station.settings.ecuType, 0);
    EXPECT_EQ(f.station.Protocol().EcuType(), 0);
    // The new type decides the next "Работа с ЭБУ": no "Комплектация" for the first family.
    ClickLabel(f.Label2);
    EXPECT_FALSE(Entries().contains("Комплектация"));
}

TEST_F(DialogsTest, AboutBoxShowsTheProductAndClosesWithOk) {
    TMainForm& f = Open();
    Shown();
    user.Then([&](QDialog& d) {
        auto* about = qobject_cast<TAboutBox*>(&d);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about, AboutBox);
        EXPECT_EQ(about->ProductName->text(),
                  "Стенд компьютерной диагностики электронного блока управления TAVRO KX 4.2H");
        EXPECT_EQ(about->Version->text(), "Версия 1.1.0");
        EXPECT_TRUE(about->OKButton->isDefault());
        EXPECT_TRUE(NavigationHidden());
        QTest::keyClick(about, Qt::Key_Return);
    });
    const settings::RecordBytes before = settings::Encode(f.station.settings);
    f.N13->trigger();
    EXPECT_EQ(user.seen, std::vector<QString>{"...О программе"});
    EXPECT_EQ(AboutBox, nullptr);
    EXPECT_TRUE(NavigationShown());
    EXPECT_EQ(settings::Encode(f.station.settings), before);
}

}  // namespace

namespace {

// The fault list can leave a connection open after ten unanswered reads; a change of family
// and the end of the program stop it first, with the old family's address.
TEST_F(DialogsTest, LeftoverConnectionIsStoppedBeforeTheFamilyChanges) {
    record.ecuType = 1;
    TMainForm& f = Open();
    Shown();
    f.station.port.device = backend.Open("pts/7");
    f.station.connected = 1;
    ChooseFamily(0);
    EXPECT_EQ(f.station.connected, 0);
    EXPECT_FALSE(f.station.port.IsOpen());
    // StopCommunication to 0x10, the family that was connected, then the adapter byte.
    const std::vector<uint8_t> stop{0x81, 0x10, 0xF1, 0x82, 0x04};
    ASSERT_GE(backend.line.written.size(), stop.size());
    EXPECT_TRUE(std::equal(stop.begin(), stop.end(), backend.line.written.begin()));
    EXPECT_EQ(backend.line.written.back(), 0xAA);
}

TEST_F(DialogsTest, LeftoverConnectionIsStoppedAtExit) {
    TMainForm& f = Open();
    f.station.port.device = backend.Open("pts/7");
    f.station.connected = 1;
    form.reset();
    EXPECT_EQ(backend.line.written.front(), 0x81);
    EXPECT_EQ(backend.line.written.back(), 0xAA);
    EXPECT_EQ(backend.line.closes, 1);
}

}  // namespace

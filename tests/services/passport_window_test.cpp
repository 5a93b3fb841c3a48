// The passport dialog on a scripted line: its rows, the twenty identification attempts, the
// failure messages that follow the showing, and the fields of both ECU families.
#include "services/ui/passport_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <set>

#include "tests/services/window_line.h"

namespace {

using services::TPassport;
using services_test::Bytes;
using services_test::Warning;

// An identification record of `size` data bytes, zeros where no field is put.
Bytes Record(size_t size) {
    Bytes data(size, 0);
    data[0] = 0x5A;
    data[1] = 0x80;
    return data;
}

void Put(Bytes& data, size_t first, const std::string& bytes) {
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<long>(first));
}

// A full record of the first family: texts in Windows-1251, date 07/05/2002.
Bytes Family0Record() {
    Bytes data = Record(61);
    Put(data, 2, "\xC2\xC0\xC7-21103");  // "ВАЗ-21103"
    Put(data, 19, "2112-1411020");
    Put(data, 31, "01-02");
    Put(data, 41, "SN00417");
    Put(data, 51, "16V   ");
    Put(data, 57, "\x20\x02\x05\x07");
    return data;
}

Bytes Family1Record() {
    Bytes data = Record(97);
    Put(data, 2, "\xC2\xC0\xC7-2123");
    Put(data, 21, "0011223344");
    Put(data, 37, "K51-0007");
    Put(data, 47, "V0512");
    Put(data, 57, "\xC4\xE2\xE8\xE3\xE0\xF2\xE5\xEB\xFC");  // "Двигатель"
    Put(data, 72, "2123-1 ");
    Put(data, 79, "15.03.2004");
    Put(data, 89, "K51S");
    return data;
}

Bytes FullRecord(int family) {
    return family == 0 ? Family0Record() : Family1Record();
}

class PassportTest : public services_test::WindowLine {
  protected:
    // Shows the dialog modally, as the main window does. Once the connecting dialog is gone
    // and the passport is the modal window, the user either presses "Закрыть" at once or
    // waits; a dialog that does not close by itself within two seconds ends with result 99.
    int Exec(TPassport& dialog, bool pressClose = false) {
        QElapsedTimer elapsed;
        elapsed.start();
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (QApplication::activeModalWidget() != &dialog)
                return;  // still connecting
            if (pressClose) {
                dialog.SpeedButton1->click();
            } else if (elapsed.elapsed() > 2000) {
                dialog.done(99);
            }
        });
        user.start(1);
        return dialog.exec();
    }
    int ExecAndClose(TPassport& dialog) { return Exec(dialog, true); }
    void NoteVisibility(const TPassport& dialog) {
        sink.note = [&](const platform::Report&) {
            return std::string(dialog.isVisible() ? "visible" : "hidden");
        };
    }
    static bool Coloured(const TPassport& dialog, int field) {
        return dialog.Field(field)->palette().color(QPalette::Base) == dialog.EmptyFieldColour();
    }
    static bool NothingFilled(const TPassport& dialog) {
        for (int field = 0; field < services::kPassportFieldCount; ++field)
            if (!dialog.Field(field)->text().isEmpty() || Coloured(dialog, field))
                return false;
        return true;
    }
};

INSTANTIATE_TEST_SUITE_P(BothFamilies, PassportTest, testing::Values(0, 1),
                         testing_support::FamilyName);

TEST_P(PassportTest, HasItsRowsInTheirFrames) {
    TPassport dialog(station, *waiter);
    services_test::ExpectNameAndTitle(dialog, "Passport", "Паспорт ЭБУ");
    EXPECT_EQ(dialog.size(), QSize(449, 388));
    EXPECT_EQ(dialog.SpeedButton1->text(), QStringLiteral("Закрыть"));
    for (QTimer* timer : {dialog.Timer1, dialog.Timer2}) {
        EXPECT_EQ(timer->interval(), 1);
        EXPECT_FALSE(timer->isActive());
    }
    const std::vector<std::pair<QLineEdit*, QString>> rows = {
        {dialog.Auto_type, "Модель автомобиля"},
        {dialog.Soft_code, "Код программного обеспечения"},
        {dialog.Ebu_code, "Код блока управления"},
        {dialog.Sys_drive, "Система или двигатель"},
        {dialog.Data_progr, "Дата программирования"},
        {dialog.Serial_num, "Серийный номер"},
        {dialog.Soft_serial, "Серийный номер программного обеспечения"},
        {dialog.Zap_code, "Код запасных частей"},
        {dialog.Kuz_num, "Номер кузова"},
        {dialog.Drive_num, "Номер двигателя"},
        {dialog.Data_izg, "Дата изготовления"},
    };
    int previousTop = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& [edit, caption] = rows[i];
        SCOPED_TRACE(caption.toStdString());
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_GT(edit->geometry().top(), previousTop);  // top to bottom in this order
        previousTop = edit->geometry().top();
        QFrame* frame = i < 8 ? dialog.Bevel1 : dialog.Bevel2;
        EXPECT_TRUE(frame->geometry().contains(edit->geometry()));
        EXPECT_TRUE(dialog.rect().contains(frame->geometry()));

        QLabel* own = nullptr;
        for (QLabel* l : dialog.findChildren<QLabel*>())
            if (l->buddy() == edit)
                own = l;
        ASSERT_NE(own, nullptr);
        const QString text = own->text();
        ASSERT_TRUE(text.startsWith(caption));
        const QString leader = text.mid(caption.size());
        EXPECT_GE(leader.size(), 1);
        EXPECT_EQ(leader, QString(leader.size(), '.'));
    }
    EXPECT_LT(dialog.Bevel1->geometry().bottom(), dialog.Bevel2->geometry().top());
    EXPECT_LT(dialog.Bevel2->geometry().bottom(), dialog.SpeedButton1->geometry().top());
    EXPECT_TRUE(dialog.rect().contains(dialog.SpeedButton1->geometry()));
}

// A caption wraps only where it is wider than its label, and each label is tall enough for
// its lines (in the station's fonts every caption fits on one line; a smaller screen font
// would wrap the longest ones).
TEST_P(PassportTest, CaptionsWrapOnlyWhereTooWideForTheirLabel) {
    TPassport dialog(station, *waiter);
    for (int i = 0; i < 11; ++i) {
        const QLabel* label = dialog.FieldLabel(i);
        const QFontMetrics metrics = label->fontMetrics();
        QString caption = label->text();
        while (caption.endsWith('.')) caption.chop(1);
        SCOPED_TRACE(caption.toStdString());
        const int needed = label->heightForWidth(label->width());
        EXPECT_EQ(needed >= 2 * metrics.lineSpacing(),
                  metrics.horizontalAdvance(caption) > label->width());
        EXPECT_GE(label->height(), needed);
    }
}

TEST_P(PassportTest, FailedConnectionSaysNotInitialisedOnceShownAndSendsNoRequest) {
    backend.refuseOpen = true;
    TPassport dialog(station, *waiter);
    NoteVisibility(dialog);
    EXPECT_EQ(Exec(dialog), 1);
    ASSERT_EQ(sink.Reports().size(), 2u);
    EXPECT_EQ(sink.Reports()[1], Warning("Блок не инициализирован!", "Ошибка!"));
    EXPECT_EQ(sink.Notes()[1], "visible");
    EXPECT_EQ(Requests(0x1A), 0u);
    EXPECT_TRUE(backend.line.written.empty());
    EXPECT_TRUE(NothingFilled(dialog));
}

TEST_P(PassportTest, SilentEcuStoppedByTheUserSendsNoRequest) {
    // The user gives up in the connecting dialog after two wake-ups.
    testing_support::WhenReady(
        waiter.get(), [&] { return backend.opens >= 2; }, [&] { waiter->BitBtn1Click(); });
    TPassport dialog(station, *waiter);
    EXPECT_EQ(Exec(dialog), 1);
    EXPECT_EQ(sink.Reports(),
              std::vector<platform::Report>{Warning("Блок не инициализирован!", "Ошибка!")});
    EXPECT_EQ(Requests(0x1A), 0u);
    EXPECT_EQ(station.connected, 0);
}

TEST_P(PassportTest, AnswerOnlyAtTheTwentiethAttemptFillsTheFields) {
    StartAnswered();
    Silence(19);
    EcuAnswers({FullRecord(GetParam())});
    StopAnswered();
    TPassport dialog(station, *waiter);
    EXPECT_EQ(ExecAndClose(dialog), 1);
    EXPECT_TRUE(sink.Reports().empty());
    const auto times = RequestTimes(0x1A);
    ASSERT_EQ(times.size(), 20u);
    for (size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 100'000);
    EXPECT_EQ(dialog.Auto_type->text(),
              GetParam() == 0 ? QStringLiteral("ВАЗ-21103") : QStringLiteral("ВАЗ-2123"));
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_P(PassportTest, NoAnswerInTwentyAttemptsStillStopsThenSaysNoAnswer) {
    StartAnswered();
    TPassport dialog(station, *waiter);
    NoteVisibility(dialog);
    EXPECT_EQ(Exec(dialog), 1);
    EXPECT_EQ(Requests(0x1A), 20u);
    EXPECT_EQ(Requests(0x82), 10u);
    EXPECT_GT(RequestTimes(0x82).front(), RequestTimes(0x1A).back());
    EXPECT_EQ(sink.Reports(),
              std::vector<platform::Report>{Warning("Блок не отвечает на запрос!", "Ошибка!")});
    EXPECT_EQ(sink.Notes(), std::vector<std::string>{"visible"});
    EXPECT_TRUE(NothingFilled(dialog));
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_P(PassportTest, GoodAnswerWithoutAStopAnswerShowsNoField) {
    StartAnswered();
    EcuAnswers({FullRecord(GetParam())});
    TPassport dialog(station, *waiter);
    EXPECT_EQ(Exec(dialog), 1);
    EXPECT_EQ(Requests(0x1A), 1u);
    EXPECT_EQ(Requests(0x82), 10u);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Блок не отвечает на запрос!"});
    EXPECT_TRUE(NothingFilled(dialog));
}

TEST_P(PassportTest, ConnectionLeftOpenIsUsedAndEnded) {
    LeftOpen();
    EcuAnswers({FullRecord(GetParam())});
    StopAnswered();
    TPassport dialog(station, *waiter);
    EXPECT_EQ(ExecAndClose(dialog), 1);
    EXPECT_EQ(Requests(0x81), 0u);
    EXPECT_EQ(backend.opens, 1);  // the port the earlier window left open
    EXPECT_FALSE(dialog.Auto_type->text().isEmpty());
    EXPECT_EQ(station.connected, 0);
    EXPECT_FALSE(station.port.IsOpen());
}

TEST_P(PassportTest, FieldsTheFamilyNeverFillsAreEmptyInTheMenuColour) {
    const int family = GetParam();
    StartAnswered();
    Bytes record = family == 0 ? Record(61) : Record(97);
    for (size_t i = 2; i < record.size(); ++i) record[i] = 'A' + i % 26;  // every byte printable
    if (family == 0)
        Put(record, 57, "\x20\x02\x05\x07");
    EcuAnswers({record});
    StopAnswered();
    // The desktop's menu colour, set apart from every other colour of the palette.
    const QPalette menusBefore = QApplication::palette("QMenu");
    QPalette menus = menusBefore;
    const QColor menuColour(0xF0, 0xE6, 0x8C);
    menus.setColor(QPalette::Window, menuColour);
    QApplication::setPalette(menus, "QMenu");
    TPassport dialog(station, *waiter);
    dialog.show();
    const std::set<int> empty =
        family == 0 ? std::set<int>{1, 7, 8, 9, 10} : std::set<int>{8, 9, 10};
    const QColor base = QPalette().color(QPalette::Base);
    EXPECT_EQ(dialog.EmptyFieldColour(), menuColour);
    for (int field = 0; field < services::kPassportFieldCount; ++field) {
        SCOPED_TRACE(field);
        QLineEdit* edit = dialog.Field(field);
        if (empty.count(field)) {
            EXPECT_TRUE(edit->text().isEmpty());
            EXPECT_TRUE(Coloured(dialog, field));
        } else {
            EXPECT_FALSE(edit->text().isEmpty());
            EXPECT_EQ(edit->palette().color(QPalette::Base), base);
        }
    }
    QApplication::setPalette(menusBefore, "QMenu");
}

TEST_P(PassportTest, ErasedFirstByteEmptiesTheFieldAndZeroEndsIt) {
    StartAnswered();
    Bytes record = FullRecord(GetParam());
    Put(record, 2,
        "\xFF"
        "ABCDEF");  // Auto_type: erased memory
    const size_t ebuCode = GetParam() == 0 ? 31 : 37;
    Put(record, ebuCode, std::string("AB\0CDE", 6));  // Ebu_code: ends at the third byte
    EcuAnswers({record});
    StopAnswered();
    TPassport dialog(station, *waiter);
    dialog.show();
    EXPECT_TRUE(dialog.Auto_type->text().isEmpty());
    EXPECT_TRUE(Coloured(dialog, 0));
    EXPECT_EQ(dialog.Ebu_code->text(), "AB");
    EXPECT_FALSE(Coloured(dialog, 2));
}

TEST_P(PassportTest, TextsAreReadAsWindows1251) {
    StartAnswered();
    EcuAnswers({FullRecord(GetParam())});
    StopAnswered();
    TPassport dialog(station, *waiter);
    dialog.show();
    if (GetParam() == 0) {
        EXPECT_EQ(dialog.Soft_code->text(), "2112-1411020");
        EXPECT_EQ(dialog.Sys_drive->text(), "16V   ");  // trailing blanks stay
        EXPECT_EQ(dialog.Data_progr->text(), "07/05/2002");
    } else {
        EXPECT_EQ(dialog.Sys_drive->text(), QStringLiteral("Двигатель"));
        EXPECT_EQ(dialog.Data_progr->text(), "15.03.2004");
        EXPECT_EQ(dialog.Zap_code->text(), "2123-1 ");
    }
}

class PassportDateTest : public services_test::WindowLine {};
INSTANTIATE_TEST_SUITE_P(FirstFamily, PassportDateTest, testing::Values(0),
                         testing_support::FamilyName);

TEST_P(PassportDateTest, ProgrammingDateIsDayMonthYearOfTheCodedBytes) {
    for (const auto& [bytes, text] : {std::pair{"\x20\x02\x05\x07", "07/05/2002"},
                                      std::pair{"\x19\x99\x12\x31", "31/12/1999"}}) {
        backend.line.answers.clear();
        StartAnswered();
        Bytes record = Family0Record();
        Put(record, 57, bytes);
        EcuAnswers({record});
        StopAnswered();
        TPassport dialog(station, *waiter);
        dialog.show();
        EXPECT_EQ(dialog.Data_progr->text(), text);
    }
}

TEST_P(PassportTest, CentredOnTheMainWindow) {
    QWidget main;
    main.setGeometry(100, 80, 800, 600);
    main.show();
    backend.refuseOpen = true;
    TPassport dialog(station, *waiter, &main);
    dialog.show();
    EXPECT_LE((dialog.frameGeometry().center() - main.frameGeometry().center()).manhattanLength(),
              1);
}

}  // namespace

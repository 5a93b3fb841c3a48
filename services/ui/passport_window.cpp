#include "services/ui/passport_window.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "link/connection.h"
#include "platform/messages.h"
#include "services/ui/ecu_warnings.h"
#include "window_kit/window_parts.h"

namespace services {

TPassport* Passport = nullptr;

namespace {

constexpr int kReadAttempts = 20;
constexpr const char* kNoAnswerToRequest = "Блок не отвечает на запрос!";

// Fixed places, in pixels of the dialog's client area.
constexpr int kFrameLeft = 8;
constexpr int kFrameTop = 8;
constexpr int kFrameWidth = 433;
constexpr int kFramePadding = 8;
constexpr int kFrameGap = 8;
constexpr int kLabelLeft = 16;
constexpr int kLabelWidth = 236;
constexpr int kEditLeft = 260;
constexpr int kEditWidth = 173;
constexpr int kEditHeight = 21;
constexpr int kRowHeight = 26;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;

// The caption and a run of dots that reaches the end of its last line, so that the eye
// follows the row to its field. A caption too long for one line wraps as it is.
QString WithLeader(const QString& caption, const QFontMetrics& metrics, int width) {
    const QRect area(0, 0, width, 1000);
    const auto height = [&](const QString& text) {
        return metrics.boundingRect(area, Qt::TextWordWrap, text).height();
    };
    const int captionHeight = height(caption);
    QString text = caption;
    while (text.size() < caption.size() + 200 && height(text + '.') == captionHeight) text += '.';
    return text;
}

}  // namespace

TPassport::TPassport(kline::Station& station, kline::Connector& connector, QWidget* parent)
    : QDialog(parent), station_(station), connector_(connector) {
    setObjectName("Passport");
    setWindowTitle(QStringLiteral("Паспорт ЭБУ"));
    setFixedSize(449, 388);

    BuildRows();
    Auto_type = fields_[0];
    Serial_num = fields_[1];
    Ebu_code = fields_[2];
    Soft_code = fields_[3];
    Data_progr = fields_[4];
    Sys_drive = fields_[5];
    Soft_serial = fields_[6];
    Zap_code = fields_[7];
    Kuz_num = fields_[8];
    Drive_num = fields_[9];
    Data_izg = fields_[10];

    SpeedButton1 = new QPushButton(QStringLiteral("Закрыть"), this);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setGeometry((width() - kButtonWidth) / 2, Bevel2->geometry().bottom() + 13,
                              kButtonWidth, kButtonHeight);
    SpeedButton1->setAutoDefault(false);
    connect(SpeedButton1, &QPushButton::clicked, this, &TPassport::SpeedButton1Click);

    Timer1 = kline::NamedTimer("Timer1", 1, this, &TPassport::Timer1Timer);
    Timer2 = kline::NamedTimer("Timer2", 1, this, &TPassport::Timer2Timer);

    Passport = this;
}

TPassport::~TPassport() {
    kline::ForgetWindow(Passport, this);
}

// The upper frame's rows, then the lower frame's, top to bottom; each frame is as tall as
// its rows, and a row is as tall as its label needs.
void TPassport::BuildRows() {
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel2 = new QFrame(this);
    Bevel2->setObjectName("Bevel2");
    int y = kFrameTop;
    for (auto [frame, bevel] :
         {std::pair{PassportFrame::Upper, Bevel1}, std::pair{PassportFrame::Lower, Bevel2}}) {
        const int top = y;
        y += kFramePadding;
        for (const PassportRow& row : kPassportRows) {
            if (row.frame == frame)
                y += AddRow(row, y);
        }
        bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
        bevel->setGeometry(kFrameLeft, top, kFrameWidth, y + kFramePadding - top);
        y += kFramePadding + kFrameGap;
    }
}

int TPassport::AddRow(const PassportRow& row, int top) {
    auto* label = new QLabel(this);
    label->setWordWrap(true);
    label->setText(WithLeader(QString::fromUtf8(row.caption), label->fontMetrics(), kLabelWidth));
    const int height = std::max(kRowHeight, label->heightForWidth(kLabelWidth) + 6);
    label->setGeometry(kLabelLeft, top, kLabelWidth, height);

    auto* edit = new QLineEdit(this);
    edit->setObjectName(row.control);
    edit->setReadOnly(true);
    edit->setGeometry(kEditLeft, top + (height - kEditHeight) / 2, kEditWidth, kEditHeight);
    label->setBuddy(edit);

    fields_[row.fieldIndex] = edit;
    labels_[row.fieldIndex] = label;
    return height;
}

// The system's menu colour, as the desktop's menus are painted.
QColor TPassport::EmptyFieldColour() const {
    return QApplication::palette("QMenu").color(QPalette::Window);
}

void TPassport::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;  // shown again after the desktop hid it: no new read
    if (parentWidget()) {
        QRect place = frameGeometry();
        place.moveCenter(parentWidget()->window()->frameGeometry().center());
        move(place.topLeft());
    }
    FormShow();
}

void TPassport::FormShow() {
    // The connecting dialog is shown whatever `connected` says: a connection that another
    // window left open is used as it is, and ended below.
    connector_.ShowWaiter();
    if (!station_.connected) {
        Timer2->start();
        return;
    }
    kline::KwpMessage record;
    const bool read = ReadRecord(record);
    const bool stopped = kline::Disconnect(station_);
    if (!read || !stopped) {
        Timer1->start();
        return;
    }
    FillFields(record);
}

bool TPassport::ReadRecord(kline::KwpMessage& record) {
    return kline::Retry(station_, kReadAttempts, [&] {
        record = ReadIdentification(station_.Protocol(), station_.port);
        return !record.error;
    });
}

void TPassport::FillFields(const kline::KwpMessage& record) {
    for (int index = 0; index < kPassportFieldCount; ++index) {
        FieldBuffer buffer{};
        PassportField(station_.Protocol(), record, index, buffer);
        QLineEdit* edit = fields_[index];
        if (buffer[0] != 0) {
            edit->setText(QString::fromStdString(FieldText(buffer)));
            continue;
        }
        edit->clear();
        QPalette colours = edit->palette();
        colours.setColor(QPalette::Base, EmptyFieldColour());
        edit->setPalette(colours);
    }
}

void TPassport::SpeedButton1Click() {
    done(1);
}

void TPassport::Timer1Timer() {
    Timer1->stop();
    platform::ShowMessage(kNoAnswerToRequest, platform::kError, platform::Icon::Warning);
    done(1);
}

void TPassport::Timer2Timer() {
    Timer2->stop();
    platform::ShowMessage(kNotInitialised, platform::kError, platform::Icon::Warning);
    done(1);
}

}  // namespace services

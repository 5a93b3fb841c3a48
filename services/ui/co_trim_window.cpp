#include "services/ui/co_trim_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "link/connection.h"
#include "link/line_commands.h"
#include "platform/messages.h"
#include "services/co_trim.h"
#include "window_kit/window_parts.h"

namespace services {

TCorrCO* CorrCO = nullptr;

namespace {

QString TrimText(int trim) {
    return QString::fromStdString(CoTrimText(trim));
}

}  // namespace

UpDown::UpDown(QWidget* parent) : QSpinBox(parent) {
    setWrapping(false);
    lineEdit()->hide();               // the arrows only
    setFocusPolicy(Qt::StrongFocus);  // the arrow keys still step it
}

TCorrCO::TCorrCO(kline::Station& station, kline::Connector& connector, QWidget* parent)
    : QDialog(parent), station_(station), connector_(connector) {
    kline::SetUpDialog(this, "CorrCO", QStringLiteral("Корректировка СО"),
                       kline::kClosableDialog | Qt::WindowMaximizeButtonHint, {247, 160});

    Label1 = new QLabel(QStringLiteral("Текущая коррекция СО"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 12, 150, 16);

    CurCo = new QLabel(QStringLiteral("CurCo"), this);
    CurCo->setObjectName("CurCo");
    CurCo->setGeometry(168, 12, 64, 16);  // fixed width: the caption does not resize it

    Label2 = new QLabel(QStringLiteral("Новое значение коррекции"), this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(8, 40, 231, 32);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setWordWrap(true);

    CO = new QLineEdit(this);
    CO->setObjectName("CO");
    CO->setGeometry(72, 80, 81, 21);
    CO->setReadOnly(true);

    UpDown1 = new UpDown(this);
    UpDown1->setObjectName("UpDown1");
    UpDown1->setGeometry(153, 80, 17, 21);  // beside CO, not attached to it
    UpDown1->setRange(kCoTrimMin, kCoTrimMax);
    UpDown1->setValue(0);
    connect(UpDown1, &QSpinBox::valueChanged, this, &TCorrCO::UpDown1Changing);

    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(86, 120, 75, 25);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TCorrCO::BitBtn1Click);

    Timer1 = kline::NamedTimer("Timer1", 1, this, &TCorrCO::Timer1Timer);
}

TCorrCO::~TCorrCO() {
    kline::ForgetWindow(CorrCO, this);
}

void TCorrCO::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;  // the desktop showing the window again, no new showing
    if (const QScreen* desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());
    FormShow();
}

void TCorrCO::FormShow() {
    noTrim_ = !KeepsCoTrim(station_.Protocol());
    if (noTrim_) {
        Timer1->start();  // nothing to read: no byte of this family's record is a trim
        return;
    }
    kline::Connect(station_, connector_);
    if (!station_.connected) {
        Timer1->start();
        return;
    }
    const std::optional<int8_t> trim = ReadCoTrim(station_.Protocol(), station_.port);
    const bool stopped = kline::Disconnect(station_);
    if (!trim || !stopped) {
        Timer1->start();  // the values shown stay those of the last good showing
        return;
    }
    UpDown1->setValue(*trim);
    CurCo->setText(TrimText(*trim));
    CO->setText(TrimText(*trim));
}

void TCorrCO::UpDown1Changing(int position) {
    CO->setText(TrimText(position));
}

void TCorrCO::BitBtn1Click() {
    if (kline::RefusedOnRecording(station_)) {
        done(1);
        return;
    }
    kline::Connect(station_, connector_);  // showing the dialog ended its connection
    if (!station_.connected) {
        kline::Warn(kEcuSilent);
        done(1);
        return;
    }
    // The low byte of the position, two's complement on the line.
    const auto trim = static_cast<int8_t>(UpDown1->value());
    if (!WriteCoTrim(station_.Protocol(), trim, station_.RequestDelay(), station_.port))
        kline::Warn(kTrimNotStored);
    if (!kline::Disconnect(station_))
        kline::Warn(kExchangeNotEnded);
    done(1);
}

void TCorrCO::Timer1Timer() {
    Timer1->stop();
    if (noTrim_)
        platform::ShowMessage(kNoCoTrim, platform::kAttention, platform::Icon::Information);
    else
        kline::Warn(kEcuSilent);
    done(1);
}

}  // namespace services

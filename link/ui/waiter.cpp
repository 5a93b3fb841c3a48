#include "link/ui/waiter.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include "link/connection.h"
#include "platform/clock.h"
#include "platform/thread_name.h"
#include "window_kit/wait.h"
#include "window_kit/window_parts.h"

namespace kline {

TWaiter* Waiter = nullptr;

void TCommunicator::run() {
    platform::NameThisThread("TCommunicator");
    RunConnectionAttempt(station_, terminate_);
}

TWaiter::TWaiter(Station& station, QWidget* parent) : QDialog(parent), station_(station) {
    SetUpDialog(this, "Waiter", QStringLiteral("Связь с ЭБУ..."), kClosableDialog, {336, 131});
    setModal(true);

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 8, 316, 64);
    Label1->setWordWrap(true);
    QFont font = Label1->font();
    font.setPixelSize(13);
    Label1->setFont(font);
    Label1->setText(QStringLiteral(
        "Пожалуйста подождите! Программа пытается связаться с ЭБУ. Если блок долго не отвечает - "
        "остановите процесс, проверьте адаптер и подсоединение ЭБУ и попробуйте еще раз."));

    BitBtn1 = IconButton(QStyle::SP_DialogCancelButton, QStringLiteral("Остановить"), "BitBtn1",
                         {8, 96, 97, 25}, this);
    BitBtn1->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TWaiter::BitBtn1Click);

    Timer1 = NamedTimer("Timer1", 500, this, &TWaiter::Timer1Timer);
}

TWaiter::~TWaiter() {
    StopWorker();
    ForgetWindow(Waiter, this);
}

void TWaiter::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The attempt starts when the program shows the dialog; a restore from minimised is a
    // spontaneous show from the window system and must not start a second worker.
    if (event->spontaneous())
        return;
    if (parentWidget())
        move(parentWidget()->geometry().center() - rect().center());
    FormShow();
}

void TWaiter::FormShow() {
    // The flag goes up before the worker starts, so the timer never sees a stale clear flag.
    station_.connecting = 1;
    worker_ = std::make_unique<TCommunicator>(station_);  // the previous, finished one is released
    worker_->start();
    Timer1->start();
}

void TWaiter::Timer1Timer() {
    Timer1->stop();
    if (!station_.connecting) {
        done(1);
        return;
    }
    Timer1->start();
}

void TWaiter::BitBtn1Click() {
    Timer1->stop();
    StopWorker();
    done(1);
}

void TWaiter::StopWorker() {
    if (!worker_)
        return;
    worker_->RequestTerminate();
    platform::Sleep(50);
    WaitServingEvents(*worker_);
    worker_.reset();
}

void TWaiter::reject() {
    BitBtn1Click();
}

void TWaiter::closeEvent(QCloseEvent* event) {
    // The close box ends the attempt the way "Остановить" does: no worker outlives the dialog.
    event->ignore();
    BitBtn1Click();
}

}  // namespace kline

#include "link/ui/qt_message_sink.h"

#include <QMessageBox>
#include <QThread>

namespace kline {

QtMessageSink::QtMessageSink() {
    platform::UseMessageSink(this);
}

QtMessageSink::~QtMessageSink() {
    platform::UseMessageSink(nullptr);
}

void QtMessageSink::Show(const platform::Report& report) {
    if (QThread::currentThread() == thread()) {
        ShowHere(report);
        return;
    }
    // The user-interface thread keeps serving events while it waits for a worker
    // (WaitServingEvents), so this blocking call cannot lock up.
    QMetaObject::invokeMethod(
        this, [this, &report] { ShowHere(report); }, Qt::BlockingQueuedConnection);
}

void QtMessageSink::ShowHere(const platform::Report& report) {
    const auto icon =
        report.icon == platform::Icon::Warning ? QMessageBox::Warning : QMessageBox::Information;
    QMessageBox box(icon, QString::fromStdString(report.caption),
                    QString::fromStdString(report.text), QMessageBox::Ok);
    // The cause, where the station can tell it, behind the box's "Show Details..." button.
    if (!report.details.empty())
        box.setDetailedText(QString::fromStdString(report.details));
    box.exec();
}

}  // namespace kline

#include "window_kit/qt_message_sink.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <cstring>

namespace kline {

QtMessageSink::QtMessageSink() {
    platform::UseMessageSink(this);
    QCoreApplication::installTranslator(&detailsTexts_);
}

QtMessageSink::~QtMessageSink() {
    QCoreApplication::removeTranslator(&detailsTexts_);
    platform::UseMessageSink(nullptr);
}

QString QtMessageSink::DetailsButtonTexts::translate(const char* context, const char* source,
                                                     const char*, int) const {
    if (std::strcmp(context, "QMessageBox") != 0)
        return {};
    if (std::strcmp(source, "Show Details...") == 0)
        return QStringLiteral("Подробнее...");
    if (std::strcmp(source, "Hide Details...") == 0)
        return QStringLiteral("Скрыть подробности");
    return {};
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
    // The cause, where the station can tell it, behind the box's "Подробнее..." button.
    if (!report.details.empty())
        box.setDetailedText(QString::fromStdString(report.details));
    box.exec();
}

}  // namespace kline

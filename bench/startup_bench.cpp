// The station program's start, as its main() does it: the application, the message sink,
// the main window with the connecting dialog and the CO trim window, the window shown. Once
// the main window has been painted for the first time it writes the machine's monotonic time
// in milliseconds to standard output and ends; station_bench takes the time of the start.
#include <time.h>

#include <QApplication>
#include <QLocale>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/about_box.h"
#include "app/main_form.h"
#include "platform/number_format.h"
#include "window_kit/qt_message_sink.h"

namespace {

// Ends the event loop once the watched window's first paint has been delivered.
class FirstPaint final : public QObject {
  public:
    explicit FirstPaint(QWidget& window) : window_(window) { window.installEventFilter(this); }
    bool seen = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Paint && !seen) {
            seen = true;
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }

  private:
    QWidget& window_;
};

double MonotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavro-kx42h"));
    QApplication::setWindowIcon(ProductIcon());
    kline::QtMessageSink messages;
    const QString point = QLocale::system().decimalPoint();
    platform::SetDecimalSeparator(point.isEmpty() ? '.' : point.at(0).toLatin1());

    // A start held up by a message box (a missing settings file) is a failed measurement,
    // not a hang.
    QTimer::singleShot(10000, [] { std::exit(1); });

    TMainForm mainForm;  // with its connecting and CO trim dialogs, as the program starts

    FirstPaint painted(mainForm);
    mainForm.show();
    app.exec();
    const double shown = MonotonicMs();
    if (!painted.seen)
        return 1;
    std::printf("%.3f\n", shown);
    return 0;
}

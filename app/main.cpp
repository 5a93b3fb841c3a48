// tavro-kx42h, the diagnostic station: the main window, which builds the connecting dialog and
// the CO trim window that live for the whole run.
#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <exception>

#include "app/about_box.h"
#include "app/main_form.h"
#include "platform/number_format.h"
#include "widgets/fonts.h"
#include "window_kit/qt_message_sink.h"

namespace {

// An exception that escapes a handler is shown in an error box, and the program goes on.
class StationApplication final : public QApplication {
  public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            QMessageBox::critical(nullptr, QStringLiteral("Tavro KX4.2H"),
                                  QString::fromLocal8Bit(error.what()));
        } catch (...) {
            QMessageBox::critical(nullptr, QStringLiteral("Tavro KX4.2H"),
                                  QStringLiteral("Неизвестная ошибка"));
        }
        return false;
    }
};

// The separator of the user's regional settings, for every number the station shows.
char UserDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    const char separator = point.isEmpty() ? '\0' : point.at(0).toLatin1();
    return separator ? separator : '.';
}

}  // namespace

int main(int argc, char** argv) {
    StationApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavro-kx42h"));
    QApplication::setWindowIcon(ProductIcon());
    UseStationFonts();
    const QString taskBarTitle = QStringLiteral("Tavro KX4.2H — диагностика ЭБУ");

    kline::QtMessageSink messages;
    platform::SetDecimalSeparator(UserDecimalSeparator());

    TMainForm mainForm;
    mainForm.setWindowIconText(taskBarTitle);
    mainForm.show();
    return app.exec();
}

// Pictures of the information windows filled by the simulated ECUs, for the documentation:
//   services_window_shots DIR  writes DIR/passport.png, DIR/fault-codes.png, DIR/equipment.png
// The passport and the fault list show both families side by side (first family left or on
// top); the equipment list exists for the second family only.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <vector>

#include "services/ui/equipment_window.h"
#include "services/ui/fault_codes_window.h"
#include "services/ui/passport_window.h"
#include "sim/simulated_backend.h"
#include "tests/support/connecting.h"
#include "tests/support/recording_sink.h"
#include "tests/support/station_fixture.h"
#include "tests/support/work_window.h"

namespace {

using testing_support::OpenChild;
using SimStation = testing_support::StationOn<sim::SimulatedBackend>;

// The frame lays out its maximised child through posted events.
QPixmap Grab(QWidget& widget) {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    return widget.grab();
}

QPixmap Passport(int family) {
    SimStation sim(family, 100);
    const auto waiter = testing_support::MakeWaiter(sim.station);
    services::TPassport dialog(sim.station, *waiter);
    dialog.show();
    return Grab(dialog);
}

QPixmap FaultList(int family) {
    SimStation sim(family, 100);
    const auto waiter = testing_support::MakeWaiter(sim.station);
    sim.backend.SetDtcs(
        {{0x03, 0x40, 0x60}, {0x05, 0x05, 0x20}, {0x01, 0x30, 0x40}, {0x16, 0x03, 0x20}});
    auto* form = new services::TErrors_form(sim.station, *waiter);
    OpenChild frame(form, {660, 170});
    return Grab(frame.area);
}

QPixmap Equipment() {
    SimStation sim(1, 100);
    const auto waiter = testing_support::MakeWaiter(sim.station);
    auto* window = new services::TComplect(sim.station, *waiter);
    OpenChild frame(window, {420, 190});
    return Grab(frame.area);
}

// The pictures next to each other (across) or one under the other, on a light background.
QImage Join(const std::vector<QPixmap>& parts, bool across) {
    constexpr int kGap = 12;
    int width = 0;
    int height = 0;
    for (const QPixmap& p : parts) {
        width = across ? width + p.width() + kGap : std::max(width, p.width());
        height = across ? std::max(height, p.height()) : height + p.height() + kGap;
    }
    QImage image(across ? width - kGap : width, across ? height : height - kGap,
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QPoint at(0, 0);
    for (const QPixmap& p : parts) {
        painter.drawPixmap(at, p);
        at += across ? QPoint(p.width() + kGap, 0) : QPoint(0, p.height() + kGap);
    }
    return image;
}

bool Save(const QImage& image, const QDir& dir, const char* name) {
    const QString path = dir.filePath(name);
    if (image.save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    testing_support::RecordingSink sink;  // a message box would mean the ECU did not answer
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = Save(Join({Passport(0), Passport(1)}, true), dir, "passport.png");
    ok = Save(Join({FaultList(0), FaultList(1)}, false), dir, "fault-codes.png") && ok;
    ok = Save(Equipment().toImage(), dir, "equipment.png") && ok;
    for (const std::string& text : sink.Texts())
        std::fprintf(stderr, "message: %s\n", text.c_str());
    return ok && sink.Texts().empty() ? 0 : 1;
}

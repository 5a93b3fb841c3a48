#include "tests/reliability/station_rig.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace reliability {

namespace {

sim::EcuOptions Family(int family) {
    sim::EcuOptions options;
    options.type = family;
    return options;
}

}  // namespace

settings::SettingsRecord RigSettings(int ecuType, int count) {
    settings::SettingsRecord record;
    settings::ApplyDefaults(record);
    record.ecuType = static_cast<int8_t>(ecuType);
    record.requestDelay = 50;
    for (int type = 0; type < 2; ++type) {
        for (int slot = 0; slot < count; ++slot)
            record.groupLists[type][0][slot] = static_cast<uint8_t>(slot);
        record.groupCounts[type][0] = static_cast<uint8_t>(count);
        record.groupLists[type][2][0] = 5;
        record.groupCounts[type][2] = 1;
    }
    return record;
}

StationRig::StationRig(int family, bool realTime)
    : backend(realTime ? static_cast<platform::Clock&>(systemClock) : clock, Family(family)) {
    clock.Advance(1'000'000);  // the line has been idle a while
    platform::UseClock(realTime ? static_cast<platform::Clock*>(&systemClock) : &clock);
    path = dir_.filePath("auto.ini").toStdString();
    // The station's working folder, as the program has it: what it writes there (recordings)
    // goes with the test's own folder.
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    // The run ends with the main window closing; the test's own event loops go on.
    QApplication::setQuitOnLastWindowClosed(false);
}

StationRig::~StationRig() {
    End();
    QDir::setCurrent(previousDir_);
    platform::UseClock(nullptr);
}

void StationRig::Start(const settings::SettingsRecord& record) {
    settings::SaveSettings(record, path);
    Restart();
}

void StationRig::Restart() {
    End();
    form_ = std::make_unique<TMainForm>(path, &backend);
    form_->show();
}

void StationRig::End() {
    form_.reset();
}

std::string StationRig::FileBytes() const {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

bool ServeUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return done();
}

}  // namespace reliability

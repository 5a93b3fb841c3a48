// termios2 from the kernel's headers gives the 10400 baud of the line (BOTHER); the C
// library's <termios.h> cannot be included beside it, so raw mode is set by hand here.
#include "sim/pty_posix.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace sim {

namespace {

// How often a master without a slave looks again (its hang-up is reported at every poll).
constexpr int64_t kNoSlaveRetryMicros = 5'000;

// Raw 8N1: no echo, no line editing, no character translation, no flow control. The speed
// stays one of the fixed table's (a pseudo-terminal carries bytes at any): the station sets
// its own, and Wine cannot read a speed outside the table, so a station under Wine would
// find the port unreadable before it had set it.
void SetRaw(int fd) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ioctl(fd, TCSETS2, &t);
}

void SleepMicros(int64_t micros) {
    if (micros <= 0)
        return;
    timespec ts{static_cast<time_t>(micros / 1'000'000),
                static_cast<long>(micros % 1'000'000) * 1000};
    nanosleep(&ts, nullptr);
}

}  // namespace

PtyMaster::~PtyMaster() {
    if (fd_ >= 0)
        close(fd_);
}

bool PtyMaster::Open(std::string& error) {
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ptsname(fd_);
    if (name == nullptr) {
        error = std::string("no name for the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    SetRaw(fd_);  // the terminal settings of a master are those of its slave
    return true;
}

PtyMaster::Wait PtyMaster::WaitForBytes(int64_t micros) {
    if (micros < 0)
        micros = 0;
    pollfd p{fd_, POLLIN, 0};
    timespec ts{static_cast<time_t>(micros / 1'000'000),
                static_cast<long>(micros % 1'000'000) * 1000};
    Wait wait;
    if (ppoll(&p, 1, &ts, nullptr) <= 0)
        return wait;  // time-out or a signal
    wait.readable = (p.revents & POLLIN) != 0;
    wait.slaveOpen = (p.revents & POLLHUP) == 0;
    if (!wait.readable && !wait.slaveOpen)
        SleepMicros(std::min(micros, kNoSlaveRetryMicros));
    return wait;
}

std::vector<uint8_t> PtyMaster::Read() {
    std::vector<uint8_t> bytes(256);
    const ssize_t n = read(fd_, bytes.data(), bytes.size());
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

void PtyMaster::Write(uint8_t byte) {
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, 0) == 1 && (p.revents & POLLHUP))
        return;
    // A full buffer (a station that does not read) loses the byte, as a serial line would.
    [[maybe_unused]] const ssize_t n = write(fd_, &byte, 1);
}

uint32_t PtyMaster::StationBaudRate() const {
    struct termios2 t {};
    return ioctl(fd_, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
}

void PtyMaster::DropUnread() {
    ioctl(fd_, TCFLSH, TCIOFLUSH);
}

}  // namespace sim

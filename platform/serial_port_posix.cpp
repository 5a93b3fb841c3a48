// The serial port on Linux: a tty device opened for this station alone, set up through
// termios2 so that 10400 baud (not one of the fixed Bxxx rates) works, and read and written
// one byte at a time with poll-based time-outs that follow the Windows time-out record.
//
// <asm/termbits.h> brings struct termios2 and BOTHER; <termios.h> defines a different
// struct termios under the same name, so this file never includes it.
#include <asm/termbits.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/serial_port.h"
#include "platform/serial_rules.h"

namespace platform {

namespace {

enum class Readiness { Ready, TimedOut, Failed };

Readiness WaitFor(int fd, short events, const ByteDeadline& deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int count = poll(&entry, 1, deadline.MillisLeft());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return Readiness::Failed;
        if (count == 0)
            return Readiness::TimedOut;
        // Data still waiting counts before a hang-up reported with it.
        return (entry.revents & events) ? Readiness::Ready : Readiness::Failed;
    }
}

// --- line settings <-> termios2 ---------------------------------------------------------

constexpr tcflag_t kCharacterSizes[] = {CS5, CS6, CS7, CS8};  // 5 to 8 data bits
constexpr uint8_t kFewestDataBits = 5;

Parity ParityOf(tcflag_t cflag) {
    if (!(cflag & PARENB))
        return Parity::None;
    if (cflag & CMSPAR)
        return (cflag & PARODD) ? Parity::Mark : Parity::Space;
    return (cflag & PARODD) ? Parity::Odd : Parity::Even;
}

tcflag_t ParityFlags(Parity parity) {
    switch (parity) {
        case Parity::None:
            return 0;
        case Parity::Odd:
            return PARENB | PARODD;
        case Parity::Even:
            return PARENB;
        case Parity::Mark:
            return PARENB | CMSPAR | PARODD;
        case Parity::Space:
            return PARENB | CMSPAR;
    }
    return 0;
}

uint8_t DataBitsOf(tcflag_t cflag) {
    uint8_t bits = kFewestDataBits;
    for (const tcflag_t size : kCharacterSizes) {
        if ((cflag & CSIZE) == size)
            return bits;
        ++bits;
    }
    return 8;
}

LineSettings FromTermios(const termios2& t) {
    LineSettings s;
    s.baudRate = t.c_ospeed;  // the kernel keeps it filled in for every rate
    s.dataBits = DataBitsOf(t.c_cflag);
    s.parity = ParityOf(t.c_cflag);
    s.stopBits = (t.c_cflag & CSTOPB) ? StopBits::Two : StopBits::One;
    s.xonXoffOutput = t.c_iflag & IXON;
    s.xonXoffInput = t.c_iflag & IXOFF;
    // Linux couples the two hardware handshake lines in one flag.
    s.ctsFlow = s.rtsHandshake = t.c_cflag & CRTSCTS;
    // A byte with a parity error is delivered as 0 when checked and not ignored.
    s.replaceParityErrors = (t.c_iflag & INPCK) && !(t.c_iflag & IGNPAR);
    // DSR handshake, DTR handshake and null stripping do not exist here: always off.
    return s;
}

// What the Linux line discipline cannot do is refused rather than quietly dropped.
bool CanApply(const LineSettings& s) {
    return s.baudRate > 0 && s.dataBits >= kFewestDataBits && s.dataBits <= 8 &&
           s.stopBits != StopBits::OnePointFive && !s.dsrFlow && !s.dtrHandshake && !s.stripNulls &&
           s.ctsFlow == s.rtsHandshake;
}

// Raw mode: every byte passes untouched both ways. No echo, no line editing, no signal
// characters, no CR/NL translation, no stripping, no parity marking, no software flow
// control: the type-0 ECU's address 0x11 is the XON character.
void MakeRaw(termios2& t) {
    t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                   IUCLC | IXON | IXANY | IXOFF | IMAXBEL | IUTF8);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE |
                   NOFLSH | TOSTOP | IEXTEN);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

void Apply(const LineSettings& s, termios2& t) {
    MakeRaw(t);
    t.c_cflag &=
        ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // BOTHER takes the rate as a number, in both directions.
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | CLOCAL | CREAD;
    t.c_ispeed = t.c_ospeed = s.baudRate;
    t.c_cflag |= kCharacterSizes[s.dataBits - kFewestDataBits] | ParityFlags(s.parity);
    if (s.stopBits == StopBits::Two)
        t.c_cflag |= CSTOPB;
    if (s.ctsFlow)
        t.c_cflag |= CRTSCTS;
    if (s.xonXoffOutput)
        t.c_iflag |= IXON;
    if (s.xonXoffInput)
        t.c_iflag |= IXOFF;
    if (s.replaceParityErrors)
        t.c_iflag |= INPCK;
}

// The kernel accepts a setting when it applied any part of it, so the line is read back.
bool Matches(const LineSettings& got, const LineSettings& want) {
    return SameRate(got.baudRate, want.baudRate) && got.dataBits == want.dataBits &&
           got.parity == want.parity && got.stopBits == want.stopBits &&
           got.xonXoffOutput == want.xonXoffOutput && got.xonXoffInput == want.xonXoffInput &&
           got.ctsFlow == want.ctsFlow && got.replaceParityErrors == want.replaceParityErrors;
}

// --- the port ---------------------------------------------------------------------------

class PosixSerialPort final : public SerialPort {
  public:
    explicit PosixSerialPort(int fd) : fd_(fd) {}
    ~PosixSerialPort() override { Close(); }

    bool GetState(LineSettings& settings) override {
        termios2 t{};
        if (!Control(TCGETS2, &t))
            return false;
        settings = FromTermios(t);
        return true;
    }

    bool SetState(const LineSettings& settings) override {
        termios2 t{};
        if (!CanApply(settings) || !Control(TCGETS2, &t))
            return false;
        Apply(settings, t);
        LineSettings applied;
        return Control(TCSETS2, &t) && GetState(applied) && Matches(applied, settings);
    }

    bool ClearDtr() override { return ClearModemLine(TIOCM_DTR); }
    bool ClearRts() override { return ClearModemLine(TIOCM_RTS); }

    bool GetTimeouts(CommTimeouts& timeouts) override {
        if (fd_ < 0)
            return false;
        timeouts = timeouts_;
        return true;
    }

    bool SetTimeouts(const CommTimeouts& timeouts) override {
        if (fd_ < 0)
            return false;
        timeouts_ = timeouts;
        return true;
    }

    bool PurgeReceive() override { return fd_ >= 0 && ioctl(fd_, TCFLSH, TCIFLUSH) == 0; }

    int ReadByte(uint8_t& byte) override {
        if (fd_ < 0)
            return 0;
        const ByteDeadline deadline(ReadWait(timeouts_));
        for (;;) {
            const Readiness readiness = WaitFor(fd_, POLLIN, deadline);
            if (readiness == Readiness::TimedOut)
                return 0;
            if (readiness == Readiness::Failed)
                break;
            const ssize_t count = read(fd_, &byte, 1);
            if (count == 1)
                return 1;
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            break;  // EIO (the other end hung up) or end of file
        }
        deadline.WaitOut();
        return 0;
    }

    int WriteByte(uint8_t byte) override {
        if (fd_ < 0)
            return 0;
        const ByteDeadline deadline(WriteWait(timeouts_));
        for (;;) {
            const ssize_t count = write(fd_, &byte, 1);
            if (count == 1)
                return 1;
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0 && errno == EAGAIN) {
                const Readiness readiness = WaitFor(fd_, POLLOUT, deadline);
                if (readiness == Readiness::Ready)
                    continue;
                if (readiness == Readiness::TimedOut)
                    return 0;
            }
            break;
        }
        deadline.WaitOut();
        return 0;
    }

    bool SetBreak() override { return fd_ >= 0 && ioctl(fd_, TIOCSBRK) == 0; }
    bool ClearBreak() override { return fd_ >= 0 && ioctl(fd_, TIOCCBRK) == 0; }

    bool Close() override {
        if (fd_ < 0)
            return false;
        // A pseudo-terminal keeps its exclusive mark while the other end lives: clear it,
        // or the next opener that is not root is turned away.
        ioctl(fd_, TIOCNXCL);
        flock(fd_, LOCK_UN);
        const int fd = fd_;
        fd_ = -1;  // released by close() even when it reports an error
        return close(fd) == 0;
    }

  private:
    bool Control(unsigned long request, void* argument) {
        return fd_ >= 0 && ioctl(fd_, request, argument) == 0;
    }

    // A device without modem lines (a pseudo-terminal) refuses the call: nothing to clear.
    bool ClearModemLine(int line) {
        if (Control(TIOCMBIC, &line))
            return true;
        return fd_ >= 0 && (errno == ENOTTY || errno == EINVAL);
    }

    int fd_;
    CommTimeouts timeouts_;
};

// --- opening ----------------------------------------------------------------------------

// No sharing: a port marked exclusive by another program, or locked by another station,
// is busy. The lock comes first, so that a busy port is never marked on its holder's behalf.
// Root passes TIOCEXCL regardless; the lock is what turns a second station away then.
bool TakeExclusive(int fd) {
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        return false;
    return flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCEXCL) == 0;
}

// A USB serial driver may hold received bytes for up to 16 ms before passing them on,
// which adds that much to every exchange. Drivers that know low-latency reception are
// asked for it; a device that does not know it is used as it is.
void RequestLowLatency(int fd) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY))
        return;
    info.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &info);
}

// --- why an open failed ------------------------------------------------------------------

std::string ProgramName(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

std::vector<std::string> ProcessIds() {
    std::vector<std::string> pids;
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* entry = readdir(proc))
            if (std::all_of(entry->d_name, entry->d_name + std::strlen(entry->d_name),
                            [](char c) { return c >= '0' && c <= '9'; }))
                pids.emplace_back(entry->d_name);
        closedir(proc);
    }
    return pids;
}

bool HoldsFile(const std::string& pid, const std::string& path) {
    const std::string folder = "/proc/" + pid + "/fd";
    DIR* fds = opendir(folder.c_str());  // only our own user's programs can be looked into
    if (!fds)
        return false;
    bool holds = false;
    char target[PATH_MAX];
    while (const dirent* entry = readdir(fds)) {
        const std::string link = folder + "/" + entry->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && path == std::string(target, static_cast<size_t>(n))) {
            holds = true;
            break;
        }
    }
    closedir(fds);
    return holds;
}

// The program that has `path` open, where the system lets us see it; and whether the braille
// display service runs, which takes CH340 cables on some distributions.
void LookForHolder(const std::string& path, OpenFailure& failure, bool deviceExists = true) {
    char resolved[PATH_MAX];
    const std::string device = realpath(path.c_str(), resolved) ? resolved : path;
    const std::string self = std::to_string(getpid());
    for (const std::string& pid : ProcessIds()) {
        const std::string name = ProgramName(pid);
        if (name == "brltty")
            failure.brailleService = true;
        if (deviceExists && pid != self && failure.holder.empty() && HoldsFile(pid, device))
            failure.holder = name;
    }
}

// The group that may use the device, and whether the user is in it only on paper (added
// after logging in: the session does not have it yet).
void LookAtGroup(const std::string& path, OpenFailure& failure) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return;
    if (const group* owner = getgrgid(info.st_gid)) {
        failure.group = owner->gr_name;
        const passwd* user = getpwuid(geteuid());
        for (char** member = owner->gr_mem; user && *member; ++member)
            failure.groupListed = failure.groupListed || user->pw_name == std::string(*member);
    }
    std::vector<gid_t> groups(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
    groups.resize(static_cast<size_t>(
        std::max(getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    if (std::find(groups.begin(), groups.end(), info.st_gid) != groups.end())
        failure.groupListed = false;  // the session has it: the mode bits stand in the way
}

OpenFailure Diagnose(const std::string& path, int error) {
    OpenFailure failure;
    failure.device = path;
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            failure.error = OpenError::Missing;
            LookForHolder(path, failure, false);  // the braille service may have taken the cable
            break;
        case EACCES:
        case EPERM:
            failure.error = OpenError::PermissionDenied;
            LookAtGroup(path, failure);
            break;
        case EBUSY:
            failure.error = OpenError::Busy;
            LookForHolder(path, failure);
            break;
        case ENOTTY:
            failure.error = OpenError::NotSerial;
            break;
        default:
            break;
    }
    return failure;
}

class PosixSerialBackend final : public SerialBackend {
  public:
    std::unique_ptr<SerialPort> Open(const std::string& name) override {
        const std::string path = DevicePath(name);
        failure_ = {};
        failure_.device = name;
        if (path.empty()) {
            failure_.error = OpenError::Missing;
            return nullptr;
        }
        // Non-blocking, so that a modem port waiting for its carrier cannot hang the open;
        // the port stays non-blocking and every wait goes through poll.
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            failure_ = Diagnose(path, errno);
            return nullptr;
        }
        if (!isatty(fd) || !TakeExclusive(fd)) {
            failure_ = Diagnose(path, isatty(fd) ? EBUSY : ENOTTY);
            close(fd);
            return nullptr;
        }
        RequestLowLatency(fd);
        failure_ = {};
        return std::make_unique<PosixSerialPort>(fd);
    }

    // One thread opens at a time (the connection worker or the window's), as the port's
    // users take turns.
    OpenFailure LastOpenFailure() const override { return failure_; }

  private:
    OpenFailure failure_;
};

}  // namespace

SerialBackend& SystemSerialBackend() {
    static PosixSerialBackend backend;
    return backend;
}

}  // namespace platform

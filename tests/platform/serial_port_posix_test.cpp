// The POSIX backend on a real pseudo-terminal: the test holds the master end and plays the
// adapter, the backend opens the slave end by its short name as a user would type it.
// The waits here are real: the time-outs of a real device are what is tested.
#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace platform {
namespace {

using Bytes = std::vector<uint8_t>;
using Millis = std::chrono::duration<double, std::milli>;

// The K-line's record: 20 x 1 + 90 = 110 ms for every byte.
constexpr CommTimeouts kLineTimeouts{20, 20, 90, 20, 90};

LineSettings Line8N1(uint32_t baudRate) {
    LineSettings s;
    s.baudRate = baudRate;
    return s;
}

// The master end of a pseudo-terminal pair.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
            path_ = ptsname(master_);
    }
    ~PseudoTerminal() { Hangup(); }

    bool Ready() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    std::string ShortName() const { return path_.substr(std::string("/dev/").size()); }

    // The slave's termios as the kernel holds it (termios calls on the master act on it).
    termios2 SlaveTermios() const {
        termios2 t{};
        ioctl(master_, TCGETS2, &t);
        return t;
    }

    bool Send(const Bytes& bytes) {
        return write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // What arrived within the wait, up to count bytes.
    Bytes Receive(size_t count, int waitMillis = 500) {
        Bytes got;
        while (got.size() < count) {
            pollfd entry{master_, POLLIN, 0};
            if (poll(&entry, 1, waitMillis) != 1)
                break;
            uint8_t buffer[64];
            const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0)
                break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    void Hangup() {
        if (master_ >= 0)
            close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    std::string path_;
};

class PosixSerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.Ready()); }

    // The port as the link leaves it after opening: 10400 8N1 and the line's time-outs.
    std::unique_ptr<SerialPort> OpenLine() {
        auto port = SystemSerialBackend().Open(pty.ShortName());
        if (port && port->SetState(Line8N1(10400)) && port->SetTimeouts(kLineTimeouts))
            return port;
        return nullptr;
    }

    // Real time of one single-byte read.
    static double TimedRead(SerialPort& port, int& transferred) {
        uint8_t byte = 0;
        const auto start = std::chrono::steady_clock::now();
        transferred = port.ReadByte(byte);
        return Millis(std::chrono::steady_clock::now() - start).count();
    }

    PseudoTerminal pty;
};

TEST_F(PosixSerialPortTest, OpensByShortNameAndTakes10400Baud) {
    auto port = SystemSerialBackend().Open(pty.ShortName());
    ASSERT_NE(port, nullptr) << pty.ShortName();
    LineSettings before;
    ASSERT_TRUE(port->GetState(before));
    EXPECT_NE(before.baudRate, 10400u);  // a fresh pseudo-terminal starts at 38400

    ASSERT_TRUE(port->SetState(Line8N1(10400)));
    LineSettings after;
    ASSERT_TRUE(port->GetState(after));
    EXPECT_EQ(after.baudRate, 10400u);
    EXPECT_EQ(after.dataBits, 8);
    EXPECT_EQ(after.parity, Parity::None);
    EXPECT_EQ(after.stopBits, StopBits::One);

    const termios2 t = pty.SlaveTermios();
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(t.c_ospeed, 10400u);
    EXPECT_EQ(t.c_ispeed, 10400u);
}

TEST_F(PosixSerialPortTest, SetStatePutsTheLineInRawMode) {
    auto port = OpenLine();
    ASSERT_NE(port, nullptr);
    const termios2 t = pty.SlaveTermios();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));

    // What a cooked line would swallow or rewrite passes untouched both ways: XON (the
    // type-0 ECU's address), XOFF, CR, NL, the interrupt and erase characters, 0xFF.
    const Bytes special{0x11, 0x13, 0x0D, 0x0A, 0x03, 0x7F, 0x1A, 0x00, 0xFF};
    ASSERT_TRUE(pty.Send(special));
    Bytes read;
    uint8_t byte = 0;
    while (read.size() < special.size() && port->ReadByte(byte) == 1) read.push_back(byte);
    EXPECT_EQ(read, special);
    EXPECT_EQ(pty.Receive(1, 20), Bytes{}) << "the line echoed what it received";

    for (const uint8_t b : special) ASSERT_EQ(port->WriteByte(b), 1);
    EXPECT_EQ(pty.Receive(special.size()), special);
    EXPECT_EQ(pty.Receive(1, 20), Bytes{}) << "the line added bytes to what was written";
}

TEST_F(PosixSerialPortTest, SilentReadGivesNothingAfter110Ms) {
    auto port = OpenLine();
    ASSERT_NE(port, nullptr);
    int transferred = -1;
    const double elapsed = TimedRead(*port, transferred);
    EXPECT_EQ(transferred, 0);
    EXPECT_GE(elapsed, 109.0);
    EXPECT_LT(elapsed, 250.0);
}

TEST_F(PosixSerialPortTest, FrameWrittenArrivesAndAnswerIsRead) {
    auto port = OpenLine();
    ASSERT_NE(port, nullptr);
    const Bytes start{0x81, 0x11, 0xF1, 0x81, 0x04};
    for (const uint8_t b : start) ASSERT_EQ(port->WriteByte(b), 1);
    EXPECT_EQ(pty.Receive(start.size()), start);

    const Bytes answer{0x83, 0xF1, 0x11, 0xC1, 0x8F, 0xEA, 0xD0};
    ASSERT_TRUE(pty.Send(answer));
    Bytes read;
    uint8_t byte = 0;
    for (size_t i = 0; i < answer.size(); ++i) {
        ASSERT_EQ(port->ReadByte(byte), 1) << "byte " << i;
        read.push_back(byte);
    }
    EXPECT_EQ(read, answer);
}

TEST_F(PosixSerialPortTest, PurgeDiscardsWaitingInput) {
    auto port = OpenLine();
    ASSERT_NE(port, nullptr);
    // One write of the master reaches the slave as one batch: once its first byte has
    // been read, the rest is waiting.
    ASSERT_TRUE(pty.Send({0x55, 0x83, 0xF1, 0x11}));
    uint8_t byte = 0;
    ASSERT_EQ(port->ReadByte(byte), 1);
    ASSERT_EQ(byte, 0x55);

    ASSERT_TRUE(port->PurgeReceive());
    EXPECT_EQ(port->ReadByte(byte), 0);

    ASSERT_TRUE(pty.Send({0x42}));  // input after the purge is read as usual
    ASSERT_EQ(port->ReadByte(byte), 1);
    EXPECT_EQ(byte, 0x42);
}

TEST_F(PosixSerialPortTest, SecondOpenIsRefusedUntilTheFirstCloses) {
    auto first = SystemSerialBackend().Open(pty.ShortName());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(SystemSerialBackend().Open(pty.ShortName()), nullptr);
    EXPECT_EQ(SystemSerialBackend().Open(pty.Path()), nullptr);

    ASSERT_TRUE(first->Close());
    EXPECT_FALSE(first->Close()) << "a port is closed once";
    auto again = SystemSerialBackend().Open(pty.ShortName());
    EXPECT_NE(again, nullptr);
}

TEST_F(PosixSerialPortTest, ClosingLiftsTheExclusiveMark) {
    SystemSerialBackend().Open(pty.ShortName()).reset();  // opened and closed by its owner
    // The pseudo-terminal outlives the opener; a program that is not root could not open
    // it again if the mark stayed.
    const int fd = open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(fd);
}

TEST_F(PosixSerialPortTest, PortMarkedExclusiveByAnotherProgramIsBusy) {
    const int other = open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    ASSERT_EQ(ioctl(other, TIOCEXCL), 0);
    EXPECT_EQ(SystemSerialBackend().Open(pty.ShortName()), nullptr);
    ioctl(other, TIOCNXCL);
    close(other);
}

TEST(PosixSerialBackend, RefusesWhatIsNoSerialPort) {
    for (const char* name :
         {"ttyNoSuchPort", "COM250", "pts/99999", "", "null", "/dev/null", "/tmp", "pts"}) {
        EXPECT_EQ(SystemSerialBackend().Open(name), nullptr) << '"' << name << '"';
    }
}

// A pseudo-terminal has no modem lines: the kernel answers ENOTTY, which is not a failure.
TEST_F(PosixSerialPortTest, ModemLinesClearOnADeviceWithoutThem) {
    auto port = OpenLine();
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->ClearDtr());
    EXPECT_TRUE(port->ClearRts());
    // The wake-up break is accepted too, and the line carries bytes after it.
    EXPECT_TRUE(port->SetBreak());
    EXPECT_TRUE(port->ClearBreak());
    ASSERT_EQ(port->WriteByte(0x81), 1);
    EXPECT_EQ(pty.Receive(1), Bytes{0x81});
}

TEST_F(PosixSerialPortTest, SettingTheDeviceCannotTakeIsRefused) {
    auto port = SystemSerialBackend().Open(pty.ShortName());
    ASSERT_NE(port, nullptr);
    // A pseudo-terminal always carries 8 data bits without parity; the kernel accepts the
    // call all the same, so only reading back tells.
    LineSettings sevenEven = Line8N1(10400);
    sevenEven.dataBits = 7;
    sevenEven.parity = Parity::Even;
    EXPECT_FALSE(port->SetState(sevenEven));

    LineSettings dsr = Line8N1(10400);
    dsr.dsrFlow = true;  // no DSR handshake on Linux
    EXPECT_FALSE(port->SetState(dsr));
    LineSettings nine = Line8N1(10400);
    nine.dataBits = 9;
    EXPECT_FALSE(port->SetState(nine));
    EXPECT_FALSE(port->SetState(Line8N1(0)));
}

struct FlagRow {
    const char* label;
    void (*set)(LineSettings&);
    tcflag_t termios2::*field;
    tcflag_t bit;
};

class FlowControlTest : public PosixSerialPortTest,
                        public ::testing::WithParamInterface<FlagRow> {};

// The link switches these off; a request to switch one on must reach the line as well.
TEST_P(FlowControlTest, FlagReachesTheLineAndReadsBack) {
    auto port = SystemSerialBackend().Open(pty.ShortName());
    ASSERT_NE(port, nullptr);
    LineSettings wanted = Line8N1(10400);
    GetParam().set(wanted);
    ASSERT_TRUE(port->SetState(wanted));
    EXPECT_NE(pty.SlaveTermios().*GetParam().field & GetParam().bit, 0u);
    LineSettings got;
    ASSERT_TRUE(port->GetState(got));
    EXPECT_EQ(got.xonXoffOutput, wanted.xonXoffOutput);
    EXPECT_EQ(got.xonXoffInput, wanted.xonXoffInput);
    EXPECT_EQ(got.ctsFlow, wanted.ctsFlow);
    EXPECT_EQ(got.rtsHandshake, wanted.rtsHandshake);
    EXPECT_EQ(got.replaceParityErrors, wanted.replaceParityErrors);

    ASSERT_TRUE(port->SetState(Line8N1(10400)));  // and off again
    EXPECT_EQ(pty.SlaveTermios().*GetParam().field & GetParam().bit, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, FlowControlTest,
    ::testing::Values(FlagRow{"xonXoffOutput", [](LineSettings& s) { s.xonXoffOutput = true; },
                              &termios2::c_iflag, IXON},
                      FlagRow{"xonXoffInput", [](LineSettings& s) { s.xonXoffInput = true; },
                              &termios2::c_iflag, IXOFF},
                      FlagRow{"hardwareHandshake",
                              [](LineSettings& s) { s.ctsFlow = s.rtsHandshake = true; },
                              &termios2::c_cflag, CRTSCTS},
                      FlagRow{"replaceParityErrors",
                              [](LineSettings& s) { s.replaceParityErrors = true; },
                              &termios2::c_iflag, INPCK}),
    [](const ::testing::TestParamInfo<FlagRow>& info) { return info.param.label; });

TEST_F(PosixSerialPortTest, HungUpLineReadsNothingAtTheLinePace) {
    auto port = OpenLine();
    ASSERT_NE(port, nullptr);
    pty.Hangup();  // the adapter's end is gone: reads fail with EIO at once
    // A caller retrying the read must not spin: each failed read lasts its time-out.
    int transferred = -1;
    const double elapsed = TimedRead(*port, transferred);
    EXPECT_EQ(transferred, 0);
    EXPECT_GE(elapsed, 100.0);
    EXPECT_LT(elapsed, 250.0);
    EXPECT_EQ(port->WriteByte(0xAA), 0);
    EXPECT_TRUE(port->Close());
}

TEST_F(PosixSerialPortTest, ClosedPortRefusesEveryCall) {
    auto port = OpenLine();
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->Close());
    LineSettings s;
    CommTimeouts t;
    uint8_t byte = 0;
    EXPECT_FALSE(port->GetState(s));
    EXPECT_FALSE(port->SetState(Line8N1(10400)));
    EXPECT_FALSE(port->ClearDtr());
    EXPECT_FALSE(port->GetTimeouts(t));
    EXPECT_FALSE(port->PurgeReceive());
    EXPECT_EQ(port->ReadByte(byte), 0);
    EXPECT_EQ(port->WriteByte(0xAA), 0);
    EXPECT_FALSE(port->SetBreak());
}

// What the backend tells of a port that would not open, for the details of the message.
TEST_F(PosixSerialPortTest, SaysWhyAPortWouldNotOpen) {
    SerialBackend& backend = SystemSerialBackend();
    auto first = backend.Open(pty.ShortName());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(backend.Open(pty.ShortName()), nullptr);
    EXPECT_EQ(backend.LastOpenFailure().error, OpenError::Busy);
    EXPECT_EQ(backend.LastOpenFailure().device, pty.Path());

    EXPECT_EQ(backend.Open("ttyUSB99"), nullptr);
    EXPECT_EQ(backend.LastOpenFailure().error, OpenError::Missing);
    EXPECT_EQ(backend.LastOpenFailure().device, "/dev/ttyUSB99");

    EXPECT_EQ(backend.Open("/dev/null"), nullptr);
    EXPECT_EQ(backend.LastOpenFailure().error, OpenError::NotSerial);
}

// A program that keeps the port open with neither lock nor exclusive mark (cat, a terminal
// program) is seen by its open files: the station does not share the line with it.
TEST_F(PosixSerialPortTest, ProgramHoldingThePortWithoutALockMakesItBusy) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, pty.Path().c_str(), O_RDWR | O_NOCTTY, 0);
    char program[] = "sleep", seconds[] = "30";
    char* argv[] = {program, seconds, nullptr};
    pid_t holder = 0;
    ASSERT_EQ(posix_spawnp(&holder, "sleep", &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    SerialBackend& backend = SystemSerialBackend();
    EXPECT_EQ(backend.Open(pty.ShortName()), nullptr);
    const OpenFailure failure = backend.LastOpenFailure();
    EXPECT_EQ(failure.error, OpenError::Busy);
    ASSERT_EQ(failure.holders.size(), 1u);
    EXPECT_EQ(failure.holders[0].pid, holder);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_NE(backend.Open(pty.ShortName()), nullptr);
}

}  // namespace
}  // namespace platform

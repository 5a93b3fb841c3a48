// The cause of a failed port as the system tells it, read from a system made up in a test
// folder: the UART behind ttyS devices, the process table's open files, the USB chips the
// braille display service holds, and the owner, group and mode of a device file.
#include "platform/port_diagnosis.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using platform::OpenError;

class PortDiagnosisTest : public testing::Test {
  protected:
    PortDiagnosisTest() : root(fs::path(testing::TempDir()) / "tavro-diagnosis") {
        fs::remove_all(root);
        folders = {Path("dev"), Path("class"), Path("usb"), Path("proc")};
        Write("dev/ttyUSB0", "");
        device = platform::ResolvedDevice(Path("dev/ttyUSB0"));
    }
    ~PortDiagnosisTest() override { fs::remove_all(root); }

    std::string Path(const std::string& name) const { return (root / name).string(); }
    void Write(const std::string& file, const std::string& text) {
        fs::create_directories((root / file).parent_path());
        std::ofstream(root / file) << text;
    }
    void Link(const std::string& link, const std::string& target) {
        fs::create_directories((root / link).parent_path());
        fs::create_symlink(target, root / link);
    }
    // A process of the made-up process table and the files it has open.
    void Process(int pid, const std::string& name, const std::vector<std::string>& files) {
        const std::string folder = "proc/" + std::to_string(pid);
        Write(folder + "/comm", name + "\n");
        for (size_t fd = 0; fd < files.size(); ++fd)
            Link(folder + "/fd/" + std::to_string(fd), files[fd]);
    }
    // A USB device of `vendor` whose first interface is bound to `driver`.
    void UsbChip(const std::string& vendor, const std::string& driver) {
        Write("usb/1-1/idVendor", vendor + "\n");
        Write("usb/1-1/idProduct", "7523\n");
        Link("usb/1-1:1.0/driver", "../../../../bus/usb/drivers/" + driver);
    }

    fs::path root;
    platform::DeviceFolders folders;
    std::string device;
};

TEST_F(PortDiagnosisTest, BusyPortNamesEveryOtherProcessThatHasItOpenLockOrNoLock) {
    Process(100, "minicom", {"/dev/null", device});
    Process(200, "tavro-kx42h", {device});  // this very process
    Process(40, "cat", {device});
    const platform::OpenFailure f = platform::Diagnose(device, EBUSY, folders, 200);
    EXPECT_EQ(f.error, OpenError::Busy);
    ASSERT_EQ(f.holders.size(), 2u);
    EXPECT_EQ(f.holders[0].program, "cat");
    EXPECT_EQ(f.holders[0].pid, 40);
    EXPECT_EQ(f.holders[1].program, "minicom");
}

TEST_F(PortDiagnosisTest, TtySWithoutAUartIsNamedWhateverTheCallSaid) {
    Write("dev/ttyS0", "");
    Write("dev/ttyS1", "");
    Write("class/ttyS0/type", "0\n");  // PORT_UNKNOWN: the kernel found no UART
    Write("class/ttyS1/type", "4\n");  // a 16550A
    for (const int error : {EIO, ENXIO, EACCES})
        EXPECT_EQ(platform::Diagnose(Path("dev/ttyS0"), error, folders, 1).error,
                  OpenError::NoUart);
    EXPECT_EQ(platform::Diagnose(Path("dev/ttyS1"), EIO, folders, 1).error, OpenError::Unknown);
}

TEST_F(PortDiagnosisTest, BrailleServiceIsNamedOnlyWhenItHoldsASerialChip) {
    const auto chip = [&] {
        return platform::Diagnose(Path("dev/ttyUSB7"), ENOENT, folders, 1).brailleChip;
    };
    UsbChip("1a86", "usbfs");
    EXPECT_EQ(chip(), "") << "claimed, but no braille service runs";
    Process(500, "brltty", {});
    EXPECT_EQ(chip(), "1a86:7523");
    fs::remove_all(root / "usb");
    UsbChip("1a86", "ch341");
    EXPECT_EQ(chip(), "") << "the serial driver has the chip";
}

}  // namespace

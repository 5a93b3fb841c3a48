// The ports the connection dialog offers, found in a device folder and a tty class folder
// made up by the test.
#include "platform/port_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class PortListTest : public testing::Test {
  protected:
    PortListTest() : root(fs::path(testing::TempDir()) / "tavro-ports") {
        fs::remove_all(root);
        fs::create_directories(root / "dev");
        fs::create_directories(root / "class");
    }
    ~PortListTest() override { fs::remove_all(root); }

    void Device(const std::string& name) { std::ofstream(root / "dev" / name).put('\0'); }
    // A ttyS device and the port type its UART reports (0: no UART behind it).
    void Uart(const std::string& name, int type) {
        Device(name);
        fs::create_directories(root / "class" / name);
        std::ofstream(root / "class" / name / "type") << type << '\n';
    }
    std::vector<std::string> List() {
        return platform::PresentSerialPorts({(root / "dev").string(), (root / "class").string()});
    }

    fs::path root;
};

TEST_F(PortListTest, UsbAcmAndRealUartPortsThatFitSevenCharactersInNaturalOrder) {
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyACM0", "tty0", "tty63", "ttyUSB",
                             "ttyUSBx", "console", "ttyprintk", "pts", "null"})
        Device(name);
    Uart("ttyS0", 4);  // 16550A
    Uart("ttyS1", 0);  // the kernel made it, no UART answers there
    Uart("ttyS2", 4);
    Uart("ttyS12", 4);  // a card's port: after ttyS2
    Device("ttyS3");    // no class entry: nothing tells it is real
    EXPECT_EQ(List(), (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS2", "ttyS12", "ttyUSB0",
                                                "ttyUSB2"}));
}

TEST_F(PortListTest, MissingFolderGivesNoPorts) {
    EXPECT_TRUE(platform::PresentSerialPorts({(root / "none").string(), "/nonexistent"}).empty());
}

}  // namespace

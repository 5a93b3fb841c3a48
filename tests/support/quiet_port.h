// A port whose line set-up calls all succeed and do nothing: the base of the test ports that
// only move bytes. Each of them writes ReadByte and WriteByte, and whatever else it watches.
#pragma once

#include "platform/serial_port.h"

namespace testing_support {

class QuietPort : public platform::SerialPort {
  public:
    bool GetState(platform::LineSettings&) override { return true; }
    bool SetState(const platform::LineSettings&) override { return true; }
    bool ClearDtr() override { return true; }
    bool ClearRts() override { return true; }
    bool GetTimeouts(platform::CommTimeouts&) override { return true; }
    bool SetTimeouts(const platform::CommTimeouts&) override { return true; }
    bool PurgeReceive() override { return true; }
    bool SetBreak() override { return true; }
    bool ClearBreak() override { return true; }
    bool Close() override { return true; }
};

}  // namespace testing_support

// The master side of a pseudo-terminal for kline-sim: the station opens the slave side as
// its serial port, opening and closing it for every command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class PtyMaster {
  public:
    PtyMaster() = default;
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;
    ~PtyMaster();

    // Opens the master (raw, non-blocking); false with the reason on failure.
    bool Open(std::string& error);
    // "/dev/pts/N"
    const std::string& SlavePath() const { return slavePath_; }

    struct Wait {
        bool readable = false;  // bytes from the station wait
        bool slaveOpen = true;  // false while no program holds the slave open
    };
    // Waits up to `micros` for bytes from the station. Without a slave the master reports a
    // hang-up at once; the wait then sleeps instead, so the loop never spins.
    Wait WaitForBytes(int64_t micros);
    // Reads what the station has written (nothing when no slave is open).
    std::vector<uint8_t> Read();
    // Writes one byte towards the station; bytes for a closed slave are dropped, as a closed
    // serial port loses what arrives.
    void Write(uint8_t byte);
    // The rate the station has set on its side (the terminal settings are shared); 0 when
    // they cannot be read.
    uint32_t StationBaudRate() const;
    // Throws away what was written towards a slave that has been closed since.
    void DropUnread();

  private:
    int fd_ = -1;
    std::string slavePath_;
};

}  // namespace sim

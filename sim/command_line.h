// The options of the kline-sim program, and the texts it writes about the devices: kept
// apart from the pseudo-terminal so that they are tested like the rest of the devices.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/cable.h"
#include "sim/ecu.h"
#include "sim/kline_bus.h"

namespace sim {

// A fault of the command line: for one service, or for all of them.
struct ServiceFault {
    bool allServices = true;
    uint8_t sid = 0;
    Fault fault;
};

struct SimSetup {
    EcuOptions ecu;
    bool ecuGiven = false;  // --ecu was given (else a replay plays the trace's own family)
    AdapterMode adapter = AdapterMode::Normal;
    // --cable: without it StartCommunication after idle line wakes the ECU (a pseudo-terminal
    // shows no break); with it only a real wake-up does, and the cable's latency applies.
    bool cableGiven = false;
    CableOptions cable;
    std::vector<ServiceFault> faults;
    bool trace = false;
    std::string stateFile;
    std::string replay;  // a line trace whose ECU answers play again
    bool help = false;
};

// Reads the arguments after the program name. On a bad argument it returns false and says why.
bool ParseCommandLine(const std::vector<std::string>& args, SimSetup& setup, std::string& error);

// The text of --help.
std::string UsageText();

// Puts the faults and the adapter mode of the setup on the line.
void ApplyFaults(const SimSetup& setup, KLineBus& bus);

// "P0130:60,P0505:20"; also "none" for an empty list.
bool ParseDtcList(std::string_view text, std::vector<Dtc>& dtcs);
// "P0130:60 P0505:20", or "none".
std::string DtcListText(const std::vector<Dtc>& dtcs);

// The lines of the state file: ECU type, session, engine, CO trim, fault codes, requests seen.
std::string StateText(Ecu& ecu, int64_t nowMicros, size_t requests);

}  // namespace sim

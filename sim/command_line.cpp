#include "sim/command_line.h"

#include <charconv>
#include <cstdio>
#include <sstream>

#include "settings/ecu_types.h"

namespace sim {

namespace {

bool Fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

bool ParseNumber(std::string_view text, int base, long long low, long long high, long long& value) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    auto [at, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && at == end && value >= low && value <= high;
}

bool ParseHexByte(std::string_view text, uint8_t& byte) {
    long long value = 0;
    if (!ParseNumber(text, 16, 0, 255, value))
        return false;
    byte = static_cast<uint8_t>(value);
    return true;
}

// "P0130:60": four hexadecimal code digits (binary-coded decimal as the ECU stores them, any
// digit accepted) and the status byte.
bool ParseDtc(std::string_view text, Dtc& dtc) {
    if (!text.empty() && (text[0] == 'P' || text[0] == 'p'))
        text.remove_prefix(1);
    const size_t colon = text.find(':');
    if (colon != 4 || text.size() != 7)
        return false;
    return ParseHexByte(text.substr(0, 2), dtc.high) && ParseHexByte(text.substr(2, 2), dtc.low) &&
           ParseHexByte(text.substr(5, 2), dtc.status);
}

std::vector<std::string_view> SplitList(std::string_view text) {
    std::vector<std::string_view> items;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        items.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return items;
}

// NAME[=VALUE][@SID]
bool ParseFault(std::string_view text, SimSetup& setup, std::string& error) {
    ServiceFault f;
    const size_t at = text.find('@');
    if (at != std::string_view::npos) {
        f.allServices = false;
        if (!ParseHexByte(text.substr(at + 1), f.sid)) {
            error = "bad service in fault: " + std::string(text);
            return false;
        }
        text = text.substr(0, at);
    }
    std::string_view value;
    const size_t eq = text.find('=');
    if (eq != std::string_view::npos) {
        value = text.substr(eq + 1);
        text = text.substr(0, eq);
    }
    long long number = 0;
    bool ok = true;
    if (text == "silent") {
        f.fault.kind = FaultKind::Silent;
    } else if (text == "negative") {
        f.fault.kind = FaultKind::Negative;
        ok = value.empty() || ParseHexByte(value, f.fault.negativeCode);
    } else if (text == "bad-checksum") {
        f.fault.kind = FaultKind::WrongChecksum;
    } else if (text == "wrong-source") {
        f.fault.kind = FaultKind::WrongSource;
    } else if (text == "delay") {
        f.fault.kind = FaultKind::Delay;
        ok = value.empty() || ParseNumber(value, 10, 0, 60'000, number);
        if (!value.empty())
            f.fault.delayMicros = number * 1000;
    } else if (text == "fail-first") {
        ok = value.empty() || ParseNumber(value, 10, 1, 1'000'000, number);
        f.fault = FailFirst(value.empty() ? 3 : static_cast<int>(number));
    } else if (text == "no-adapter" || text == "no-ecu") {
        setup.adapter = text == "no-adapter" ? AdapterMode::Absent : AdapterMode::NoEcu;
        return true;
    } else {
        error = "unknown fault: " + std::string(text);
        return false;
    }
    if (!ok) {
        error = "bad value in fault: " + std::string(text) + "=" + std::string(value);
        return false;
    }
    setup.faults.push_back(f);
    return true;
}

// Takes the value of an option given as "--name value" or "--name=value".
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& inlineValue,
               bool hasInline, std::string& value, std::string& error) {
    if (hasInline) {
        value = inlineValue;
        return true;
    }
    if (i + 1 >= args.size()) {
        error = "missing value for " + args[i];
        return false;
    }
    value = args[++i];
    return true;
}

bool ApplyOption(const std::string& name, const std::string& value, SimSetup& setup,
                 std::string& error) {
    long long number = 0;
    if (name == "--ecu") {
        if (!ParseNumber(value, 10, 0, settings::kEcuTypes - 1, number))
            return Fail(error, "--ecu takes 0 or 1");
        setup.ecu.type = static_cast<int>(number);
        setup.ecuGiven = true;
    } else if (name == "--p2") {
        if (!ParseNumber(value, 10, 0, 60'000, number))
            return Fail(error, "--p2 takes milliseconds");
        setup.ecu.p2Micros = number * 1000;
    } else if (name == "--fault") {
        for (std::string_view item : SplitList(value))
            if (!ParseFault(item, setup, error))
                return false;
    } else if (name == "--dtc") {
        if (!ParseDtcList(value, setup.ecu.dtcs))
            return Fail(error, "bad fault code list: " + value);
    } else if (name == "--seed") {
        if (!ParseNumber(value, 10, 0, UINT32_MAX, number))
            return Fail(error, "bad seed");
        setup.ecu.seed = static_cast<uint32_t>(number);
    } else if (name == "--cable") {
        // A pseudo-terminal carries no break: every cable on it is one whose break never
        // reaches the line; the wake-up byte at 360 baud does.
        if (value == "no-break") {
            setup.cable.kind = CableKind::NoBreak;
        } else if (value == "usb-latency") {
            setup.cable.kind = CableKind::UsbLatency;
        } else {
            return Fail(error, "--cable takes no-break or usb-latency");
        }
        setup.cableGiven = true;
        setup.ecu.idleWakeUp = false;
    } else if (name == "--state-file") {
        setup.stateFile = value;
    } else if (name == "--replay") {
        if (value.empty())
            return Fail(error, "--replay takes a trace file");
        setup.replay = value;
    } else {
        error = "unknown option: " + name;
        return false;
    }
    return true;
}

const char* SessionText(bool active) {
    return active ? "active" : "ended";
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, SimSetup& setup, std::string& error) {
    setup.ecu.idleWakeUp = true;  // a pseudo-terminal shows no break
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            setup.help = true;
        } else if (arg == "--trace") {
            setup.trace = true;
        } else if (arg == "--no-session-timeout") {
            setup.ecu.sessionTimeout = false;
        } else if (arg == "--engine-off") {
            setup.ecu.engineRunning = false;
        } else if (arg == "--strict-wakeup") {
            setup.ecu.strictWakeUp = true;
        } else {
            const size_t eq = arg.find('=');
            const std::string name = arg.substr(0, eq);
            std::string value;
            const bool hasInline = eq != std::string::npos;
            if (!TakeValue(args, i, hasInline ? arg.substr(eq + 1) : "", hasInline, value, error))
                return false;
            if (!ApplyOption(name, value, setup, error))
                return false;
        }
    }
    if (setup.ecu.strictWakeUp)
        setup.ecu.idleWakeUp = false;  // only the low line wakes it, as with --cable
    return true;
}

std::string UsageText() {
    return R"(Usage: kline-sim [OPTIONS]

Simulates the K-line adapter and one ECU on a pseudo-terminal, at the pace of the line
(10400 baud, 10 bits per byte). The first line of standard output is the port name for
the station's connection dialog (pts/N), the second the full path of the device.

Options:
  --ecu 0|1              ECU family: 0 at address 0x11, 1 at address 0x10 (default 1)
  --p2 MS                answer delay after a request (default 25, ISO 14230 P2min)
  --fault NAME[,NAME...] injected faults; NAME is one of
                           silent            no answer
                           negative[=CODE]   answer 7F SID CODE (hex, default 22)
                           bad-checksum      answer with a wrong checksum
                           wrong-source      answer from the other family's address
                           delay[=MS]        answer after MS instead of P2 (default 200)
                           fail-first[=N]    leave the first N requests unanswered (default 3)
                           no-adapter        nothing is echoed, nothing reaches the ECU
                           no-ecu            the adapter echoes, no ECU answers
                         the first six apply to every service, or to one with @SID (hex),
                         e.g. silent@21 or negative=22@14
  --dtc CODE:STATUS[,...] the stored fault codes, e.g. P0130:60 (status hex: 40 present,
                         20 stored); "none" for none (default P0340:60,P0505:20)
  --cable no-break|usb-latency
                         the ECU wakes only on the line held low for 25 +- 1 ms: on a
                         pseudo-terminal, which carries no break, that is the byte 0x00
                         written while the port is set to 360 baud; usb-latency also
                         holds the bytes for the station until the next 16 ms tick of a
                         USB chip's latency timer (default: StartCommunication after 25 ms
                         of idle line counts as woken up)
  --strict-wakeup        the ECU wakes only on ISO 14230-2's pattern: the line low for
                         25 +- 1 ms and StartCommunication beginning 50 +- 1 ms after the
                         line went low (without it, any 24 ms of idle line after the low
                         line will do); like --cable, idle line alone wakes nothing
  --seed N               seed of the engine model's jitter (default 1)
  --no-session-timeout   keep a session without requests (default: it ends after 5 s)
  --engine-off           start with the engine stopped
  --trace                hex trace of the line with time stamps on standard error
  --state-file PATH      rewrite PATH after every request with the ECU's state: lines
                         "ecu T", "session active|ended", "engine running|stopped",
                         "co_trim N", "dtc CODE:STATUS ...|none", "requests N"
  --replay TRACE         play the ECU of a line trace (the station's recording or --trace):
                         each request gets the answers recorded for it, in recorded order
                         and again from the first, after the recorded delays; a session
                         begun before the recording gets the usual StartCommunication and
                         StopCommunication answers. The ECU family is the trace's (--ecu
                         must name the same one); standard error tells the family, the
                         address and the answers held per service. A last answer cut short
                         is left out with a warning. A trace that cannot be read, holds no
                         live-data answer or is of another family than --ecu is refused
                         with its wrong line, and kline-sim exits with status 2
  --help                 this text

A change of the fault codes (a clearing) is also reported on standard error.
Without --cable, StartCommunication is accepted after the line has been idle for 25 ms. Ends on Ctrl-C
or SIGTERM.
)";
}

void ApplyFaults(const SimSetup& setup, KLineBus& bus) {
    bus.SetAdapter(setup.adapter);
    for (const ServiceFault& f : setup.faults) {
        if (f.allServices) {
            bus.GetEcu().SetFaultForAll(f.fault);
        } else {
            bus.GetEcu().SetFault(f.sid, f.fault);
        }
    }
}

bool ParseDtcList(std::string_view text, std::vector<Dtc>& dtcs) {
    std::vector<Dtc> parsed;
    if (text != "none") {
        for (std::string_view item : SplitList(text)) {
            Dtc dtc;
            if (!ParseDtc(item, dtc))
                return false;
            parsed.push_back(dtc);
        }
    }
    dtcs = std::move(parsed);
    return true;
}

std::string DtcListText(const std::vector<Dtc>& dtcs) {
    if (dtcs.empty())
        return "none";
    std::string text;
    for (const Dtc& d : dtcs) {
        char item[16];
        std::snprintf(item, sizeof item, "P%02X%02X:%02X", d.high, d.low, d.status);
        if (!text.empty())
            text += ' ';
        text += item;
    }
    return text;
}

std::string StateText(Ecu& ecu, int64_t nowMicros, size_t requests) {
    std::ostringstream out;
    out << "ecu " << ecu.Type() << '\n'
        << "session " << SessionText(ecu.SessionActive(nowMicros)) << '\n'
        << "engine " << (ecu.EngineRunning() ? "running" : "stopped") << '\n'
        << "co_trim " << int{ecu.CoTrim()} << '\n'
        << "dtc " << DtcListText(ecu.Dtcs()) << '\n'
        << "requests " << requests << '\n';
    return out.str();
}

}  // namespace sim

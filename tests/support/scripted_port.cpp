#include "tests/support/scripted_port.h"

#include <algorithm>

namespace testing_support {

bool ScriptedLine::Fails(const std::string& call) const {
    return std::find(failing.begin(), failing.end(), call) != failing.end();
}

bool ScriptedPort::Call(const std::string& name) {
    line_.calls.push_back(name);
    line_.callTimes.push_back(platform::NowMicros());
    return !line_.Fails(name);
}

bool ScriptedPort::GetState(platform::LineSettings& s) {
    return CallCopying("GetState", line_.state, s);
}

bool ScriptedPort::SetState(const platform::LineSettings& s) {
    if (line_.refusedRate != 0 && s.baudRate == line_.refusedRate) {
        Call("SetState");
        return false;
    }
    return CallCopying("SetState", s, line_.state);
}

bool ScriptedPort::ClearDtr() {
    return Call("ClearDtr");
}
bool ScriptedPort::ClearRts() {
    return Call("ClearRts");
}

bool ScriptedPort::GetTimeouts(platform::CommTimeouts& t) {
    return CallCopying("GetTimeouts", line_.timeouts, t);
}

bool ScriptedPort::SetTimeouts(const platform::CommTimeouts& t) {
    return CallCopying("SetTimeouts", t, line_.timeouts);
}

bool ScriptedPort::PurgeReceive() {
    Call("PurgeReceive");
    line_.incoming.clear();
    return true;
}

int ScriptedPort::ReadByte(uint8_t& byte) {
    if (line_.incoming.empty() && line_.wroteSinceAnswer && !line_.answers.empty()) {
        line_.incoming.assign(line_.answers.front().begin(), line_.answers.front().end());
        line_.answers.pop_front();
        line_.wroteSinceAnswer = false;
    }
    if (line_.incoming.empty()) {
        platform::Sleep(110);  // the per-byte time-out of a silent line
        return 0;
    }
    if (line_.readHeldMicros > 0)
        platform::CurrentClock().SleepMicros(line_.readHeldMicros);
    byte = line_.incoming.front();
    line_.incoming.pop_front();
    return 1;
}

int ScriptedPort::WriteByte(uint8_t byte) {
    if (line_.Fails("WriteByte"))
        return 0;
    if (line_.writeHeldMicros > 0)
        platform::CurrentClock().SleepMicros(line_.writeHeldMicros);
    line_.written.push_back(byte);
    line_.writeTimes.push_back(platform::NowMicros());
    line_.wroteSinceAnswer = true;
    if (line_.echo)
        line_.incoming.push_back(byte);
    return 1;
}

bool ScriptedPort::SetBreak() {
    return Call("SetBreak");
}
bool ScriptedPort::ClearBreak() {
    return Call("ClearBreak");
}

bool ScriptedPort::Close() {
    Call("Close");
    ++line_.closes;
    return true;
}

std::unique_ptr<platform::SerialPort> ScriptedBackend::Open(const std::string& name) {
    openedNames.push_back(name);
    ++opens;
    if (refuseOpen)
        return nullptr;
    return std::make_unique<ScriptedPort>(line);
}

}  // namespace testing_support

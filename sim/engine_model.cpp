#include "sim/engine_model.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int64_t kStepMicros = 100'000;
constexpr double kStepSeconds = 0.1;
constexpr double kWarmIdleRpm = 850;
constexpr double kAmbientC = 20;
// The radiator fan switches on above 95 °C and off below 91 °C; with it running the coolant
// is drawn towards a lower temperature, so a warm engine cycles the fan.
constexpr double kFanOnC = 95;
constexpr double kFanOffC = 91;
// The oxygen sensor needs a warm engine and some running time before the loop closes.
constexpr double kO2ReadyCoolantC = 40;
constexpr double kO2ReadySeconds = 30;

}  // namespace

EngineModel::EngineModel(uint32_t seed, bool running, double coolantC) : random_(seed + 1) {
    state_.coolantC = coolantC;
    SetRunning(running);
}

double EngineModel::Noise(double amplitude) {
    const double unit = static_cast<double>(random_() % 2001) / 1000.0 - 1.0;
    return unit * amplitude;
}

void EngineModel::AdvanceTo(int64_t micros) {
    if (!started_) {
        started_ = true;
        time_ = micros;
        Step();  // the first answer already shows a running engine
        return;
    }
    while (micros - time_ >= kStepMicros) {
        time_ += kStepMicros;
        Step();
    }
}

void EngineModel::SetRunning(bool running) {
    state_.running = running;
    state_.secondsRunning = 0;
    if (running) {
        state_.rpm = 1200;  // the start flare settles to the idle speed
    } else {
        StopOutputs();
    }
}

void EngineModel::Step() {
    StepCoolant(kStepSeconds);
    if (!state_.running) {
        StopOutputs();
        return;
    }
    state_.secondsRunning += kStepSeconds;
    StepIdle();
    StepOxygenSensor(kStepSeconds);
}

void EngineModel::StepCoolant(double dt) {
    EngineState& s = state_;
    double target = kAmbientC;
    double seconds = 900;  // a stopped engine cools slowly
    if (s.running) {
        target = s.fanOn ? 86 : 98;
        seconds = 150;
    }
    s.coolantC += (target - s.coolantC) * dt / seconds;
    if (s.coolantC >= kFanOnC)
        s.fanOn = true;
    if (s.coolantC <= kFanOffC)
        s.fanOn = false;
}

void EngineModel::StepIdle() {
    EngineState& s = state_;
    s.idleMode = true;
    s.fuelPump = true;
    s.throttlePercent = 0.8;  // closed throttle: the potentiometer's rest position
    s.idleTargetRpm = kWarmIdleRpm + std::max(0.0, 70 - s.coolantC) * 5;
    s.rpm += (s.idleTargetRpm - s.rpm) * 0.3 + Noise(20);
    s.stepperTargetSteps = 28 + static_cast<int>((s.idleTargetRpm - kWarmIdleRpm) / 8);
    s.stepperSteps = std::max(1, s.stepperTargetSteps + static_cast<int>(Noise(2.5)));
    s.airTargetKgH = 8.5 + (s.idleTargetRpm - kWarmIdleRpm) * 0.012;
    s.airFlowKgH = std::max(0.0, s.airTargetKgH + Noise(0.3));
    const double coldEnrichment = std::max(0.0, 70 - s.coolantC) * 0.01;
    s.injectionMs = (2.8 + coldEnrichment + Noise(0.1)) * s.lambdaCorrection;
    s.advanceDeg = 12 + Noise(1.5);
    s.supplyVolts = 14.1 + Noise(0.1);
    s.purgeBefore = s.purgePercent > 0;
    s.purgePercent = s.coolantC > 60 ? 20 + Noise(3) : 0;
}

void EngineModel::StepOxygenSensor(double dt) {
    EngineState& s = state_;
    s.o2Ready = s.secondsRunning >= kO2ReadySeconds && s.coolantC >= kO2ReadyCoolantC;
    if (!s.o2Ready) {
        s.o2Volts = 0.45;
        s.postCatO2Volts = 0.45;
        s.lambdaCorrection = 1.0;
        return;
    }
    nextO2Switch_ -= dt;
    if (nextO2Switch_ <= 0) {
        s.o2RichBefore = s.o2Rich;
        s.o2Rich = !s.o2Rich;
        nextO2Switch_ = 1.0 + Noise(0.4);
    }
    s.o2Volts = s.o2Rich ? 0.78 + Noise(0.05) : 0.15 + Noise(0.05);
    s.postCatO2Volts = 0.62 + Noise(0.02);  // the catalyst smooths the switching out
    // The loop leans the mixture while the sensor reads rich and enriches it while lean.
    s.lambdaCorrection += s.o2Rich ? -0.01 : 0.01;
    s.lambdaCorrection = std::clamp(s.lambdaCorrection, 0.9, 1.1);
}

void EngineModel::StopOutputs() {
    EngineState& s = state_;
    s.secondsRunning = 0;
    s.rpm = 0;
    s.idleTargetRpm = kWarmIdleRpm + std::max(0.0, 70 - s.coolantC) * 5;
    s.stepperSteps = 0;
    s.stepperTargetSteps = 0;
    s.airFlowKgH = 0;
    s.airTargetKgH = 0;
    s.injectionMs = 0;
    s.advanceDeg = 10;
    s.throttlePercent = 0.8;
    s.supplyVolts = 12.6 + Noise(0.03);
    s.o2Ready = false;
    s.o2Rich = s.o2RichBefore = false;
    s.o2Volts = s.postCatO2Volts = 0.45;
    s.lambdaCorrection = 1.0;
    s.purgePercent = 0;
    s.purgeBefore = false;
    s.idleMode = false;
    s.fuelPump = false;
}

}  // namespace sim

// A small model of the engine behind the ECU, in physical units: idle speed with jitter,
// coolant warming up and a radiator fan that follows it, supply voltage, the oxygen sensor
// switching between rich and lean once it is warm, and the flags that follow these.
#pragma once

#include <cstdint>
#include <random>

namespace sim {

struct EngineState {
    bool running = false;
    double secondsRunning = 0;
    double rpm = 0;
    double idleTargetRpm = 0;  // desired idle speed: higher while the engine is cold
    double coolantC = 20;
    double supplyVolts = 12.6;
    double throttlePercent = 0;
    double airFlowKgH = 0;
    double airTargetKgH = 0;  // desired idle air flow
    double injectionMs = 0;
    double advanceDeg = 10;  // ignition advance
    int stepperSteps = 0;    // idle air stepper position: 0 only with the engine stopped
    int stepperTargetSteps = 0;
    bool o2Ready = false;  // oxygen sensor warm: the ECU regulates by it
    bool o2Rich = false;
    bool o2RichBefore = false;  // its state before the last switch
    double o2Volts = 0.45;
    double postCatO2Volts = 0.45;
    double lambdaCorrection = 1.0;  // fuel correction factor of the oxygen sensor loop
    double purgePercent = 0;        // canister purge duty
    bool purgeBefore = false;       // purge was on in the previous step
    bool fanOn = false;
    bool idleMode = false;
    bool fuelPump = false;
};

class EngineModel {
  public:
    // The engine's own time begins at the first AdvanceTo.
    explicit EngineModel(uint32_t seed, bool running = true, double coolantC = 20);

    // Moves the engine on to `micros`, in steps of 100 ms, so that the state depends only on
    // the seed and the elapsed time, not on how often it is asked.
    void AdvanceTo(int64_t micros);
    const EngineState& State() const { return state_; }
    bool Running() const { return state_.running; }
    // Starts or stops the engine at the time of the last AdvanceTo.
    void SetRunning(bool running);

  private:
    void Step();  // one step of kStepMicros
    void StepCoolant(double dt);
    void StepIdle();
    void StepOxygenSensor(double dt);
    void StopOutputs();
    // Uniform noise in [-amplitude, +amplitude].
    double Noise(double amplitude);

    std::minstd_rand random_;
    EngineState state_;
    bool started_ = false;  // the time origin is set
    int64_t time_ = 0;      // the time of the last step
    double nextO2Switch_ = 0;
};

}  // namespace sim

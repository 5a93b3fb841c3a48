// CPU cost of one live-data exchange (type 1: 6-byte request with its echo, 38-byte answer)
// over the simulated devices on the virtual clock, so that no line time is waited for.
#include <benchmark/benchmark.h>

#include "link/ecu_protocol.h"
#include "link/port.h"
#include "platform/clock.h"
#include "sim/simulated_backend.h"

namespace {

void LiveDataExchange(benchmark::State& state) {
    platform::VirtualClock clock;
    platform::UseClock(&clock);
    sim::EcuOptions options;
    options.type = 1;
    options.sessionTimeout = false;
    sim::SimulatedBackend backend(clock, options);
    kline::Port port;
    port.device = backend.Open("COM1");
    port.device->SetTimeouts(kline::LineTimeouts());
    const kline::EcuProtocol protocol(1);
    if (!protocol.StartCommunication(port))
        state.SkipWithError("the simulated ECU did not start");
    kline::KwpMessage record;
    for (auto _ : state) {
        protocol.ReadLiveData(port, record);
        benchmark::DoNotOptimize(record);
        // The bus keeps a log of every byte; clear it now and then so it does not grow.
        if ((state.iterations() & 1023) == 0) {
            state.PauseTiming();
            backend.ClearLog();
            state.ResumeTiming();
        }
    }
    if (record.error)
        state.SkipWithError("the live-data exchange failed");
    state.counters["answer_bytes"] = record.length;
    platform::UseClock(nullptr);
}
BENCHMARK(LiveDataExchange);

}  // namespace

// Decoding a whole live data answer: every row of the catalogue once, as the diagnostics
// window does for a full group on every good answer.
#include <benchmark/benchmark.h>

#include "diag/catalogue.h"
#include "link/ecu_protocol.h"

namespace {

// An answer of a warm idling engine: varied bytes so every rule meets non-zero input.
kline::KwpMessage IdleAnswer() {
    kline::KwpMessage record;
    record.data[0] = 0x61;
    record.data[1] = 0x01;
    for (int position = 2; position < 40; ++position)
        record.data[position] = static_cast<uint8_t>(position * 37 + 11);
    record.length = 40;
    return record;
}

void AllRows(benchmark::State& state, int ecuType) {
    const kline::EcuProtocol protocol(ecuType);
    const kline::KwpMessage record = IdleAnswer();
    const int count = diag::ParamCount(protocol);
    for (auto _ : state) {
        for (int index = 0; index < count; ++index)
            benchmark::DoNotOptimize(diag::ParamText(protocol, record, index));
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_ParamTextAllRowsType0(benchmark::State& state) {
    AllRows(state, 0);
}
void BM_ParamTextAllRowsType1(benchmark::State& state) {
    AllRows(state, 1);
}

BENCHMARK(BM_ParamTextAllRowsType0);
BENCHMARK(BM_ParamTextAllRowsType1);

}  // namespace

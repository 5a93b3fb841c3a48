// The cost of one poll on the diagnostics window: every shown graph takes a reading and
// redraws at once. Sixteen graphs of 254 points, shown on an offscreen window the size of a
// maximised diagnostics window, must together take well under the 4 ms budget.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <memory>
#include <vector>

#include "widgets/graph.h"

namespace {

constexpr int kGraphHeight = 84;
constexpr int kRowPitch = 85;

// A reading that swings over the whole range and beyond, so every segment slopes.
int Reading(int step) {
    static constexpr int kWave[] = {0, 4, 8, 10, 12, 9, 3, -2, -7, -11, -9, -5};
    return kWave[step % 12];
}

struct GraphWindow {
    QWidget window;
    std::vector<std::unique_ptr<widgets::TGraph>> graphs;

    // Two columns of graphs, as the diagnostics window lays them out in a 1000-pixel window.
    explicit GraphWindow(int count) {
        const int width = (1000 - 290) / 2;
        window.resize(1000, (count / 2 + count % 2 + 1) * kRowPitch);
        for (int p = 0; p < count; ++p) {
            auto graph = std::make_unique<widgets::TGraph>(&window);
            const int left = p % 2 == 0 ? 135 : width + 270;
            graph->setGeometry(left, (p / 2) * kRowPitch + 29, width, kGraphHeight);
            graphs.push_back(std::move(graph));
        }
        window.show();
        QApplication::processEvents();
        for (auto& graph : graphs) {
            graph->SetPointPerScr(widgets::TGraph::kMostPoints);
            graph->Clear();
        }
    }
};

void BM_OnePollOfGraphs(benchmark::State& state) {
    GraphWindow shown(static_cast<int>(state.range(0)));
    int step = 0;
    for (auto _ : state) {
        for (auto& graph : shown.graphs) {
            graph->AddValue(Reading(step));
        }
        ++step;
    }
    state.counters["graphs"] = static_cast<double>(shown.graphs.size());
}
BENCHMARK(BM_OnePollOfGraphs)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

// The drawing alone, into an image, without the window system.
void BM_RenderOneGraphImage(benchmark::State& state) {
    widgets::TGraph graph;
    graph.resize(355, kGraphHeight);
    graph.SetPointPerScr(widgets::TGraph::kMostPoints);
    for (int i = 0; i < widgets::TGraph::kMostPoints; ++i) {
        graph.AddValue(Reading(i));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(graph.RenderImage(Qt::white));
    }
}
BENCHMARK(BM_RenderOneGraphImage)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "diag/ui/group_panels.h"

#include <QLabel>
#include <algorithm>

#include "diag/catalogue.h"
#include "widgets/graph.h"
#include "widgets/value_panel.h"

namespace diag {

namespace {

constexpr int kRowHeight = 85;
constexpr int kItemHeight = 84;
constexpr int kFirstGraphWidth = 200;

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

void Discard(QWidget* widget) {
    widget->hide();
    widget->deleteLater();
}

}  // namespace

void GroupPanels::Build(QWidget* parent, int count, bool byShow, int pointsPerScreen) {
    for (int p = 0; p < count; ++p) {
        auto* panel = new widgets::stPanel(parent);
        panel->setMaximumHeight(90);
        panel->setMinimumHeight(80);
        panel->resize(widgets::stPanel::kWidth, kItemHeight);
        const QRect unit = panel->UnitLabel->geometry();
        panel->UnitLabel->setGeometry(75, unit.y(), 50, unit.height());

        auto* graph = new widgets::TGraph(parent);
        graph->resize(byShow ? kFirstGraphWidth : graph->width(), kItemHeight);
        if (!byShow)
            graph->SetPointPerScr(pointsPerScreen);

        panel->show();
        graph->show();
        panels_.push_back(panel);
        graphs_.push_back(graph);
    }
}

// The panels go at once from the screen and from the poller's reach, but are deleted later: a
// group change can run inside a click still being delivered to one of them (the click took
// the focus from the group box, which then took its typed text).
void GroupPanels::TearDown() {
    for (QWidget* gone : panels_) Discard(gone);
    for (QWidget* gone : graphs_) Discard(gone);
    panels_.clear();
    graphs_.clear();
}

void GroupPanels::Place(int width) const {
    const int graphWidth = panels_.size() > 1 ? (width - 290) / 2 : width - 160;
    for (size_t p = 0; p < panels_.size(); ++p) {
        const int row = static_cast<int>(p) / 2;
        const bool left = p % 2 == 0;
        graphs_[p]->setGeometry(left ? 135 : graphWidth + 270, row * kRowHeight + 29, graphWidth,
                                graphs_[p]->height());
        panels_[p]->move(left ? 5 : graphWidth + 140, row * kRowHeight + 30);
    }
}

void GroupPanels::SetPointsPerScreen(int points) const {
    for (widgets::TGraph* graph : graphs_) graph->SetPointPerScr(points);  // 255 is refused
}

std::span<const int32_t> GroupPanels::Start(const kline::EcuProtocol& protocol,
                                            std::span<const int32_t> items) const {
    items = items.first(std::min(items.size(), panels_.size()));
    for (size_t p = 0; p < items.size(); ++p) {
        const int k = items[p];
        graphs_[p]->SetMaxValue(ParamGraphMax(protocol, k));
        graphs_[p]->SetMinValue(ParamGraphMin(protocol, k));
        panels_[p]->NameLabel->setText(Text(ParamName(protocol, k)));
        panels_[p]->UnitLabel->setText(Text(ParamUnit(protocol, k)));
        panels_[p]->ShortNameLabel->setText(Text(ParamShortName(protocol, k)));
        panels_[p]->FitTexts();
        graphs_[p]->Clear();
    }
    return items;
}

std::vector<std::string> GroupPanels::Show(const kline::EcuProtocol& protocol,
                                           std::span<const int32_t> items,
                                           const kline::KwpMessage& liveData) const {
    std::vector<std::string> texts(std::min(items.size(), panels_.size()));
    for (size_t p = 0; p < texts.size(); ++p) {
        texts[p] = ParamText(protocol, liveData, items[p]);
        panels_[p]->ValueLabel->setText(Text(texts[p]));
        panels_[p]->FitTexts();
        graphs_[p]->AddValue(GraphValue(texts[p]));
    }
    return texts;
}

}  // namespace diag

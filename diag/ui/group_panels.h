// The shown group's value panels and graphs in the diagnostics window: one of each per slot,
// two slots to a row below the bar, filled by the poller's hand-overs and torn down with the
// group. Panel and graph p show slot p.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/ecu_protocol.h"
#include "link/kwp_message.h"

class QWidget;

namespace widgets {
class stPanel;
class TGraph;
}  // namespace widgets

namespace diag {

class GroupPanels {
  public:
    // A panel and a graph on `parent` for each of `count` slots. The showing's graphs are 200
    // wide with their own points per screen; later ones take `pointsPerScreen`.
    void Build(QWidget* parent, int count, bool byShow, int pointsPerScreen);
    void TearDown();
    // Two slots to a row of 85 pixels in a window `width` wide, below its 30-pixel bar; a
    // single slot's graph stretches to the right edge.
    void Place(int width) const;
    void SetPointsPerScreen(int points) const;

    // The poller's hand-overs. Start returns the items that have a panel; Show the texts shown.
    std::span<const int32_t> Start(const kline::EcuProtocol& protocol,
                                   std::span<const int32_t> items) const;
    std::vector<std::string> Show(const kline::EcuProtocol& protocol,
                                  std::span<const int32_t> items,
                                  const kline::KwpMessage& liveData) const;

    const std::vector<widgets::stPanel*>& Panels() const { return panels_; }
    const std::vector<widgets::TGraph*>& Graphs() const { return graphs_; }

  private:
    std::vector<widgets::stPanel*> panels_;
    std::vector<widgets::TGraph*> graphs_;
};

}  // namespace diag

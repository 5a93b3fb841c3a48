#include "diag/poller.h"

#include <algorithm>

#include "link/connection.h"
#include "platform/messages.h"

namespace diag {

int ShownCount(const settings::SettingsRecord& record, int ecuType, int group) {
    if (ecuType < 0 || ecuType >= settings::kEcuTypes || group < 0 || group >= settings::kGroups)
        return 0;
    return std::min<int>(record.groupCounts[ecuType][group], kMostShownParams);
}

std::optional<int> FirstShownGroup(const settings::SettingsRecord& record, int ecuType) {
    for (int group = 0; group < settings::kGroups; ++group)
        if (ShownCount(record, ecuType, group) > 0)
            return group;
    return std::nullopt;
}

Poller::Poller(kline::Station& station, int group, PollDisplay& display)
    : station_(station), group_(group), display_(display) {
    items_.fill(kNoItem);
}

void Poller::Run() {
    items_.fill(kNoItem);
    liveData_.error = 0;
    LoadItems();
    display_.StartPanels(ShownItems());
    while (!terminate_ && liveData_.error == 0) PollCycle();
    std::fill_n(items_.begin(), count_, kNoItem);
}

void Poller::LoadItems() {
    const int ecuType = station_.Protocol().EcuType();
    count_ = ShownCount(station_.settings, ecuType, group_);
    for (int slot = 0; slot < count_; ++slot)
        items_[slot] = station_.settings.groupLists[ecuType][group_][slot];
}

void Poller::PollCycle() {
    liveData_.error = 1;
    // Every attempt sleeps the request delay first: that sleep alone sets the pace.
    kline::Retry(station_, kPollAttempts,
                 [this] { return station_.Protocol().ReadLiveData(station_.port, liveData_); });
    if (liveData_.error) {
        platform::ShowMessage(kPollingStopped, platform::kError, platform::Icon::Warning);
        return;
    }
    display_.ShowValues(ShownItems(), liveData_);
}

}  // namespace diag

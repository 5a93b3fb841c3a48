// The live-data poller's cycle, apart from any thread or window: it asks the ECU for its live
// data again and again (0x21 0x01, every request delay) and hands every good answer to the
// display; ten unanswered requests in a row end it with a message.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

#include "link/kwp_message.h"
#include "link/station.h"
#include "settings/settings.h"

namespace diag {

inline constexpr int kItemListSize = 255;
inline constexpr int32_t kNoItem = -1;
// A group never holds more (the group editor refuses a seventeenth entry); a count read from
// a corrupt settings file is cut to it.
inline constexpr int kMostShownParams = 16;
inline constexpr int kPollAttempts = 10;

// Two blanks after "Блок": the station has always shown it so.
inline constexpr const char* kPollingStopped =
    "Блок  не отвечает! Процесс снятия данных с датчиков прерван!";

// How many parameters of a group are shown and polled: the stored count, at most 16; 0 for an
// ECU type other than 0 and 1 or a group outside 0..4, so that nothing indexes past the lists.
int ShownCount(const settings::SettingsRecord& record, int ecuType, int group);

// The first of groups 0..4 with a parameter to show; nothing when all are empty.
std::optional<int> FirstShownGroup(const settings::SettingsRecord& record, int ecuType);

// The two steps the poller hands to the window. Both get the parameter indices of the shown
// slots (item p belongs to panel and graph p).
class PollDisplay {
  public:
    virtual ~PollDisplay() = default;
    // Before the first request: names, units and graph limits of the shown parameters.
    virtual void StartPanels(std::span<const int32_t> items) = 0;
    // After each good answer: the values decoded from the live data record.
    virtual void ShowValues(std::span<const int32_t> items, const kline::KwpMessage& liveData) = 0;
};

class Poller {
  public:
    // Reads the group's items, the ECU type, the delay and the port of `station` without a
    // lock: none of them changes while the diagnostics window is open.
    Poller(kline::Station& station, int group, PollDisplay& display);

    // The thread body: StartPanels, then poll cycles until termination is requested (looked at
    // between cycles only) or a cycle stays unanswered.
    void Run();
    void RequestTerminate() { terminate_ = true; }

    const std::array<int32_t, kItemListSize>& Items() const { return items_; }

  private:
    void LoadItems();
    void PollCycle();
    std::span<const int32_t> ShownItems() const { return {items_.data(), size_t(count_)}; }

    kline::Station& station_;
    const int group_;
    PollDisplay& display_;
    std::array<int32_t, kItemListSize> items_;
    int count_ = 0;
    // The live data record. Its error flag is the no-answer flag: set while no good answer is
    // held. Only this thread touches it, apart from ShowValues, which reads it while the
    // poller is blocked in the hand-over.
    kline::KwpMessage liveData_;
    std::atomic<bool> terminate_{false};
};

}  // namespace diag

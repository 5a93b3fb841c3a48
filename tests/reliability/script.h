// A user's course through the station as a list of steps: each waits until the screen shows
// what it needs (the connecting dialog, a message box, ...) and then acts. The steps are
// taken from a 1 ms timer, so they go on inside the modal dialogs' own event loops.
#pragma once

#include <QTimer>
#include <functional>
#include <string>
#include <vector>

namespace reliability {

class Script {
  public:
    Script& Then(std::string name, std::function<bool()> ready, std::function<void()> act);
    // Takes the steps; true when all were taken within `ms` of real time.
    bool Run(int ms = 20'000);
    // The step the course stopped at, for the failure message.
    std::string Stuck() const;

  private:
    struct Step {
        std::string name;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    void Tick();
    std::vector<Step> steps_;
    size_t next_ = 0;
    QTimer timer_;
};

}  // namespace reliability

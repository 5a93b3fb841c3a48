#include "tests/reliability/script.h"

#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

#include "tests/reliability/station_rig.h"

namespace reliability {

Script& Script::Then(std::string name, std::function<bool()> ready, std::function<void()> act) {
    steps_.push_back({std::move(name), std::move(ready), std::move(act)});
    return *this;
}

bool Script::Run(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    QObject::connect(&timer_, &QTimer::timeout, [this, ms, elapsed] {
        // A course stuck inside a modal loop never returns to the wait below: it ends here.
        if (elapsed.elapsed() > ms + 5'000) {
            std::fprintf(stderr, "the course is stuck at: %s\n", Stuck().c_str());
            std::abort();
        }
        Tick();
    });
    timer_.start(1);
    const bool done = ServeUntil([this] { return next_ == steps_.size(); }, ms);
    timer_.stop();
    return done;
}

void Script::Tick() {
    if (next_ < steps_.size() && steps_[next_].ready()) {
        steps_[next_].act();  // posts the user's input; it is handled by a later loop
        ++next_;
    }
}

std::string Script::Stuck() const {
    return next_ < steps_.size() ? steps_[next_].name : "(none)";
}

}  // namespace reliability

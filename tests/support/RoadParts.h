#pragma once
// What a road or the settings carrier is given by an update, held by a test: a clock, timers,
// an empty package, the values a test sets, the progress and the device identity, and the log.
#include <mutex>
#include <string>
#include <vector>

#include "package/Config.h"
#include "package/Package.h"
#include "platform/Clock.h"
#include "platform/TimerService.h"
#include "protocol/DeviceIdentity.h"
#include "protocol/Reporter.h"
#include "protocol/RoadContext.h"

namespace verup::test {

class RoadParts {
public:
    explicit RoadParts(const Clock& clock) : clock_(clock), timers(clock) {}

    RoadContext Context()
    {
        return RoadContext{clock_, timers, package, cfg, progress, device, [this](const std::string& text) {
                               std::lock_guard lock(mutex_);
                               log_ += text;
                           }};
    }
    std::string Log() const
    {
        std::lock_guard lock(mutex_);
        return log_;
    }
    void ClearLog()
    {
        std::lock_guard lock(mutex_);
        log_.clear();
    }

    const Clock& clock_;
    TimerService timers;
    Package package;
    Config cfg;
    // The bar's positions in order; the texts progress steps show go to the log.
    std::vector<int> positions;
    Reporter progress{[](int) {}, [this](int at, const std::string& text) { Show(at, text); },
                      [this](int at) { Show(at, std::string()); }};
    DeviceIdentity device;

private:
    void Show(int at, const std::string& text)
    {
        std::lock_guard lock(mutex_);
        if (at >= 0)
            positions.push_back(at);
        log_ += text;
    }
    mutable std::mutex mutex_;
    std::string log_;
};

}  // namespace verup::test

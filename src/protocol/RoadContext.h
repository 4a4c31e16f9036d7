#pragma once
// What a road (and the settings carrier) needs of the update that drives it. The update owns
// everything referred to here and outlives its roads.
#include <functional>
#include <string>

#include "package/Config.h"
#include "package/Package.h"
#include "platform/Clock.h"
#include "platform/TimerService.h"
#include "protocol/DeviceIdentity.h"
#include "protocol/Reporter.h"

namespace verup {

struct RoadContext {
    const Clock& clock;
    TimerService& timers;
    // The package as the start-up read it, and its values as the settings decision left them.
    const Package& package;
    const Config& cfg;
    Reporter& progress;
    // What the roads learn about the device: its product word, versions and labels.
    DeviceIdentity& device;
    // One text for the debug log.
    std::function<void(const std::string&)> log;

    void Log(const std::string& text) const
    {
        if (log)
            log(text);
    }
};

}  // namespace verup

#include "SimHarness.h"

namespace devsim {

SimHarness::SimHarness(HarnessOptions options, const verup::Clock& clock)
    : options_(std::move(options)), clock_(clock), device_(std::make_unique<SimDevice>(options_.Profile, options_.Device, clock_))
{
}

SimHarness::~SimHarness() { Stop(); }

bool SimHarness::UsePackage(HarnessOptions& options, const std::string& dir, std::string* error)
{
    auto profile = DeviceProfile::FromPackage(dir, error);
    if (!profile)
        return false;
    options.Profile = std::move(*profile);
    return true;
}

bool SimHarness::Start(std::string* error)
{
    if (!device_->PowerOn(error))
        return false;
    if (options_.WithSerial) {
        serial_ = std::make_unique<SerialFrontEnd>(*device_, options_.Serial);
        if (!serial_->Start(error))
            return false;
    }
    if (options_.WithTelnet) {
        telnet_ = std::make_unique<TelnetFrontEnd>(*device_, options_.Telnet);
        if (!telnet_->Start(error))
            return false;
    }
    return true;
}

void SimHarness::Stop()
{
    if (serial_)
        serial_->Stop();
    if (telnet_)
        telnet_->Stop();
}

const std::string& SimHarness::PtyPath() const
{
    static const std::string none;
    return serial_ ? serial_->SlavePath() : none;
}

int SimHarness::TelnetPort() const { return telnet_ ? telnet_->Port() : 0; }

}  // namespace devsim

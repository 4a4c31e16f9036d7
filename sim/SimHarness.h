#pragma once
// The simulated device with both of its roads on background threads, for tests and the demo:
// start it for a package, talk to the pty and the port it names, look at what the device
// holds, stop it.
#include <memory>
#include <string>

#include "DeviceProfile.h"
#include "SerialFrontEnd.h"
#include "SimDevice.h"
#include "SimOptions.h"
#include "TelnetFrontEnd.h"
#include "platform/Clock.h"

namespace devsim {

struct HarnessOptions {
    DeviceProfile Profile = DeviceProfile::Demo();
    DeviceOptions Device;
    SerialOptions Serial;
    TelnetOptions Telnet{0, "127.0.0.1"};  // any free port unless set
    bool WithSerial = true;
    bool WithTelnet = true;
};

class SimHarness {
public:
    SimHarness(HarnessOptions options, const verup::Clock& clock);
    ~SimHarness();
    SimHarness(const SimHarness&) = delete;
    SimHarness& operator=(const SimHarness&) = delete;

    // Profile from DIR/verup.dat; false with a reason when it cannot be read.
    static bool UsePackage(HarnessOptions& options, const std::string& dir, std::string* error);

    bool Start(std::string* error);
    void Stop();

    const std::string& PtyPath() const;
    int TelnetPort() const;
    SimDevice& Device() { return *device_; }

private:
    HarnessOptions options_;
    verup::Clock clock_;
    std::unique_ptr<SimDevice> device_;
    std::unique_ptr<SerialFrontEnd> serial_;
    std::unique_ptr<TelnetFrontEnd> telnet_;
};

}  // namespace devsim

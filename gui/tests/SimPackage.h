#pragma once
// A package written by the simulator's package maker and the simulated device serving it:
// COM3 leads to its pseudo-terminal (the other COM names to nothing), the telnet port to its
// server on the loopback.
#include <QtGlobal>

#include <cstdlib>
#include <memory>
#include <string>

#include "GuiTestSupport.h"
#include "PackageMaker.h"
#include "SimHarness.h"
#include "platform/ProfileFile.h"

namespace verup::gui::test {

inline constexpr int kSimComPort = 3;
inline const std::string kSimNewVersion = "Version 1.20";
inline const std::string kSimOldVersion = "Version 1.15";

struct SimPackageSpec {
    int Sel = 1;
    int Debug = 0;
    int Auto = 0;
    int Port = 0;  // PORTSEL PORT
};

inline std::unique_ptr<devsim::SimHarness> StartSimPackage(PackageDir& pkg, const SimPackageSpec& want,
                                                           const Clock& clock)
{
    devsim::PackageOptions package;
    package.Version = kSimNewVersion;
    package.Revision = 7;
    package.ProgramSize = 48 * 1024;
    package.Sel = want.Sel;
    package.Debug = want.Debug;
    std::string error;
    if (!devsim::WritePackage(pkg.Package(), package, &error)) {
        qWarning("package: %s", error.c_str());
        return nullptr;
    }
    const ProfileFile dat(pkg.File("verup.dat"));
    if (!dat.WriteString("PORTSEL", "COM", std::to_string(kSimComPort)) ||
        !dat.WriteString("PORTSEL", "PORT", std::to_string(want.Port)) ||
        !dat.WriteString("MODE", "AUTO", std::to_string(want.Auto)))
        return nullptr;

    devsim::HarnessOptions options;
    if (!devsim::SimHarness::UsePackage(options, pkg.Package(), &error)) {
        qWarning("profile: %s", error.c_str());
        return nullptr;
    }
    // Firmware past 1.1 carries its settings across without a question on either road.
    options.Device.FirmwareVersion = kSimOldVersion;
    options.Device.Revision = 7;
    options.Device.RestartMs = 2000;
    auto sim = std::make_unique<devsim::SimHarness>(options, clock);
    if (!sim->Start(&error)) {
        qWarning("simulator: %s", error.c_str());
        return nullptr;
    }
    for (int n = 1; n <= 9; ++n) {
        const std::string path = n == kSimComPort ? sim->PtyPath() : pkg.File("no-tty" + std::to_string(n));
        ::setenv(("VERUP_COM" + std::to_string(n)).c_str(), path.c_str(), 1);
    }
    pkg.TelnetPort = static_cast<std::uint16_t>(sim->TelnetPort());
    return sim;
}

}  // namespace verup::gui::test

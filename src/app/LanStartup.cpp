// LAN start-up (step 12): connect and log in, check the telnet server, read the device's data.
#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "lan/LanTexts.h"
#include "lan/TelnetLink.h"
#include "package/VersionNumber.h"
#include "protocol/DeviceInfo.h"

namespace verup {
namespace {

constexpr int kStartupConnectMode = 1;

}  // namespace

bool CUpdateDlg::OpenLanAndIdentify()
{
    LanRoad& road = MakeLanRoad();
    int failures = 0;
    const LanConnect result = road.ConnectWithRetries(DeviceAddress_, kStartupConnectMode, &failures);
    if (failures == cfg_.RETRY || result == LanConnect::NoAnswer) {
        // With attempts made, the device did not answer: a device that an earlier run left in
        // its boot monitor has no telnet server and is reached over the serial cable.
        if (cfg_.RETRY <= 0)
            return FailStartup(kMsgConnectFailed);
        return FailStartup(std::string(kMsgConnectFailed) + kHintPowerCycle + kHintSerialForMonitor);
    }
    if (result == LanConnect::WrongProduct)
        return FailStartup(NotConnectedMessage(cfg_.NAME1));
    if (result == LanConnect::Refused)
        return FailStartup(kMsgLanRefused);

    Report(-1, lantext::kTelnetOpen);
    SetCurrentVersionText(Device_.FirmwareVersionText);
    if (ReadVersionNumber(Device_.TelnetServerText) < cfg_.TEL_VER)
        return FailStartup(kMsgTelnetTooOld);
    (void)QueryDeviceInfo(road.Channel(), Device_);
    return true;
}

}  // namespace verup

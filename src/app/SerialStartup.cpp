// Step 12 of the start-up on the serial road: open the port (or scan COM1 ... COM9 and the USB
// serial adapters), identify
// the device, reach its shell once and read its device information.
#include <set>
#include <vector>

#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "platform/SerialPortList.h"
#include "platform/SerialPortNames.h"
#include "protocol/DeviceInfo.h"
#include "protocol/TextFormat.h"
#include "serial/SerialCommands.h"
#include "serial/SerialLink.h"

namespace verup {
namespace {

using namespace serial_cmd;

constexpr int SCAN_FIRST_PORT = 1;
constexpr int SCAN_LAST_PORT = 9;
constexpr int AUTOMATIC_SCAN = 10;

std::string ComName(int number) { return FormatText("COM%d", number); }

// COM1 ... COM9 in their order, then the USB adapters the machine has that none of them
// stands for (a /dev/ttyACM0, say), in the system's order.
std::vector<std::string> PortsToScan()
{
    std::vector<std::string> ports;
    std::set<std::string> identities;
    for (int n = SCAN_FIRST_PORT; n <= SCAN_LAST_PORT; ++n) {
        ports.push_back(ComName(n));
        identities.insert(PortIdentity(ports.back()));
    }
    for (const std::string& path : UsbSerialPortPaths())
        if (identities.insert(PortIdentity(path)).second)
            ports.push_back(path);
    return ports;
}

}  // namespace

bool CUpdateDlg::OpenSerialAndIdentify()
{
    SerialRoad& road = MakeSerialRoad();
    SerialLink& port = *road.Port();
    std::string& port_name = road.ComPortName;

    // A port given by its path is the user's explicit choice: it is never scanned past.
    if (SerialPortPath_.empty() && (ComPortNumber_ == AUTOMATIC_SCAN || cfg_.AUTO == 1)) {
        bool accepted = false;
        const std::vector<std::string> ports = PortsToScan();
        for (std::size_t i = 0; i < ports.size() && !accepted; ++i) {
            port.Close();
            port_name = ports[i];
            // A port another run is updating is not ours to probe.
            std::string holder;
            if (LockDevice(true, port_name, holder) != InstanceGuard::Result::Acquired) {
                Report(-1, port_name + " skipped: in use by " + holder + "\r\n");
                continue;
            }
            if (port.Open(port_name) != SERIAL_OPENED) {
                Report(-1, port.OpenFailureReason() + "\r\n");
                continue;
            }
            clock_.SleepMs(PORT_SETTLE_MS);
            std::string version;
            Device_.ProbeResult = road.ProbeDevice(0);
            if (Device_.ProbeResult == PROBE_FIRMWARE) {
                if (road.QueryVersion(version) == 1) {
                    SetCurrentVersionText(version);
                    accepted = true;
                }
            } else if (Device_.ProbeResult == PROBE_FLASH_MONITOR) {
                accepted = true;
            }
        }
        if (!accepted) {
            // The last port tried stays closed: nothing answered on it.
            port.Close();
            DeviceLock_.reset();
            return FailStartup(NotConnectedMessage(cfg_.NAME1) + kHintPowerCycle);
        }
        Report(-1, "Com Open\r\n");
    } else {
        port_name = SerialPortPath_.empty() ? ComName(ComPortNumber_) : SerialPortPath_;
        std::string holder;
        if (const InstanceGuard::Result lock = LockDevice(true, port_name, holder);
            lock != InstanceGuard::Result::Acquired)
            return RefuseDeviceLock(lock, holder);
        if (port.Open(port_name) != SERIAL_OPENED) {
            Report(-1, port.OpenFailureReason() + "\r\n");
            // Whoever must fix it needs the reason: missing, busy, not a port, or not allowed.
            return FailStartup(kMsgPortOpenFailed + std::string("\r\n") + port.OpenFailureReason());
        }
        Report(-1, "Com Open\r\n");
        clock_.SleepMs(PORT_SETTLE_MS);
        Device_.ProbeResult = road.ProbeDevice(0);
        if (Device_.ProbeResult == PROBE_FIRMWARE) {
            std::string version;
            const int answered = road.QueryVersion(version);
            if (answered == -2)
                return FailStartup(NotConnectedMessage(cfg_.NAME1));
            // Without its version the device cannot be told old from new: the settings would
            // be saved the old way and "fromer 01" sent to a new device.
            if (answered != 1)
                return FailStartup(std::string(kMsgVersionUnanswered) + kHintPowerCycle);
            SetCurrentVersionText(version);
        } else if (Device_.ProbeResult == PROBE_NONE) {
            return FailStartup(std::string(kMsgDeviceNotConnected) + kHintPowerCycle);
        }
    }

    // The shell check: a firmware whose shell does not answer is held by another session.
    std::string reply;
    if (port.Exchange(SHELL, reply, static_cast<int>(SHELL_TIMEOUT_MS), RK_SHELL_PROMPT) == EXCHANGE_TIMEOUT)
        return FailStartup(kMsgAlreadyInUse);
    port.Exchange(NUDGE, reply, static_cast<int>(SHORT_NUDGE_TIMEOUT_MS), RK_OK);
    QueryDeviceInfo(road.Channel(), Device_);
    road.Channel().Transact(SHELL_EXIT, static_cast<int>(STARTUP_EXIT_TIMEOUT_MS), RK_OK);
    return true;
}

}  // namespace verup

// `verup ports`: the serial ports this machine has, and what the COM names stand for.
#include "PortsCommand.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "Commands.h"
#include "platform/SerialPortNames.h"

namespace verup::cli {
namespace {

// The COM names verup.dat, --com and the window use, and what each stands for here.
constexpr int kComNames = 9;

std::string UsbId(int id)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id) & 0xFFFFu);
    return text;
}

nlohmann::json PortJson(const SerialPortInfo& port)
{
    nlohmann::json j = {
        {"path", port.Path},
        {"driver", port.Driver},
        {"transport", port.Transport},
        {"description", port.Description},
        {"stable_names", port.StableNames},
        {"access", PortAccessName(port.Access.Access)},
        {"problem", port.Access.Detail},
    };
    if (port.UsbVendorId >= 0)
        j["usb"] = {{"vendor_id", UsbId(port.UsbVendorId)},
                    {"product_id", UsbId(port.UsbProductId)},
                    {"manufacturer", port.UsbManufacturer},
                    {"product", port.UsbProduct},
                    {"serial", port.UsbSerial}};
    else
        j["usb"] = nullptr;
    return j;
}

}  // namespace

int RunPortsCommand(const PortsOptions& options, const std::vector<SerialPortInfo>& ports, std::ostream& out)
{
    nlohmann::json com_names = nlohmann::json::array();
    for (int n = 1; n <= kComNames; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const std::string path = ResolvePortName(name);
        com_names.push_back({{"name", name}, {"path", path}, {"exists", PortPathExists(path)}});
    }

    if (options.Json) {
        nlohmann::json doc = {{"ports", nlohmann::json::array()}, {"com_names", com_names}};
        for (const SerialPortInfo& port : ports)
            doc["ports"].push_back(PortJson(port));
        out << doc.dump(2) << "\n";
        return 0;
    }

    bool permission_problem = false;
    if (ports.empty())
        out << "No serial ports found. Plug in the USB serial adapter and run `verup ports` again.\n";
    else
        out << "Serial ports:\n";
    for (const SerialPortInfo& port : ports) {
        out << "  " << port.Path << "  " << (port.Driver.empty() ? port.Transport : port.Driver);
        if (port.UsbVendorId >= 0) {
            out << "  USB " << UsbId(port.UsbVendorId) << ":" << UsbId(port.UsbProductId);
            for (const std::string* text : {&port.UsbManufacturer, &port.UsbProduct})
                if (!text->empty())
                    out << " " << *text;
            if (!port.UsbSerial.empty())
                out << " (serial " << port.UsbSerial << ")";
        }
        out << "  " << PortAccessName(port.Access.Access);
        if (!port.Access.Detail.empty())
            out << ": " << port.Access.Detail;
        out << "\n";
        for (const std::string& stable : port.StableNames)
            out << "      also " << stable << "\n";
        permission_problem |= port.Access.Access == PortAccess::NoPermission;
    }
    out << "\nCOM names (verup.dat, --com, the window) stand for:\n";
    for (const auto& com : com_names)
        out << "  " << com["name"].get<std::string>() << "  " << com["path"].get<std::string>()
            << (com["exists"].get<bool>() ? "" : "  (no such port)") << "\n";
    if (permission_problem)
        out << "\nSome ports may not be opened by this user: run `sudo usermod -aG dialout $USER`, then log out\n"
               "and in again.\n";
    return 0;
}

}  // namespace verup::cli

void AddPortsCommand(CLI::App& app)
{
    auto options = std::make_shared<verup::cli::PortsOptions>();
    CLI::App* ports = app.add_subcommand(
        "ports", "List the serial ports: path, driver, USB adapter, whether they can be opened, and the COM names");
    ports->add_flag("--json", options->Json, "Write one JSON document to stdout instead of the text");
    ports->footer("Exit code: 0.");
    ports->callback([options] { verup::cli::RunPortsCommand(*options, verup::ListSerialPorts(), std::cout); });
}

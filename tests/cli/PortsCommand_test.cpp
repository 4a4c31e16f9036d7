// `verup ports`: what each port's access check says, and the report in both forms.
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include <gtest/gtest.h>

#include "PortsCommand.h"
#include "support/TempDir.h"

namespace verup {
namespace {

class Pty {
public:
    Pty()
    {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0)
            path_ = name;
    }
    ~Pty()
    {
        for (int fd : {master_, slave_})
            if (fd >= 0)
                ::close(fd);
    }
    const std::string& Path() const { return path_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

TEST(PortAccessTest, TellsUsableBusyMissingAndNotSerialApart)
{
    Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    EXPECT_EQ(CheckPortAccess(pty.Path()).Access, PortAccess::Usable);

    // Another program holding the port as the update does (an exclusive lock).
    const int holder = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    const PortAccessResult busy = CheckPortAccess(pty.Path());
    EXPECT_EQ(busy.Access, PortAccess::Busy);
    EXPECT_NE(busy.Detail.find("another program"), std::string::npos);
    ::close(holder);
    EXPECT_EQ(CheckPortAccess(pty.Path()).Access, PortAccess::Usable) << "the check must not keep the port";

    test::TempDir dir;
    const std::string file = dir.Path() + "/not-a-port";
    std::ofstream(file) << "x";
    EXPECT_EQ(CheckPortAccess(file).Access, PortAccess::NotSerial);
    EXPECT_EQ(CheckPortAccess(dir.Path() + "/nothing").Access, PortAccess::Missing);
}

SerialPortInfo UsbAdapter()
{
    SerialPortInfo port;
    port.Path = "/dev/ttyUSB0";
    port.Driver = "ftdi_sio";
    port.Transport = "usb";
    port.Description = "FT232R USB UART";
    port.UsbVendorId = 0x0403;
    port.UsbProductId = 0x6001;
    port.UsbManufacturer = "FTDI";
    port.UsbProduct = "FT232R USB UART";
    port.UsbSerial = "A50285BI";
    port.StableNames = {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};
    port.Access = {PortAccess::NoPermission, "permission denied: add this user to the dialout group"};
    return port;
}

// Both forms of the report, and what the text says to do about permissions and an empty list.
TEST(PortsCommandTest, ReportHoldsEveryFieldAndSaysWhatToDo)
{
    Pty pty;
    ::setenv("VERUP_COM2", pty.Path().c_str(), 1);
    SerialPortInfo native;
    native.Path = "/dev/ttyS0";
    native.Driver = "serial8250";
    native.Transport = "native";
    native.Access = {PortAccess::Usable, ""};
    std::ostringstream out;
    EXPECT_EQ(cli::RunPortsCommand(cli::PortsOptions{true}, {UsbAdapter(), native}, out), 0);
    ::unsetenv("VERUP_COM2");

    const nlohmann::json doc = nlohmann::json::parse(out.str());
    ASSERT_EQ(doc["ports"].size(), 2u);
    const nlohmann::json& usb = doc["ports"][0];
    EXPECT_EQ(usb["usb"], nlohmann::json({{"vendor_id", "0403"}, {"product_id", "6001"}, {"manufacturer", "FTDI"},
                                          {"product", "FT232R USB UART"}, {"serial", "A50285BI"}}));
    EXPECT_EQ(usb["stable_names"][0], "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_EQ(usb["access"], "no-permission");
    EXPECT_NE(usb["problem"].get<std::string>().find("dialout"), std::string::npos);
    EXPECT_TRUE(doc["ports"][1]["usb"].is_null());
    EXPECT_EQ(doc["ports"][1]["access"], "usable");

    ASSERT_EQ(doc["com_names"].size(), 9u);
    EXPECT_EQ(doc["com_names"][1]["name"], "COM2");
    EXPECT_EQ(doc["com_names"][1]["path"], pty.Path());
    EXPECT_EQ(doc["com_names"][1]["exists"], true);

    std::ostringstream plain;
    cli::RunPortsCommand(cli::PortsOptions{}, {UsbAdapter()}, plain);
    const std::string text = plain.str();
    EXPECT_NE(text.find("/dev/ttyUSB0  ftdi_sio  USB 0403:6001 FTDI FT232R USB UART (serial A50285BI)  no-permission"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("also /dev/serial/by-id/usb-FTDI"), std::string::npos);
    EXPECT_NE(text.find("sudo usermod -aG dialout $USER"), std::string::npos);

    std::ostringstream none;
    cli::RunPortsCommand(cli::PortsOptions{}, {}, none);
    EXPECT_NE(none.str().find("No serial ports found"), std::string::npos);
    EXPECT_NE(none.str().find("COM1"), std::string::npos);
}

}  // namespace
}  // namespace verup

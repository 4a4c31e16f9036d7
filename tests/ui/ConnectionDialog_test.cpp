// The connection dialogs as data: what each shows for a stored [PORTSEL], what it gives on
// "connect", and the only lines of verup.dat it rewrites.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "ui/CComPortDlg.h"
#include "ui/CIpAddressDlg.h"
#include "ui/CPortSelectDlg.h"

namespace verup {
namespace {

using Edits = std::vector<std::pair<std::string, std::string>>;

// A configuration with CR LF lines, comments and odd spacing around the keys the dialogs do
// not own, so that a rewrite which touches more than its own line shows.
std::string Config(const std::string& portsel, const std::string& ipaddr = "FIELD=192.168.1.10")
{
    return "; package for the update\r\n[MODE]\r\nDEBUG = 0\r\nSEL=2\r\n\r\n[PORTSEL]\r\n" + portsel +
           "\r\n[IPADDR]\r\n" + ipaddr + "\r\n[VERUP]\r\nNAME1 = \x82\x6d\x82\x64\x82\x77\r\n";
}

std::string Replace(std::string text, const Edits& edits)
{
    for (const auto& [from, to] : edits) {
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
    }
    return text;
}

// What a dialog shows, and what "connect" gives, as short texts.
std::string Shown(const CComPortDlg& d) { return "sel " + std::to_string(d.ComSelection) + (d.ComboEnabled ? " com" : ""); }
std::string Shown(const CIpAddressDlg& d) { return "ip " + d.AddressText; }
std::string Shown(const CPortSelectDlg& d)
{
    return "radio " + std::to_string(d.CheckedRadio) + " sel " + std::to_string(d.ComSelection) +
           (d.ComboEnabled ? " com" : "") + (d.AddressEnabled ? " ip " + d.AddressText : "");
}
std::string Given(const CComPortDlg& d) { return "COM" + std::to_string(d.ComChoice); }
std::string Given(const CIpAddressDlg& d) { return d.ResultAddress; }
std::string Given(const CPortSelectDlg& d)
{
    return "COM" + std::to_string(d.ComChoice) + " link " + std::to_string(d.LinkResult) + " " + d.ResultAddress;
}

// Opens the dialog and plays the script: "show" and "ok" add what it shows and what
// "connect" gives to the trace; "lan", "serial", "sel=N" and "ip=TEXT" act on it.
template <class Dlg>
std::string Play(const std::string& file, int automatic, const std::string& script)
{
    Dlg d(file);
    if constexpr (requires { d.AUTO; })
        d.AUTO = automatic;
    d.OnInitDialog();
    std::string trace;
    std::istringstream words(script);
    for (std::string w; words >> w;) {
        if (w == "show" || w == "ok") {
            const ConnectOutcome o = w == "ok" ? d.OnOK() : ConnectOutcome{};
            trace += (trace.empty() ? "" : " | ") + (w == "show" ? Shown(d) : o.Closed ? Given(d) : "refused");
        } else if constexpr (requires { d.AddressText; }) {
            if (w.starts_with("ip="))
                d.AddressText = w.substr(3);
        }
        if constexpr (requires { d.ComSelection; }) {
            if (w.starts_with("sel="))
                d.ComSelection = std::stoi(w.substr(4));
        }
        if constexpr (requires { d.OnLanRadio(); }) {
            if (w == "lan")
                d.OnLanRadio();
            if (w == "serial")
                d.OnSerialRadio();
        }
    }
    return trace;
}

enum class Dialog { ComPort, IpAddress, PortSelect };

struct DialogCase {
    const char* name;
    Dialog dialog;
    int automatic;
    std::string stored;  // verup.dat
    std::string script;
    const char* trace;
    Edits edits;  // verup.dat afterwards: the stored one with these replaced
};
void PrintTo(const DialogCase& c, std::ostream* os) { *os << c.name; }

const std::string kMissing = "[MODE]\r\nSEL=1\r\n";

const DialogCase kCases[] = {
    {"ComPortStoredAndChosen", Dialog::ComPort, 0, Config("PORT=0\r\nCOM=3\r\n"), "show sel=4 ok", "sel 2 com | COM5",
     {{"COM=3", "COM=5"}}},
    // Outside the list: nothing selected, confirmed as zero.
    {"ComPortOutsideTheList", Dialog::ComPort, 0, Config("PORT=0\r\nCOM=-3\r\n"), "show ok", "sel -1 com | COM0",
     {{"COM=-3", "COM=0"}}},
    // AUTO selects the automatic entry and never writes COM.
    {"ComPortAutomatic", Dialog::ComPort, 1, Config("PORT=0\r\nCOM=3\r\n"), "show ok", "sel 9 | COM10", {}},
    // Missing keys are COM1 and an empty address (which is taken), added in order at the end.
    {"ComPortMissingKeys", Dialog::ComPort, 0, kMissing, "show sel=1 ok", "sel 0 com | COM2",
     {{"SEL=1\r\n", "SEL=1\r\n[PORTSEL]\r\nCOM=2\r\n"}}},
    {"PortSelectMissingKeys", Dialog::PortSelect, 0, kMissing, "show ok", "radio 0 sel 0 com | COM1 link 0 ",
     {{"SEL=1\r\n", "SEL=1\r\n[PORTSEL]\r\nPORT=0\r\nCOM=1\r\n[IPADDR]\r\nFIELD=\r\n"}}},
    // The address text is not checked here; at most 19 characters are read and 20 bytes kept,
    // never half of a two-byte character.
    {"IpAddressWithinItsLimits", Dialog::IpAddress, 0, Config("PORT=1\r\n", "FIELD=123.123.123.123/255.0"),
     "show ip=999.1 ok ip=" + std::string(19, '1') + "\x82\x50" "2 ok",
     "ip 123.123.123.123/255 | 999.1 | 1111111111111111111",
     {{"FIELD=123.123.123.123/255.0", "FIELD=1111111111111111111"}}},
    // The radio buttons enable the box of their road; AUTO keeps the COM box locked.
    {"PortSelectRadios", Dialog::PortSelect, 0, Config("PORT=0\r\nCOM=4\r\n"), "show lan show serial show lan ip=10.0.0.7 ok",
     "radio 0 sel 3 com | radio 1 sel 3 ip 192.168.1.10 | radio 0 sel 3 com | COM4 link 1 10.0.0.7",
     {{"PORT=0", "PORT=1"}, {"FIELD=192.168.1.10", "FIELD=10.0.0.7"}}},
    {"PortSelectStoredLan", Dialog::PortSelect, 0, Config("PORT=1\r\nCOM=4\r\n"), "show",
     "radio 1 sel 3 ip 192.168.1.10", {}},
    {"PortSelectAutomatic", Dialog::PortSelect, 1, Config("PORT=0\r\nCOM=4\r\n"), "show lan show serial show",
     "radio 0 sel 9 | radio 1 sel 9 ip 192.168.1.10 | radio 0 sel 9", {}},
    // A stored PORT other than 0 and 1 checks neither button and confirms as -1.
    {"PortSelectNeitherRoad", Dialog::PortSelect, 0, Config("PORT=5\r\nCOM=2\r\n"), "show ok",
     "radio -1 sel 1 ip 192.168.1.10 | COM2 link -1 192.168.1.10", {{"PORT=5", "PORT=-1"}}},
    // The address is checked even for the serial road; refused, the port and COM are written
    // but not the address, which the corrected dialog writes when it closes.
    {"PortSelectRefusedAddress", Dialog::PortSelect, 0, Config("PORT=1\r\nCOM=4\r\n"),
     "serial sel=6 ip=192.168.1 ok ip=192.168.1.20 ok", "refused | COM7 link 0 192.168.1.20",
     {{"PORT=1", "PORT=0"}, {"COM=4", "COM=7"}, {"FIELD=192.168.1.10", "FIELD=192.168.1.20"}}},
    // With AUTO a refused address writes only the port.
    {"PortSelectAutomaticRefused", Dialog::PortSelect, 1, Config("PORT=0\r\nCOM=4\r\n"), "lan ip=0.0.0.0 ok", "refused",
     {{"PORT=0", "PORT=1"}}},
};

class ConnectionDialogTest : public ::testing::TestWithParam<DialogCase> {
protected:
    test::TempDir dir;
};

TEST_P(ConnectionDialogTest, ShowsGivesAndWritesOnlyItsLines)
{
    const DialogCase& c = GetParam();
    const std::string file = dir.Write("verup.dat", c.stored);
    const std::string trace = c.dialog == Dialog::ComPort     ? Play<CComPortDlg>(file, c.automatic, c.script)
                              : c.dialog == Dialog::IpAddress ? Play<CIpAddressDlg>(file, c.automatic, c.script)
                                                              : Play<CPortSelectDlg>(file, c.automatic, c.script);
    EXPECT_EQ(trace, c.trace);
    EXPECT_EQ(dir.Read("verup.dat"), Replace(c.stored, c.edits));
}

INSTANTIATE_TEST_SUITE_P(Dialogs, ConnectionDialogTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionDialogHeader, ShowsAtMost64CharactersOfTheTitle)
{
    CPortSelectDlg dlg("");
    dlg.SetHeaderText(std::string(63, 'N') + "\x81\x40");  // an ideographic space straddling the limit
    EXPECT_EQ(dlg.HeaderText(), std::string(63, 'N'));
    dlg.SetHeaderText("NEXAVO\x81\x40" "7300QB");
    EXPECT_EQ(dlg.HeaderText(), "NEXAVO\x81\x40" "7300QB");
}

}  // namespace
}  // namespace verup

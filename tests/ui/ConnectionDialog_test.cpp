#include <gtest/gtest.h>

#include <string>

#include "support/TempDir.h"
#include "ui/CComPortDlg.h"
#include "ui/CIpAddressDlg.h"
#include "ui/CPortSelectDlg.h"
#include "ui/ConnectionTexts.h"

namespace verup {
namespace {

// A configuration with CR LF lines, comments and odd spacing around the keys the dialogs do
// not own, so that a rewrite which touches more than its own line shows.
std::string Config(const std::string& portsel, const std::string& ipaddr = "FIELD=192.168.1.10")
{
    return "; package for the update\r\n[MODE]\r\nDEBUG = 0\r\nSEL=2\r\n\r\n[PORTSEL]\r\n" + portsel +
           "\r\n[IPADDR]\r\n" + ipaddr + "\r\n[VERUP]\r\nNAME1 = \x82\x6d\x82\x64\x82\x77\r\n";
}

// `text` with each pair's first text replaced by its second.
std::string Replace(std::string text, std::initializer_list<std::pair<std::string, std::string>> edits)
{
    for (const auto& [from, to] : edits) {
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
    }
    return text;
}

class ConnectionDialogTest : public ::testing::Test {
protected:
    std::string Write(const std::string& content) { return dir.Write("verup.dat", content); }
    std::string Read() const { return dir.Read("verup.dat"); }
    static void ExpectBoxes(const CPortSelectDlg& dlg, int radio, bool combo, bool address)
    {
        EXPECT_EQ(dlg.CheckedRadio, radio);
        EXPECT_EQ(dlg.ComboEnabled, combo);
        EXPECT_EQ(dlg.AddressEnabled, address);
    }
    test::TempDir dir;
};

TEST_F(ConnectionDialogTest, ComPortProposesTheStoredPortAndWritesOnlyTheComLine)
{
    const std::string original = Config("PORT=0\r\nCOM=3\r\n");
    CComPortDlg dlg(Write(original));
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.ComSelection, 2);
    EXPECT_TRUE(dlg.ComboEnabled);
    dlg.ComSelection = 4;
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(dlg.ComChoice, 5);
    EXPECT_EQ(Read(), Replace(original, {{"COM=3", "COM=5"}}));

    // Missing key: COM1. Outside the list: nothing selected, confirmed as zero.
    CComPortDlg missing(Write(Config("PORT=0\r\n")));
    missing.OnInitDialog();
    EXPECT_EQ(missing.ComSelection, 0);
    for (const char* stored : {"COM=0", "COM=11", "COM=-3"}) {
        const std::string outside = Config(std::string("PORT=0\r\n") + stored + "\r\n");
        CComPortDlg other(Write(outside));
        other.OnInitDialog();
        EXPECT_EQ(other.ComSelection, -1) << stored;
        EXPECT_TRUE(other.OnOK().Closed);
        EXPECT_EQ(other.ComChoice, 0) << stored;
        EXPECT_EQ(Read(), Replace(outside, {{stored, "COM=0"}}));
    }
}

TEST_F(ConnectionDialogTest, ComPortWithAutoShowsTheAutomaticEntryAndNeverWritesCom)
{
    const std::string original = Config("PORT=0\r\nCOM=3\r\n");
    CComPortDlg dlg(Write(original));
    dlg.AUTO = 1;
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.ComSelection, 9);
    EXPECT_EQ(kComEntries[static_cast<size_t>(dlg.ComSelection)], "\x8e\xa9\x93\xae");
    EXPECT_FALSE(dlg.ComboEnabled);
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(dlg.ComChoice, COM_AUTOMATIC);
    EXPECT_EQ(Read(), original);
}

TEST_F(ConnectionDialogTest, MissingKeysAreAddedInOrderAtTheEnd)
{
    const std::string original = "[MODE]\r\nSEL=1\r\n";
    CComPortDlg com(Write(original));
    com.OnInitDialog();
    com.ComSelection = 1;
    EXPECT_TRUE(com.OnOK().Closed);
    EXPECT_EQ(Read(), original + "[PORTSEL]\r\nCOM=2\r\n");

    CPortSelectDlg both(Write(original));
    both.OnInitDialog();
    EXPECT_EQ(both.CheckedRadio, 0);
    EXPECT_EQ(both.ComSelection, 0);
    EXPECT_EQ(both.AddressText, "");
    // An empty address is acceptable and is written as such.
    EXPECT_TRUE(both.OnOK().Closed);
    EXPECT_EQ(Read(), original + "[PORTSEL]\r\nPORT=0\r\nCOM=1\r\n[IPADDR]\r\nFIELD=\r\n");
}

TEST_F(ConnectionDialogTest, IpAddressReadsAndWritesWithinItsLimitsWithoutCheckingTheText)
{
    CIpAddressDlg longer(Write(Config("PORT=1\r\n", "FIELD=123.123.123.123/255.0")));
    longer.OnInitDialog();
    EXPECT_EQ(longer.AddressText, "123.123.123.123/255");  // at most 19 characters read

    const std::string original = Config("PORT=1\r\nCOM=2\r\n");
    CIpAddressDlg dlg(Write(original));
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.AddressText, "192.168.1.10");
    dlg.AddressText = "999.1";
    const ConnectOutcome outcome = dlg.OnOK();
    EXPECT_TRUE(outcome.Closed);
    EXPECT_TRUE(outcome.MessageText.empty());
    EXPECT_EQ(dlg.ResultAddress, "999.1");
    EXPECT_EQ(Read(), Replace(original, {{"FIELD=192.168.1.10", "FIELD=999.1"}}));

    // At most 20 bytes kept, never half of a two-byte character.
    dlg.AddressText = std::string(19, '1') + "\x82\x50" + "2";
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(dlg.ResultAddress, std::string(19, '1'));
}

TEST_F(ConnectionDialogTest, PortSelectEnablesTheBoxOfTheCheckedRoad)
{
    CPortSelectDlg serial(Write(Config("PORT=0\r\nCOM=4\r\n")));
    serial.OnInitDialog();
    ExpectBoxes(serial, 0, true, false);
    EXPECT_EQ(serial.ComSelection, 3);
    EXPECT_EQ(serial.AddressText, "192.168.1.10");
    serial.OnLanRadio();
    ExpectBoxes(serial, 1, false, true);
    serial.OnSerialRadio();
    ExpectBoxes(serial, 0, true, false);

    CPortSelectDlg lan(Write(Config("PORT=1\r\nCOM=4\r\n")));
    lan.OnInitDialog();
    ExpectBoxes(lan, 1, false, true);
    EXPECT_EQ(lan.ComSelection, 3);

    // AUTO keeps the COM box locked on either road.
    CPortSelectDlg automatic(Write(Config("PORT=0\r\nCOM=4\r\n")));
    automatic.AUTO = 1;
    automatic.OnInitDialog();
    ExpectBoxes(automatic, 0, false, false);
    EXPECT_EQ(automatic.ComSelection, 9);
    automatic.OnLanRadio();
    ExpectBoxes(automatic, 1, false, true);
    automatic.OnSerialRadio();
    ExpectBoxes(automatic, 0, false, false);
}

TEST_F(ConnectionDialogTest, StoredPortOtherThanZeroOrOneChecksNeitherButtonAndConfirmsAsMinusOne)
{
    const std::string original = Config("PORT=5\r\nCOM=2\r\n");
    CPortSelectDlg dlg(Write(original));
    dlg.OnInitDialog();
    ExpectBoxes(dlg, -1, false, true);
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(dlg.LinkResult, -1);
    EXPECT_EQ(Read(), Replace(original, {{"PORT=5", "PORT=-1"}}));
}

TEST_F(ConnectionDialogTest, PortSelectConfirmWritesPortComAndAddress)
{
    const std::string original = Config("PORT=0\r\nCOM=4\r\n");
    CPortSelectDlg dlg(Write(original));
    dlg.OnInitDialog();
    dlg.OnLanRadio();
    dlg.AddressText = "10.0.0.7";
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(dlg.LinkResult, 1);
    EXPECT_EQ(dlg.ComChoice, 4);
    EXPECT_EQ(dlg.ResultAddress, "10.0.0.7");
    EXPECT_EQ(Read(), Replace(original, {{"PORT=0", "PORT=1"}, {"FIELD=192.168.1.10", "FIELD=10.0.0.7"}}));
}

TEST_F(ConnectionDialogTest, RefusedAddressKeepsThePortAndComWritesButNotTheAddress)
{
    const std::string original = Config("PORT=1\r\nCOM=4\r\n");
    CPortSelectDlg dlg(Write(original));
    dlg.OnInitDialog();
    // The address is checked even when the serial road is chosen.
    dlg.OnSerialRadio();
    dlg.ComSelection = 6;
    dlg.AddressText = "192.168.1";
    const ConnectOutcome refused = dlg.OnOK();
    EXPECT_FALSE(refused.Closed);
    EXPECT_EQ(refused.MessageText, kAddressErrorText);
    EXPECT_EQ(refused.MessageCaption, kConnectionCaption);
    EXPECT_EQ(Read(), Replace(original, {{"PORT=1", "PORT=0"}, {"COM=4", "COM=7"}}));

    // Corrected, the same dialog closes and only then writes the address.
    dlg.AddressText = "192.168.1.20";
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(dlg.LinkResult, 0);
    EXPECT_EQ(dlg.ComChoice, 7);
    EXPECT_EQ(Read(), Replace(original, {{"PORT=1", "PORT=0"}, {"COM=4", "COM=7"},
                                         {"FIELD=192.168.1.10", "FIELD=192.168.1.20"}}));

    // With AUTO only the port is written.
    const std::string automatic = Config("PORT=0\r\nCOM=4\r\n");
    CPortSelectDlg locked(Write(automatic));
    locked.AUTO = 1;
    locked.OnInitDialog();
    locked.OnLanRadio();
    locked.AddressText = "0.0.0.0";
    EXPECT_FALSE(locked.OnOK().Closed);
    EXPECT_EQ(Read(), Replace(automatic, {{"PORT=0", "PORT=1"}}));
}

TEST_F(ConnectionDialogTest, HeaderShowsAtMost64CharactersOfTheTitle)
{
    CPortSelectDlg dlg(Write(Config("PORT=0\r\n")));
    dlg.SetHeaderText(std::string(63, 'N') + "\x81\x40");  // an ideographic space straddling the limit
    EXPECT_EQ(dlg.HeaderText(), std::string(63, 'N'));
    dlg.SetHeaderText("NEXAVO\x81\x40" "7300QB");
    EXPECT_EQ(dlg.HeaderText(), "NEXAVO\x81\x40" "7300QB");
}

}  // namespace
}  // namespace verup

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
    return "; package for the update\r\n"
           "[MODE]\r\n"
           "DEBUG = 0\r\n"
           "SEL=2\r\n"
           "\r\n"
           "[PORTSEL]\r\n" +
           portsel +
           "\r\n"
           "[IPADDR]\r\n" +
           ipaddr +
           "\r\n"
           "[VERUP]\r\n"
           "NAME1 = \x82\x6d\x82\x64\x82\x77\r\n";
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

class ConnectionDialogTest : public ::testing::Test {
protected:
    std::string Write(const std::string& content) { return dir.Write("verup.dat", content); }
    std::string Read() const { return dir.Read("verup.dat"); }
    test::TempDir dir;
};

// ---- CComPortDlg ----

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
    EXPECT_EQ(Read(), Replace(original, "COM=3", "COM=5"));
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

TEST_F(ConnectionDialogTest, ComPortDefaultsToCom1WhenTheKeyIsMissing)
{
    CComPortDlg dlg(Write(Config("PORT=0\r\n")));
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.ComSelection, 0);
}

TEST_F(ConnectionDialogTest, StoredComOutsideTheListSelectsNothingAndConfirmsAsZero)
{
    for (const char* stored : {"COM=0", "COM=11", "COM=-3"}) {
        const std::string original = Config(std::string("PORT=0\r\n") + stored + "\r\n");
        CComPortDlg dlg(Write(original));
        dlg.OnInitDialog();
        EXPECT_EQ(dlg.ComSelection, -1) << stored;
        EXPECT_TRUE(dlg.OnOK().Closed);
        EXPECT_EQ(dlg.ComChoice, 0) << stored;
        EXPECT_EQ(Read(), Replace(original, stored, "COM=0"));
    }
}

TEST_F(ConnectionDialogTest, ComPortAddsTheKeyWhenTheFileHasNoPortSection)
{
    const std::string original = "[MODE]\r\nSEL=1\r\n";
    CComPortDlg dlg(Write(original));
    dlg.OnInitDialog();
    dlg.ComSelection = 1;
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(Read(), original + "[PORTSEL]\r\nCOM=2\r\n");
}

// ---- CIpAddressDlg ----

TEST_F(ConnectionDialogTest, IpAddressReadsAtMost19CharactersOfTheStoredAddress)
{
    CIpAddressDlg dlg(Write(Config("PORT=1\r\n", "FIELD=123.123.123.123/255.0")));
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.AddressText, "123.123.123.123/255");
}

TEST_F(ConnectionDialogTest, IpAddressWritesWhatWasTypedWithoutCheckingIt)
{
    const std::string original = Config("PORT=1\r\nCOM=2\r\n");
    CIpAddressDlg dlg(Write(original));
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.AddressText, "192.168.1.10");

    dlg.AddressText = "999.1";
    const ConnectOutcome outcome = dlg.OnOK();
    EXPECT_TRUE(outcome.Closed);
    EXPECT_TRUE(outcome.MessageText.empty());
    EXPECT_EQ(dlg.ResultAddress, "999.1");
    EXPECT_EQ(Read(), Replace(original, "FIELD=192.168.1.10", "FIELD=999.1"));
}

TEST_F(ConnectionDialogTest, IpAddressKeepsAtMost20CharactersWithoutSplittingACharacter)
{
    CIpAddressDlg dlg(Write(Config("PORT=1\r\n")));
    dlg.OnInitDialog();
    // 19 ASCII bytes, then a two-byte character that would straddle the limit.
    dlg.AddressText = std::string(19, '1') + "\x82\x50" + "2";
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(dlg.ResultAddress, std::string(19, '1'));
}

// ---- CPortSelectDlg ----

TEST_F(ConnectionDialogTest, PortSelectSerialChoiceEnablesOnlyTheComBox)
{
    CPortSelectDlg dlg(Write(Config("PORT=0\r\nCOM=4\r\n")));
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.CheckedRadio, 0);
    EXPECT_TRUE(dlg.ComboEnabled);
    EXPECT_FALSE(dlg.AddressEnabled);
    EXPECT_EQ(dlg.ComSelection, 3);
    EXPECT_EQ(dlg.AddressText, "192.168.1.10");
}

TEST_F(ConnectionDialogTest, PortSelectLanChoiceEnablesOnlyTheAddressBox)
{
    CPortSelectDlg dlg(Write(Config("PORT=1\r\nCOM=4\r\n")));
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.CheckedRadio, 1);
    EXPECT_FALSE(dlg.ComboEnabled);
    EXPECT_TRUE(dlg.AddressEnabled);
    EXPECT_EQ(dlg.ComSelection, 3);
}

TEST_F(ConnectionDialogTest, PortSelectWithAutoKeepsTheComBoxDisabledOnEitherRoad)
{
    CPortSelectDlg dlg(Write(Config("PORT=0\r\nCOM=4\r\n")));
    dlg.AUTO = 1;
    dlg.OnInitDialog();
    EXPECT_FALSE(dlg.ComboEnabled);
    EXPECT_FALSE(dlg.AddressEnabled);
    EXPECT_EQ(dlg.ComSelection, 9);

    dlg.OnLanRadio();
    EXPECT_FALSE(dlg.ComboEnabled);
    EXPECT_TRUE(dlg.AddressEnabled);
    dlg.OnSerialRadio();
    EXPECT_FALSE(dlg.ComboEnabled);
    EXPECT_FALSE(dlg.AddressEnabled);
}

TEST_F(ConnectionDialogTest, PortSelectRadioButtonsSwapTheEnabledBox)
{
    CPortSelectDlg dlg(Write(Config("PORT=0\r\nCOM=4\r\n")));
    dlg.OnInitDialog();
    dlg.OnLanRadio();
    EXPECT_EQ(dlg.CheckedRadio, 1);
    EXPECT_FALSE(dlg.ComboEnabled);
    EXPECT_TRUE(dlg.AddressEnabled);
    dlg.OnSerialRadio();
    EXPECT_EQ(dlg.CheckedRadio, 0);
    EXPECT_TRUE(dlg.ComboEnabled);
    EXPECT_FALSE(dlg.AddressEnabled);
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
    EXPECT_EQ(Read(), Replace(Replace(original, "PORT=0", "PORT=1"), "FIELD=192.168.1.10", "FIELD=10.0.0.7"));
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
    EXPECT_EQ(Read(), Replace(Replace(original, "PORT=1", "PORT=0"), "COM=4", "COM=7"));

    // Corrected, the same dialog closes and only then writes the address.
    dlg.AddressText = "192.168.1.20";
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(dlg.LinkResult, 0);
    EXPECT_EQ(dlg.ComChoice, 7);
    EXPECT_EQ(Read(), Replace(Replace(Replace(original, "PORT=1", "PORT=0"), "COM=4", "COM=7"),
                              "FIELD=192.168.1.10", "FIELD=192.168.1.20"));
}

TEST_F(ConnectionDialogTest, RefusedAddressWithAutoWritesOnlyThePort)
{
    const std::string original = Config("PORT=0\r\nCOM=4\r\n");
    CPortSelectDlg dlg(Write(original));
    dlg.AUTO = 1;
    dlg.OnInitDialog();
    dlg.OnLanRadio();
    dlg.AddressText = "0.0.0.0";
    EXPECT_FALSE(dlg.OnOK().Closed);
    EXPECT_EQ(Read(), Replace(original, "PORT=0", "PORT=1"));
}

TEST_F(ConnectionDialogTest, PortAndComAreAddedInThatOrderToAFileWithoutThem)
{
    const std::string original = "[MODE]\r\nSEL=2\r\n";
    CPortSelectDlg dlg(Write(original));
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.CheckedRadio, 0);
    EXPECT_EQ(dlg.ComSelection, 0);
    EXPECT_EQ(dlg.AddressText, "");
    // An empty address is acceptable and is written as such.
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(Read(), original + "[PORTSEL]\r\nPORT=0\r\nCOM=1\r\n[IPADDR]\r\nFIELD=\r\n");
}

TEST_F(ConnectionDialogTest, StoredPortOtherThanZeroOrOneChecksNeitherButtonAndConfirmsAsMinusOne)
{
    const std::string original = Config("PORT=5\r\nCOM=2\r\n");
    CPortSelectDlg dlg(Write(original));
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.CheckedRadio, -1);
    EXPECT_FALSE(dlg.ComboEnabled);
    EXPECT_TRUE(dlg.AddressEnabled);
    EXPECT_TRUE(dlg.OnOK().Closed);
    EXPECT_EQ(dlg.LinkResult, -1);
    EXPECT_EQ(Read(), Replace(original, "PORT=5", "PORT=-1"));
}

TEST_F(ConnectionDialogTest, HeaderShowsAtMost64CharactersOfTheTitle)
{
    CPortSelectDlg dlg(Write(Config("PORT=0\r\n")));
    std::string title(63, 'N');
    title += "\x81\x40";  // an ideographic space straddling the limit
    dlg.SetHeaderText(title);
    EXPECT_EQ(dlg.HeaderText(), std::string(63, 'N'));
    dlg.SetHeaderText("NEXAVO\x81\x40" "7300QB");
    EXPECT_EQ(dlg.HeaderText(), "NEXAVO\x81\x40" "7300QB");
}

}  // namespace
}  // namespace verup

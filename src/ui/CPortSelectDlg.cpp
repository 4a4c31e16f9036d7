#include "ui/CPortSelectDlg.h"

#include "ui/ComSelection.h"
#include "ui/ConnectionTexts.h"
#include "ui/Cp932Text.h"
#include "ui/IsValidAddress.h"

namespace verup {

void CPortSelectDlg::SetHeaderText(const std::string& title) { header_ = CutCp932(title, kHeaderMaxChars); }

void CPortSelectDlg::EnableSerialControls()
{
    AddressEnabled = false;
    ComboEnabled = AUTO != 1;
}

void CPortSelectDlg::EnableLanControls()
{
    ComboEnabled = false;
    AddressEnabled = true;
}

void CPortSelectDlg::OnInitDialog()
{
    const int port = profile_.GetInt(kPortSelSection, kPortKey, 0);
    if (port == 0)
        EnableSerialControls();
    else
        EnableLanControls();
    ComChoice = AUTO == 1 ? COM_AUTOMATIC : profile_.GetInt(kPortSelSection, kComKey, 1);
    ComSelection = ComIndexOf(ComChoice);
    AddressText = profile_.GetString(kIpAddrSection, kFieldKey, "", kFieldReadBuffer);
    CheckedRadio = (port == 0 || port == 1) ? port : -1;
}

void CPortSelectDlg::OnSerialRadio()
{
    CheckedRadio = 0;
    EnableSerialControls();
}

void CPortSelectDlg::OnLanRadio()
{
    CheckedRadio = 1;
    EnableLanControls();
}

ConnectOutcome CPortSelectDlg::OnOK()
{
    AddressText = CutCp932(AddressText, kAddressMaxChars);
    (void)profile_.WriteString(kPortSelSection, kPortKey, std::to_string(CheckedRadio));
    LinkResult = CheckedRadio;

    ComChoice = ComNumberOf(ComSelection);
    if (AUTO != 1)
        (void)profile_.WriteString(kPortSelSection, kComKey, std::to_string(ComChoice));

    if (IsValidAddress(AddressText) != ADDRESS_ACCEPTABLE)
        return ConnectOutcome{false, std::string(kAddressErrorText), std::string(kConnectionCaption)};

    (void)profile_.WriteString(kIpAddrSection, kFieldKey, AddressText);
    ResultAddress = AddressText;
    return {};
}

}  // namespace verup

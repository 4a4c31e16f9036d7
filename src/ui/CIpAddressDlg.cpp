#include "ui/CIpAddressDlg.h"

#include "ui/ConnectionTexts.h"
#include "ui/Cp932Text.h"

namespace verup {

void CIpAddressDlg::SetHeaderText(const std::string& title) { header_ = CutCp932(title, kHeaderMaxChars); }

void CIpAddressDlg::OnInitDialog() { AddressText = profile_.GetString(kIpAddrSection, kFieldKey, "", kFieldReadBuffer); }

ConnectOutcome CIpAddressDlg::OnOK()
{
    AddressText = CutCp932(AddressText, kAddressMaxChars);
    (void)profile_.WriteString(kIpAddrSection, kFieldKey, AddressText);
    ResultAddress = AddressText;
    return {};
}

}  // namespace verup

#include "ui/CComPortDlg.h"

#include "ui/ComSelection.h"
#include "ui/ConnectionTexts.h"
#include "ui/Cp932Text.h"

namespace verup {

void CComPortDlg::SetHeaderText(const std::string& title) { header_ = CutCp932(title, kHeaderMaxChars); }

void CComPortDlg::OnInitDialog()
{
    ComboEnabled = true;
    if (AUTO == 1) {
        ComChoice = COM_AUTOMATIC;
        ComboEnabled = false;
    } else {
        ComChoice = profile_.GetInt(kPortSelSection, kComKey, 1);
    }
    ComSelection = ComIndexOf(ComChoice);
}

ConnectOutcome CComPortDlg::OnOK()
{
    ComChoice = ComNumberOf(ComSelection);
    if (AUTO != 1)
        (void)profile_.WriteString(kPortSelSection, kComKey, std::to_string(ComChoice));
    return {};
}

}  // namespace verup

#pragma once
// The serial-or-LAN connection dialog (template 129), without its widgets. The enable state
// of the combo and address boxes is data here; the window mirrors it.
#include <string>

#include "platform/ProfileFile.h"
#include "ui/ConnectionDialogOutcome.h"

namespace verup {

class CPortSelectDlg {
public:
    explicit CPortSelectDlg(std::string config_file_path) : profile_(std::move(config_file_path)) {}

    int AUTO = 0;
    void SetHeaderText(const std::string& title);
    const std::string& HeaderText() const { return header_; }

    // PORTSEL PORT picks the radio button, PORTSEL COM the combo entry, IPADDR FIELD the address.
    void OnInitDialog();
    // The radio buttons "シリアル" (1000) and "ＬＡＮ" (1001).
    void OnSerialRadio();
    void OnLanRadio();
    // "接続", in this order: PORT written, COM written (unless AUTO 1), the address checked
    // whichever road is chosen, FIELD written only when the address passes.
    ConnectOutcome OnOK();

    // Controls
    int CheckedRadio = -1;  // 0 serial, 1 LAN, -1 neither (a stored PORT other than 0 and 1)
    int ComSelection = -1;  // combo index, -1 = none
    bool ComboEnabled = true;
    bool AddressEnabled = true;
    std::string AddressText;  // CP932, at most 20 characters kept

    // Results
    int LinkResult = 0;  // 0 serial, 1 LAN, -1 neither (treated as LAN)
    int ComChoice = 1;   // 1 ... 9, 10 = automatic scan, 0 = nothing selected
    std::string ResultAddress;

private:
    void EnableSerialControls();
    void EnableLanControls();

    ProfileFile profile_;
    std::string header_;
};

}  // namespace verup

#pragma once
// The serial-only connection dialog (template 132), without its widgets: the window copies
// its controls into the public members before OnOK and shows them after OnInitDialog.
#include <string>

#include "platform/ProfileFile.h"
#include "ui/ConnectionDialogOutcome.h"

namespace verup {

class CComPortDlg {
public:
    explicit CComPortDlg(std::string config_file_path) : profile_(std::move(config_file_path)) {}

    // Copied in by the main dialog before the dialog runs.
    int AUTO = 0;
    void SetHeaderText(const std::string& title);
    const std::string& HeaderText() const { return header_; }

    // PORTSEL COM (or the automatic entry with AUTO 1) into the combo box.
    void OnInitDialog();
    // "接続": COM choice from the selection; PORTSEL COM written unless AUTO is 1.
    ConnectOutcome OnOK();

    // Controls
    int ComSelection = -1;  // combo index, -1 = none
    bool ComboEnabled = true;

    // Result: 1 ... 9, 10 = automatic scan; 0 when nothing was selected.
    int ComChoice = 1;

private:
    ProfileFile profile_;
    std::string header_;
};

}  // namespace verup

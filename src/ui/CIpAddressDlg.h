#pragma once
// The LAN-only connection dialog (template 131), without its widgets. Its address is not
// checked: the start-up's connection attempt judges it.
#include <string>

#include "platform/ProfileFile.h"
#include "ui/ConnectionDialogOutcome.h"

namespace verup {

class CIpAddressDlg {
public:
    explicit CIpAddressDlg(std::string config_file_path) : profile_(std::move(config_file_path)) {}

    void SetHeaderText(const std::string& title);
    const std::string& HeaderText() const { return header_; }

    // IPADDR FIELD (at most 19 characters) into the address box.
    void OnInitDialog();
    // "接続": IPADDR FIELD written as typed, the result address taken from it.
    ConnectOutcome OnOK();

    // Control: the address box (CP932, at most 20 characters kept).
    std::string AddressText;

    // Result
    std::string ResultAddress;

private:
    ProfileFile profile_;
    std::string header_;
};

}  // namespace verup

#pragma once
// A host with no window: it shows nothing and confirms no dialog. For runs of the core that
// only want its results, such as the console's configuration report.
#include "app/DialogHost.h"

namespace verup {

class SilentDialogHost : public DialogHost {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon, MessageOwner) override {}
    std::optional<ConnectionResult> RunConnectionDialog(const ConnectionRequest&) override { return std::nullopt; }
    void ShowWaitBox() override {}
    void DestroyWaitBox() override {}
    void EnableStartButton(bool) override {}
    void EnableCloseButton(bool) override {}
    void EnableCloseCommand(bool) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int) override {}
    void AppendDebugLog(const std::string&) override {}
    void RefreshFields(const BoundTexts&) override {}
    void SetWindowTitle(const std::string&) override {}
    void SetFullHeight(bool) override {}
    void PostStart() override {}
    void PostClose() override {}
};

}  // namespace verup

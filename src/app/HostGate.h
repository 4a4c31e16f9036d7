#pragma once
// The dialog's side of the DialogHost contract: every call its threads make (the start-up,
// the worker, the telnet link's reader thread, the status timer) passes one lock,
// so that the host sees one call at a time.
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "app/DialogHost.h"

namespace verup {

class HostGate final : public DialogHost {
public:
    explicit HostGate(DialogHost& host) : host_(host) {}
    HostGate(const HostGate&) = delete;
    HostGate& operator=(const HostGate&) = delete;

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon, MessageOwner owner) override
    {
        std::lock_guard lock(mutex_);
        host_.ShowMessage(text, caption, icon, owner);
    }
    std::optional<ConnectionResult> RunConnectionDialog(const ConnectionRequest& request) override
    {
        std::lock_guard lock(mutex_);
        return host_.RunConnectionDialog(request);
    }
    void ShowWaitBox() override { Pass(&DialogHost::ShowWaitBox); }
    void DestroyWaitBox() override { Pass(&DialogHost::DestroyWaitBox); }
    void EnableStartButton(bool enable) override { Pass(&DialogHost::EnableStartButton, enable); }
    void EnableCloseButton(bool enable) override { Pass(&DialogHost::EnableCloseButton, enable); }
    void EnableCloseCommand(bool enable) override { Pass(&DialogHost::EnableCloseCommand, enable); }
    void SetProgressRange(int lower, int upper) override { Pass(&DialogHost::SetProgressRange, lower, upper); }
    void SetProgressPos(int position) override { Pass(&DialogHost::SetProgressPos, position); }
    void AppendDebugLog(const std::string& text) override { Pass(&DialogHost::AppendDebugLog, text); }
    void RefreshFields(const BoundTexts& texts) override { Pass(&DialogHost::RefreshFields, texts); }
    void SetWindowTitle(const std::string& title) override { Pass(&DialogHost::SetWindowTitle, title); }
    void SetFullHeight(bool full) override { Pass(&DialogHost::SetFullHeight, full); }
    void PostStart() override { Pass(&DialogHost::PostStart); }
    void PostClose() override { Pass(&DialogHost::PostClose); }

private:
    template <class... Params, class... Args>
    void Pass(void (DialogHost::*call)(Params...), Args&&... args)
    {
        std::lock_guard lock(mutex_);
        (host_.*call)(std::forward<Args>(args)...);
    }

    DialogHost& host_;
    std::mutex mutex_;
};

}  // namespace verup

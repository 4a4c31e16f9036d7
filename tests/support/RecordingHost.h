#pragma once
// A DialogHost that records every call, for tests of the start-up, the update sequences and
// the teardown. The connection dialog's answer is scripted. The dialog calls it one call at a
// time; its lock is the test's, for reading (and waiting for) what was recorded while the
// dialog's threads still run.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/DialogHost.h"

namespace verup::test {

struct RecordedMessage {
    std::string Text;
    std::string Caption;
    MessageIcon Icon = MessageIcon::Stop;
    MessageOwner Owner = MessageOwner::MainWindow;
};

class RecordingHost : public DialogHost {
public:
    // What RunConnectionDialog answers; nullopt stands for "終了" or a closed dialog.
    std::optional<ConnectionResult> ConnectionAnswer = ConnectionResult{};

    // ---- What was recorded (read under Lock() while other threads may still call) ----
    std::vector<std::string> Calls;  // every call in order: "ShowMessage", "PostClose", ...
    std::vector<RecordedMessage> Messages;
    std::vector<ConnectionRequest> ConnectionRequests;
    bool WaitBoxUp = false;
    int WaitBoxShown = 0;
    bool StartEnabled = true;
    bool CloseEnabled = true;
    bool CloseCommandEnabled = true;
    std::vector<std::pair<int, int>> ProgressRanges;
    std::vector<int> ProgressPositions;
    std::string Log;
    std::vector<BoundTexts> Refreshes;
    int PostCloses = 0;

    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(mutex_); }

    // Waits (real time, generous) until `predicate` holds under the lock.
    bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, predicate);
    }
    int Count(const std::string& call)
    {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& c : Calls)
            n += c == call ? 1 : 0;
        return n;
    }
    std::optional<BoundTexts> LastRefresh()
    {
        std::lock_guard lock(mutex_);
        if (Refreshes.empty())
            return std::nullopt;
        return Refreshes.back();
    }

    // ---- DialogHost ----
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon, MessageOwner owner) override
    {
        Record("ShowMessage", [&] { Messages.push_back(RecordedMessage{text, caption, icon, owner}); });
    }
    std::optional<ConnectionResult> RunConnectionDialog(const ConnectionRequest& request) override
    {
        Record("RunConnectionDialog", [&] { ConnectionRequests.push_back(request); });
        return ConnectionAnswer;
    }
    void ShowWaitBox() override { Record("ShowWaitBox", [&] { WaitBoxUp = true; ++WaitBoxShown; }); }
    void DestroyWaitBox() override { Record("DestroyWaitBox", [&] { WaitBoxUp = false; }); }
    void EnableStartButton(bool enable) override { Record("EnableStartButton", [&] { StartEnabled = enable; }); }
    void EnableCloseButton(bool enable) override { Record("EnableCloseButton", [&] { CloseEnabled = enable; }); }
    void EnableCloseCommand(bool enable) override
    {
        Record("EnableCloseCommand", [&] { CloseCommandEnabled = enable; });
    }
    void SetProgressRange(int lower, int upper) override
    {
        Record("SetProgressRange", [&] { ProgressRanges.emplace_back(lower, upper); });
    }
    void SetProgressPos(int position) override
    {
        Record("SetProgressPos", [&] { ProgressPositions.push_back(position); });
    }
    void AppendDebugLog(const std::string& text) override { Record("AppendDebugLog", [&] { Log += text; }); }
    void RefreshFields(const BoundTexts& texts) override
    {
        Record("RefreshFields", [&] { Refreshes.push_back(texts); });
    }
    void SetWindowTitle(const std::string&) override { Record("SetWindowTitle", [] {}); }
    void SetFullHeight(bool) override { Record("SetFullHeight", [] {}); }
    void PostStart() override { Record("PostStart", [] {}); }
    void PostClose() override { Record("PostClose", [&] { ++PostCloses; }); }

private:
    template <class F>
    void Record(const char* call, F&& change)
    {
        {
            std::lock_guard lock(mutex_);
            Calls.emplace_back(call);
            change();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace verup::test

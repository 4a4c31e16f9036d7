#pragma once
// The window of the update, on a console: message boxes become messages on stderr (UTF-8,
// with what to do next), the connection dialog is answered from the command line or from what
// verup.dat proposes, and the progress bar is a bar on a terminal or plain lines otherwise.
#include <chrono>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/DialogHost.h"

namespace verup::cli {

// The link asked for on the command line; neither means "what the dialog would propose".
struct LinkChoice {
    std::optional<int> ComPort;          // 1 ... 9, 10 = automatic scan
    std::optional<std::string> Address;  // LAN address
    std::optional<std::string> PortPath; // a serial device path instead of a COM number
};

// A status text as the run showed it (UTF-8, without its animation dots), and when it
// appeared: seconds of wall time after the host was made.
struct ShownStatus {
    std::string Text;
    double StartSeconds = 0;
};

class ConsoleHost : public DialogHost {
public:
    // `out` receives progress and results, `err` the messages. `terminal`: draw a bar.
    ConsoleHost(std::ostream& out, std::ostream& err, bool terminal, LinkChoice choice);

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     MessageOwner owner) override;
    std::optional<ConnectionResult> RunConnectionDialog(const ConnectionRequest& request) override;
    void ShowWaitBox() override;
    void DestroyWaitBox() override;
    void EnableStartButton(bool) override {}
    void EnableCloseButton(bool) override {}
    void EnableCloseCommand(bool) override {}
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int position) override;
    void AppendDebugLog(const std::string&) override {}
    void RefreshFields(const BoundTexts& texts) override;
    void SetWindowTitle(const std::string&) override {}
    void SetFullHeight(bool) override {}
    void PostStart() override;
    void PostClose() override;

    // Ends a bar line before other output follows.
    void FinishProgress();
    // Plain text (UTF-8) on the progress stream, after the bar is finished.
    void Say(const std::string& text);

    int MessageCount() const;
    // The connection could not be chosen (conflicting option, refused address): why, in UTF-8.
    std::optional<std::string> ConnectionProblem() const;
    // The problem is the command line's (an option this package's SEL does not allow).
    bool ConnectionUsageError() const;
    // Describes the chosen link for people ("COM1", "COM auto-scan", "LAN 192.168.1.10").
    std::string LinkDescription() const;
    // Every status text shown so far, in order.
    std::vector<ShownStatus> StatusHistory() const;
    // Wall time since the host was made, on the clock of StatusHistory.
    double SecondsSinceStart() const;

private:
    std::optional<ConnectionResult> ChooseConnection(const ConnectionRequest& request);
    void DrawProgress(bool force);
    void Line(const std::string& text);

    std::ostream& out_;
    std::ostream& err_;
    const bool terminal_;
    const LinkChoice choice_;

    // The dialog calls one at a time; this keeps the front end's own calls (Say, FinishProgress,
    // the readers) apart from a telnet thread that reports after a failed start-up.
    mutable std::mutex mutex_;
    int messages_ = 0;
    std::optional<std::string> connection_problem_;
    bool connection_usage_error_ = false;
    std::string link_description_;
    int lower_ = 0;
    int upper_ = 10;
    int position_ = 0;
    int printed_decile_ = -1;
    int last_percent_ = -1;
    std::string stage_;
    bool bar_open_ = false;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::vector<ShownStatus> history_;
};

}  // namespace verup::cli

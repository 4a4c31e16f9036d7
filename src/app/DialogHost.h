#pragma once
// What the update core asks of its window. The Qt window, the console front end and the
// tests' recording host implement it. Every text is CP932 bytes; a host converts for display.
// The dialog makes one call at a time: the calls of all its threads (the start-up thread, the
// update worker, the telnet link's reader thread, the status timer) pass one lock,
// so a host needs no lock of its own against them. They still come from several threads: a
// host that owns a GUI thread must marshal them there. ShowMessage and RunConnectionDialog
// block until the user has answered; the other threads' calls wait meanwhile.
#include <optional>
#include <string>

namespace verup {

enum class MessageIcon { Stop, Exclamation, Information };
enum class MessageOwner { MainWindow, WaitBox };

// What the connection dialog chosen by SEL needs to run.
struct ConnectionRequest {
    int SEL = 0;
    int AUTO = 0;
    std::string TitleText;       // header of the dialog
    std::string ConfigFilePath;  // PORTSEL / IPADDR are read from and written to it
};

struct ConnectionResult {
    int LinkKind = 0;       // 0 serial, anything else LAN
    int ComPortNumber = 1;  // 1 ... 9, 10 = automatic scan
    std::string DeviceAddress;
    // A serial device path chosen instead of COMn (the command line's --port); never scanned.
    std::string PortPath;
};

// The four texts bound to the window's controls, handed over as one snapshot.
struct BoundTexts {
    std::string CurrentVersionText;
    std::string NewVersionText;
    std::string StatusText;
    std::string NoticeText;
};

class DialogHost {
public:
    virtual ~DialogHost() = default;

    virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                             MessageOwner owner) = 0;
    // nullopt when the dialog was not confirmed ("終了" or closed).
    virtual std::optional<ConnectionResult> RunConnectionDialog(const ConnectionRequest& request) = 0;

    virtual void ShowWaitBox() = 0;
    virtual void DestroyWaitBox() = 0;

    virtual void EnableStartButton(bool enable) = 0;
    virtual void EnableCloseButton(bool enable) = 0;
    virtual void EnableCloseCommand(bool enable) = 0;

    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressPos(int position) = 0;

    // One more text for the debug log (DEBUG 99 only); the host keeps the newest lines in view.
    virtual void AppendDebugLog(const std::string& text) = 0;
    // The refresh of the bound texts (the window's WM_REFRESH_FIELDS).
    virtual void RefreshFields(const BoundTexts& texts) = 0;

    virtual void SetWindowTitle(const std::string& title) = 0;
    // true: full height with the debug area; false: only the part above it.
    virtual void SetFullHeight(bool full) = 0;

    // Queue the start command (AUTO 1) or the close of the window; both act after the
    // current start-up call has returned.
    virtual void PostStart() = 0;
    virtual void PostClose() = 0;
};

}  // namespace verup

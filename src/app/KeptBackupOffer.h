#pragma once
// The window's offer to put back the settings an earlier run kept for the device the start-up
// reached. The decision is made here, without a widget: the window asks the question and
// passes the user's answer; a declined offer leaves the file and names it in the notice line.
#include <string>

namespace verup {

class CUpdateDlg;

class KeptBackupOffer {
public:
    // After a successful start-up. A device in its boot monitor, an unattended run (AUTO 1) or
    // a file that needs another link get no question: the notice line names the file.
    explicit KeptBackupOffer(CUpdateDlg& dlg);

    bool HasQuestion() const { return !offered_.empty(); }
    // CP932, with the file's time and path.
    const std::string& Question() const { return question_; }
    const std::string& OfferedFile() const { return offered_; }

    // true: the restore runs on the worker (CUpdateDlg::OnRestoreKept); false: nothing is sent
    // and the file stays for a later run or `verup settings restore`.
    void Answer(bool restore);

private:
    void NameInNotice();

    CUpdateDlg& dlg_;
    std::string offered_;
    std::string question_;
    std::string newest_;
};

}  // namespace verup

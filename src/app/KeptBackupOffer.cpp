#include "app/KeptBackupOffer.h"

#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "platform/Cp932.h"

namespace verup {

KeptBackupOffer::KeptBackupOffer(CUpdateDlg& dlg) : dlg_(dlg)
{
    if (dlg_.KeptBackups().empty())
        return;
    newest_ = dlg_.KeptBackups().front().Path;
    const bool device_running = dlg_.LinkKind() != 0 || dlg_.Identity().ProbeResult == PROBE_FIRMWARE;
    if (dlg_.StartupDone() == 1 && device_running && dlg_.cfg().AUTO != 1) {
        // The newest file this link can write back: area files go over the LAN only.
        for (const KeptBackup& kept : dlg_.KeptBackups()) {
            if (kept.Note.Kind == "area31" && dlg_.LinkKind() == 0)
                continue;
            offered_ = kept.Path;
            question_ = std::string(kQuestionRestoreKept) + Utf8ToCp932(kept.Note.Time + "  " + kept.Path);
            return;
        }
    }
    NameInNotice();
}

void KeptBackupOffer::Answer(bool restore)
{
    if (offered_.empty())
        return;
    if (restore)
        dlg_.OnRestoreKept(offered_);
    else
        NameInNotice();
}

void KeptBackupOffer::NameInNotice()
{
    dlg_.SetNoticeText(std::string(kNoticeKeptBackup) + Utf8ToCp932(newest_));
    dlg_.PostRefresh();
}

}  // namespace verup

#pragma once
// The document `verup --json` writes when the update ends: the tool, the package, the device,
// the link, the steps shown, the images written, the settings and how the run ended.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ConsoleHost.h"
#include "MessageTap.h"
#include "app/CUpdateDlg.h"

namespace verup::cli {

class UpdateReport {
public:
    // `folder`: the package folder, for a run that ends before it reads the package.
    UpdateReport(std::string folder, bool dry_run);
    // Reads what the dialog and the console learnt; once the run has ended (after the teardown).
    void Take(const CUpdateDlg& dlg, const ConsoleHost& host);
    // The whole document; every key is present, null where it does not apply.
    nlohmann::json Document(int exit_code, const std::vector<TappedMessage>& messages) const;

private:
    bool dry_run_;
    nlohmann::json doc_;
};

// The stable word of a run that ended with `exit_code`.
const char* UpdateOutcomeWord(int exit_code, bool dry_run);

}  // namespace verup::cli

// Settings save and restore: placeholders until the serial issue lands them.
#include "app/CUpdateDlg.h"

namespace verup {

int CUpdateDlg::SaveDeviceSettings(const std::string&) { return 0; }
int CUpdateDlg::RestoreDeviceSettings(const std::string&) { return 0; }
int CUpdateDlg::ConvertSavedSettings(const std::string&) { return 0; }

}  // namespace verup

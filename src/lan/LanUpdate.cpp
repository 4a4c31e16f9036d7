// LAN road: placeholders until the LAN issue lands them.
#include "app/CUpdateDlg.h"

namespace verup {

int CUpdateDlg::ConnectDevice(const std::string&, int) { return 0; }
int CUpdateDlg::DownloadBlock(const uint8_t*, size_t, int) { return -2; }
int CUpdateDlg::DownloadArea(const uint8_t*, size_t, int) { return -2; }
int CUpdateDlg::UploadArea(uint8_t*, size_t, int) { return -2; }
void CUpdateDlg::LanUpdate() {}

}  // namespace verup

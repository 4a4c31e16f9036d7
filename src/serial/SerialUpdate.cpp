// Serial road: placeholders until the serial issue lands them.
#include "app/CUpdateDlg.h"

namespace verup {

int CUpdateDlg::ProbeDevice(int) { return PROBE_NONE; }
int CUpdateDlg::QueryVersion(std::string&) { return -1; }
int CUpdateDlg::QueryDeviceInfo() { return -1; }
int CUpdateDlg::WaitForDevice(int, int) { return -1; }
int CUpdateDlg::FixRamChecksum() { return -1; }
int CUpdateDlg::CheckFlashChecksum() { return -1; }
int CUpdateDlg::DownloadBootImage(int) { return -9; }
int CUpdateDlg::DownloadFpgaImage(int) { return -9; }
int CUpdateDlg::DownloadProgram() { return -9; }
void CUpdateDlg::SerialUpdate() {}

}  // namespace verup

#pragma once
// Texts of the LAN road: the debug-log lines of the login and the update, and the status
// lines of the update's end (CP932; the readable form is in the comment above each).

namespace verup::lantext {

// ---- Login and connection ----
inline constexpr char kConnectOk[] = "connect ok\r\n";
inline constexpr char kIacData[] = "IAC data\r\n";
inline constexpr char kLocalPasswordError[] = "Local Password Check ERROR\r\n";
inline constexpr char kProductCheckError[] = "Check ERROR\r\n";
inline constexpr char kLocalPasswordOk[] = "Local Password Check OK\r\n";
inline constexpr char kAdminInputError[] = "administrator Password Input ERROR\r\n";
inline constexpr char kAdminCheckError[] = "administrator Password Check ERROR\r\n";
inline constexpr char kAdminCheckOk[] = "administrator Password Check OK\r\n";
inline constexpr char kTelnetOpen[] = "telnet open\r\n";

// ---- Update sequence ----
inline constexpr char kUpload31Ok[] = "upload 31 OK\r\n";
inline constexpr char kProgramStage[] = "<---FROM\r\n";
inline constexpr char kEraseLogFormat[] = "fromer %d\r\n";
inline constexpr char kDownloadLogFormat[] = "download %d\r\n";
inline constexpr char kWriteOkLogFormat[] = "fromwr %d OK\r\n";
inline constexpr char kRestartLog[] = "restart reboot\r\n";
inline constexpr char kOpenErrCountFormat[] = "open err_cnt=%d\r\n";
inline constexpr char kFpgaStage[] = "<---FPGA\r\n";
inline constexpr char kWriteLogFormat[] = "fromwr %d\r\n";
inline constexpr char kMonitorStage[] = "<---FMON\r\n";
inline constexpr char kDownload0Log[] = "download 0\r\n";
inline constexpr char kWrite0OkLog[] = "fromwr 0 OK\r\n";
inline constexpr char kVersionCheckError[] = "Version Check ERROR\r\n";
inline constexpr char kVersionCheckOk[] = "Version Check OK\r\n";
inline constexpr char kDownload31Ok[] = "download 31 OK\r\n";
inline constexpr char kWrite31Ok[] = "fromwr 31 OK\r\n";
inline constexpr char kVersionUpOk[] = "Version Up OK\r\n";
inline constexpr char kVersionUpError[] = "Version Up Error\r\n";

}  // namespace verup::lantext

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

// ---- Status lines ----
// "バージョンアップ作業中"
inline constexpr char kStatusWorking[] = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x8d\xec\x8b\xc6\x92\x86";
// "バージョンアップ完了"
inline constexpr char kStatusDone[] = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x8a\xae\x97\xb9";
// "バージョンアップ異常"
inline constexpr char kStatusFailed[] = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x88\xd9\x8f\xed";
// "バージョンアップ完了 (設定の復元に失敗)"
inline constexpr char kStatusDoneSettingsLost[] = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x8a\xae\x97\xb9\x20\x28\x90\xdd\x92\xe8\x82\xcc\x95\x9c\x8c\xb3\x82\xc9\x8e\xb8\x94\x73\x29";

}  // namespace verup::lantext

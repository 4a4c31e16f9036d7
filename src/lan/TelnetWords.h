#pragma once
// The telnet road's protocol words, each in one place: the reply words the recognizer waits
// for, the option negotiation, the login lines and the device commands of the LAN update.
#include <cstdint>
#include <string_view>

namespace verup::telnet {

// ---- Reply words (searched as FindText does: before the first zero, letters in any case) ----
inline constexpr std::string_view kCommandPrompt = "\r\n>";
inline constexpr std::string_view kPasswordLine = "\r\nPassword:";
inline constexpr std::string_view kAdminPrompt = "\r\n#";
inline constexpr std::string_view kDownloadPrompt = "\r\nDL.";
inline constexpr std::string_view kDownloadOk = "\r\nDL.OK";
inline constexpr std::string_view kDownloadError = "\r\nDL.ERROR";
inline constexpr std::string_view kWriteOk = "\r\nWrite OK";
inline constexpr std::string_view kEraseOk = "\r\nErase OK";
// "エラー": the device's error text, reported before its prompt.
inline constexpr std::string_view kErrorWord = "\x83\x47\x83\x89\x81\x5b";
// The end of an upload's data, searched in the raw bytes.
inline constexpr std::string_view kUploadEnd = "UL.OK";
// The local password prompt that starts the login (exact: capital P, colon, blank).
inline constexpr std::string_view kPasswordPrompt = "Password: ";

// ---- Option negotiation ----
inline constexpr std::uint8_t IAC = 255;
inline constexpr std::uint8_t WILL = 251;
inline constexpr std::uint8_t WONT = 252;
inline constexpr std::uint8_t DO = 253;
inline constexpr std::uint8_t DONT = 254;
inline constexpr std::uint8_t OPT_ECHO = 1;
inline constexpr std::uint8_t OPT_SUPPRESS_GO_AHEAD = 3;
inline constexpr std::uint8_t OPT_STATUS = 5;
inline constexpr std::uint8_t OPT_NAWS = 31;
inline constexpr std::uint8_t OPT_REMOTE_FLOW_CONTROL = 33;
inline constexpr std::uint8_t OPT_LINEMODE = 34;

// ---- Login ----
inline constexpr char kTelnetPassword[] = "q4x8m2r7k1w9t3v6b0n5c8z2h7jpdkwa";
inline constexpr char kPasswordLineFormat[] = "%s\r";
inline constexpr char kAdministratorLine[] = "administrator\r";
// Greeting words and how much of the text after each is kept.
inline constexpr std::string_view kFirmwareWord = "Farmware ";
inline constexpr std::string_view kTelnetServerWord = "Telnet Server ";
inline constexpr std::size_t kTelnetServerTextLength = 13;
// The greeting is examined in its first 250 bytes.
inline constexpr std::size_t kGreetingBytes = 250;
inline constexpr int kLoginTimeoutMs = 5000;  ///< ms, every login exchange

// ---- LAN update commands ----
inline constexpr char kEraseFormat[] = "fromer %d\r";
inline constexpr char kWriteFormat[] = "fromwr %d\r";
inline constexpr char kRestartCommand[] = "restart reboot\r";
inline constexpr char kModeFormat[] = "mode %s\r";
inline constexpr char kModeCrc[] = "crc";
inline constexpr char kDownloadFormat[] = "download %d\r";
inline constexpr char kUploadFormat[] = "upload %d\r";
// In the reply of "upload %d\r" the area's bytes begin this far after the echoed command.
inline constexpr std::size_t kUploadDataSkip = 6;
// The FCS-16 that follows a block or an area in CRC mode.
inline constexpr std::size_t kFcsBytes = 2;

// ---- LAN update areas and times ----
inline constexpr int kEraseTimeoutMs = 10000;  ///< ms for "fromer %d\r"
inline constexpr int kWriteTimeoutMs = 10000;  ///< ms for "fromwr %d\r"
// The block-wise restore ends by restarting the device; this much of LANBOOT has passed by
// the time it returns.
inline constexpr std::int64_t kRestoreRestartHeadStartMs = 5000;
// ConnectDevice modes: no echo option, echo offered as 1, echo offered as 32.
inline constexpr int kConnectNoEcho = 0;
inline constexpr int kConnectEcho11 = 1;
inline constexpr int kConnectEcho32 = 2;

}  // namespace verup::telnet

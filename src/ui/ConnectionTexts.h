#pragma once
// Texts and fixed values shared by the three connection dialogs (CP932 bytes).
#include <array>
#include <string_view>

namespace verup {

// "接続ポート設定": caption of the dialogs and of the address message.
inline constexpr std::string_view kConnectionCaption = "\x90\xda\x91\xb1\x83\x7c\x81\x5b\x83\x67\x90\xdd\x92\xe8";
// "IPアドレスに間違いがあります。"
inline constexpr std::string_view kAddressErrorText =
    "IP\x83\x41\x83\x68\x83\x8c\x83\x58\x82\xc9\x8a\xd4\x88\xe1\x82\xa2\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42";

// The COM combo boxes: index i stands for COM number i + 1; the last, "自動", for the scan.
inline constexpr int COM_ENTRY_COUNT = 10;
inline constexpr int COM_AUTOMATIC = 10;
inline constexpr std::array<std::string_view, COM_ENTRY_COUNT> kComEntries = {
    "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "\x8e\xa9\x93\xae"};

// verup.dat keys the dialogs read and write.
inline constexpr std::string_view kPortSelSection = "PORTSEL";
inline constexpr std::string_view kPortKey = "PORT";
inline constexpr std::string_view kComKey = "COM";
inline constexpr std::string_view kIpAddrSection = "IPADDR";
inline constexpr std::string_view kFieldKey = "FIELD";

// FIELD is read into a 20-byte buffer (19 characters); the address box holds 20.
inline constexpr std::size_t kFieldReadBuffer = 20;
inline constexpr std::size_t kAddressMaxChars = 20;
// The header shows at most 64 characters of the title.
inline constexpr std::size_t kHeaderMaxChars = 64;

}  // namespace verup

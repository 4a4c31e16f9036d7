// The "download" and "upload" commands of the device's firmware, with the FCS-16 framing in
// CRC mode.
#include <algorithm>
#include <vector>

#include "app/CUpdateDlg.h"
#include "lan/Fcs16.h"
#include "lan/TelnetLink.h"
#include "lan/TelnetWords.h"
#include "protocol/ReplyKind.h"
#include "protocol/TextFormat.h"

namespace verup {
namespace {

constexpr int kModeTimeoutMs = 10000;          ///< ms for "mode crc\r"
constexpr int kDownloadPromptTimeoutMs = 10000;  ///< ms for "download %d\r" to reach "\r\nDL."
constexpr int kBlockTimeoutMs = 10000;         ///< ms for an image block to be taken
constexpr int kAreaTimeoutMs = 30000;          ///< ms for the settings area down or up
// The transfer copy has room for the two FCS bytes and a little more.
constexpr std::size_t kCopySpareBytes = 10;
constexpr std::size_t kFcsBytes = 2;

std::string ModeCrcCommand()
{
    return FormatText(telnet::kModeFormat, telnet::kModeCrc);
}

// The caller's block, copied with room to spare and, in CRC mode, followed by its FCS.
std::string TransferCopy(const uint8_t* data, std::size_t length, bool crc)
{
    std::vector<uint8_t> copy(length + kCopySpareBytes);
    std::copy_n(data, length, copy.begin());
    std::size_t send_length = length;
    if (crc) {
        Fcs16Append(copy.data(), length);
        send_length += kFcsBytes;
    }
    return std::string(reinterpret_cast<const char*>(copy.data()), send_length);
}

}  // namespace

int CUpdateDlg::DownloadBlock(const uint8_t* data, size_t length, int area)
{
    const bool crc = cfg.CRC == 1;
    const std::string block = TransferCopy(data, length, crc);
    // The device forgets the mode between downloads.
    if (crc && Channel.LanCommand(ModeCrcCommand(), kModeTimeoutMs, TRK_SHELL_PROMPT) <= 0)
        return -1;
    TelnetLink& link = LanLink();
    const std::string command = FormatText(telnet::kDownloadFormat, area);
    for (int attempt = 0; attempt < Channel.AttemptCount; ++attempt) {
        if (Channel.LanCommand(command, kDownloadPromptTimeoutMs, TRK_DL_PROMPT) != EXCHANGE_OK)
            continue;
        if (link.Exchange(block, Channel.ReplyBuffer, kBlockTimeoutMs, TRK_DL_RESULT) > 0)
            return 1;
    }
    return -2;
}

int CUpdateDlg::DownloadArea(const uint8_t* data, size_t length, int area)
{
    const bool crc = cfg.CRC == 1;
    const std::string block = TransferCopy(data, length, crc);
    if (crc && Channel.Transact(ModeCrcCommand(), kModeTimeoutMs, RK_SHELL_PROMPT) != 1)
        return -1;
    const std::string command = FormatText(telnet::kDownloadFormat, area);
    for (int attempt = 0; attempt < Channel.AttemptCount; ++attempt) {
        if (Channel.Transact(command, kDownloadPromptTimeoutMs, RK_DL_PROMPT) == 1 &&
            Channel.Transact(block, kAreaTimeoutMs, RK_DOWNLOAD_DATA) == 1)
            return 1;
    }
    return -2;
}

// `buffer` must hold `length` bytes, plus the two FCS bytes in CRC mode.
// Example reply to "upload 31\r" (the area's bytes start 6 bytes after the echoed command):
// "upload 31\r\r\nUL\r\n" <65536 data bytes> <2 FCS bytes> "\r\nUL.OK\r\n>"
// The echo is the anchor, not the start of the buffer: what arrives before it (the blank of
// the previous prompt, in a later TCP segment than the prompt) is not the area's. "UL.OK" ends
// the reply only after the area's length, so an area holding those letters is read whole.
int CUpdateDlg::UploadArea(uint8_t* buffer, size_t length, int area)
{
    const bool crc = cfg.CRC == 1;
    const std::size_t expected = length + (crc ? kFcsBytes : 0);
    if (crc)
        (void)Channel.Transact(ModeCrcCommand(), kModeTimeoutMs, RK_SHELL_PROMPT);
    const std::string command = FormatText(telnet::kUploadFormat, area);
    if (LinkKind != 0)
        LanLink().SetUploadFraming(command, telnet::kUploadDataSkip, expected);
    int result = -2;
    for (int attempt = 0; attempt < Channel.AttemptCount; ++attempt) {
        if (Channel.Transact(command, kAreaTimeoutMs, RK_UPLOAD_DATA) != 1)
            continue;
        const std::string& reply = Channel.ReplyBuffer;
        const std::size_t echo = reply.find(command);
        const std::size_t offset = echo == std::string::npos ? 0 : echo + command.size() + telnet::kUploadDataSkip;
        if (echo == std::string::npos || reply.size() < offset + expected ||
            reply.find(telnet::kUploadEnd, offset + expected) == std::string::npos) {
            // No echo, or too short to hold the area and its end: this attempt delivered no data.
            Report(-1, "upload " + std::to_string(area) + ": reply of " + std::to_string(reply.size()) +
                           " bytes without the echoed command, the area's " + std::to_string(expected) +
                           " bytes and \"UL.OK\" after them\r\n");
            result = -2;
            continue;
        }
        std::copy_n(reinterpret_cast<const uint8_t*>(reply.data()) + offset, expected, buffer);
        result = 1;
        if (!crc || Fcs16Check(buffer, expected) == 1)
            break;
        result = -1;
    }
    if (LinkKind != 0)
        LanLink().SetUploadFraming(std::string(), 0, 0);
    return result;
}

}  // namespace verup

// The "download" and "upload" commands of the device's firmware, with the FCS-16 framing in
// CRC mode.
#include <algorithm>
#include <vector>

#include "lan/LanRoad.h"
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
using telnet::kFcsBytes;

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

int LanRoad::DownloadBlock(const uint8_t* data, size_t length, int area)
{
    const bool crc = ctx_.cfg.CRC == 1;
    const std::string block = TransferCopy(data, length, crc);
    // The device forgets the mode between downloads.
    if (crc && channel_.LanCommand(ModeCrcCommand(), kModeTimeoutMs, TRK_SHELL_PROMPT) <= 0)
        return -1;
    const std::string command = FormatText(telnet::kDownloadFormat, area);
    for (int attempt = 0; attempt < channel_.AttemptCount; ++attempt) {
        if (channel_.LanCommand(command, kDownloadPromptTimeoutMs, TRK_DL_PROMPT) != EXCHANGE_OK)
            continue;
        if (link_.Exchange(block, channel_.ReplyBuffer, kBlockTimeoutMs, TRK_DL_RESULT) > 0)
            return 1;
    }
    return -2;
}

int LanRoad::DownloadArea(const uint8_t* data, size_t length, int area)
{
    const bool crc = ctx_.cfg.CRC == 1;
    const std::string block = TransferCopy(data, length, crc);
    if (crc && channel_.Transact(ModeCrcCommand(), kModeTimeoutMs, RK_SHELL_PROMPT) != 1)
        return -1;
    const std::string command = FormatText(telnet::kDownloadFormat, area);
    for (int attempt = 0; attempt < channel_.AttemptCount; ++attempt) {
        if (channel_.Transact(command, kDownloadPromptTimeoutMs, RK_DL_PROMPT) == 1 &&
            channel_.Transact(block, kAreaTimeoutMs, RK_DOWNLOAD_DATA) == 1)
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
int LanRoad::UploadArea(uint8_t* buffer, size_t length, int area)
{
    const bool crc = ctx_.cfg.CRC == 1;
    const std::size_t expected = length + (crc ? kFcsBytes : 0);
    if (crc)
        (void)channel_.Transact(ModeCrcCommand(), kModeTimeoutMs, RK_SHELL_PROMPT);
    const std::string command = FormatText(telnet::kUploadFormat, area);
    link_.SetUploadFraming(command, telnet::kUploadDataSkip, expected);
    int result = -2;
    for (int attempt = 0; attempt < channel_.AttemptCount; ++attempt) {
        if (channel_.Transact(command, kAreaTimeoutMs, RK_UPLOAD_DATA) != 1)
            continue;
        const std::string& reply = channel_.ReplyBuffer;
        const std::size_t echo = reply.find(command);
        const std::size_t offset = echo == std::string::npos ? 0 : echo + command.size() + telnet::kUploadDataSkip;
        if (echo == std::string::npos || reply.size() < offset + expected ||
            reply.find(telnet::kUploadEnd, offset + expected) == std::string::npos) {
            // No echo, or too short to hold the area and its end: this attempt delivered no data.
            ctx_.Log("upload " + std::to_string(area) + ": reply of " + std::to_string(reply.size()) +
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
    link_.SetUploadFraming(std::string(), 0, 0);
    return result;
}

}  // namespace verup

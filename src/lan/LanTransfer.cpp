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
// Example reply to "upload 31\r" (the area's bytes start at offset 10 + 6):
// "upload 31\r\n\r\nUL.\r\n" <65536 data bytes> <2 FCS bytes> "\r\nUL.OK\r\n>"
int CUpdateDlg::UploadArea(uint8_t* buffer, size_t length, int area)
{
    const bool crc = cfg.CRC == 1;
    const std::size_t expected = length + (crc ? kFcsBytes : 0);
    if (crc)
        (void)Channel.Transact(ModeCrcCommand(), kModeTimeoutMs, RK_SHELL_PROMPT);
    const std::string command = FormatText(telnet::kUploadFormat, area);
    const std::size_t offset = command.size() + telnet::kUploadDataSkip;
    int result = -2;
    for (int attempt = 0; attempt < Channel.AttemptCount; ++attempt) {
        if (Channel.Transact(command, kAreaTimeoutMs, RK_UPLOAD_DATA) != 1)
            continue;
        const std::string& reply = Channel.ReplyBuffer;
        if (reply.size() < offset + expected) {
            // Too short to hold the area: this attempt delivered no data.
            Report(-1, "upload " + std::to_string(area) + ": reply of " + std::to_string(reply.size()) +
                           " bytes, " + std::to_string(offset + expected) + " needed\r\n");
            result = -2;
            continue;
        }
        std::copy_n(reinterpret_cast<const uint8_t*>(reply.data()) + offset, expected, buffer);
        result = 1;
        if (!crc || Fcs16Check(buffer, expected) == 1)
            return 1;
        result = -1;
    }
    return result;
}

}  // namespace verup

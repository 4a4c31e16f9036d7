#pragma once
// The reply words a command waits for: serial numbering (also the command channel's),
// the two bulk-data kinds of the command channel, and the telnet numbering.

namespace verup {

enum ReplyKind : int {
    RK_OK = 0,             // "\r\nOK\r\n"
    RK_WRITE_OK = 1,       // " Write OK "
    RK_READY = 2,          // "READY:\r\n"
    RK_FROM_PROMPT = 3,    // "F-ROM>"
    RK_ERASE_OK = 4,       // " Erase OK "
    RK_SHELL_PROMPT = 5,   // "\r\n# "
    RK_WRITE_OK_LINE = 6,  // "\r\nWrite OK"
    RK_F0_PROMPT = 7,      // "F0>"
    RK_MM_OK = 8,          // "MM.OK"
    RK_MP_OK = 9,          // "MP.OK"
    RK_UPLOAD_BULK = 10,   // "UL.OK", found by the reader in bulk mode
    RK_DL_PROMPT = 11,     // "\r\nDL."
    RK_DL_RESULT = 12,     // "\r\nDL.OK" / failure "\r\nDL.ERROR"
    RK_ERASE_OK_LINE = 13, // "\r\nErase OK"
    RK_UPLOAD_DATA = 98,   // command channel: upload data, one attempt
    RK_DOWNLOAD_DATA = 99, // command channel: download data, one attempt
};

// Telnet numbering (the telnet recognizer's own kinds).
enum TelnetReplyKind : int {
    TRK_COMMAND_PROMPT = 0,  // "\r\n>"
    TRK_PASSWORD = 1,        // "\r\nPassword:"
    TRK_ADMIN_PROMPT = 2,    // "\r\n#"
    TRK_SHELL_PROMPT = 3,    // "\r\n>" or else "\r\n#"
    TRK_DL_PROMPT = 4,       // "\r\nDL."
    TRK_DL_RESULT = 5,       // "\r\nDL.OK" / failure "\r\nDL.ERROR"
    TRK_UPLOAD_BULK = 6,     // bulk read until "UL.OK"
    TRK_WRITE_OK = 7,        // "\r\nWrite OK"
    TRK_ERASE_OK = 8,        // "\r\nErase OK"
};

// Results of a link's Exchange.
inline constexpr int EXCHANGE_OK = 1;
inline constexpr int EXCHANGE_TIMEOUT = 0;
inline constexpr int EXCHANGE_ERROR_WORD = -2;
inline constexpr int EXCHANGE_NOT_SENT = -1;

// ExchangeState values.
inline constexpr int STATE_RECOGNISED = 0;
inline constexpr int STATE_WAITING = 1;
inline constexpr int STATE_TIMED_OUT = 9;
inline constexpr int STATE_ERROR_WORD = 99;

}  // namespace verup

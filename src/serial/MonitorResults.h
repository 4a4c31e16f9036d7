#pragma once
// What the boot monitor's steps end with, numbered as the device's transfer state and the
// checksum steps have always been numbered (the logs and the tests speak of 99 and 999).

namespace verup {

// A long transfer: the transfer state at its end.
enum class TransferResult : int {
    NotConfirmed = 0,       // "DL"/"DP" unanswered on every try, or no confirmation
    Confirmed = 99,         // the monitor said "Down Load OK"
    NotWritten = -9,        // a line not written, the monitor's error word, or no image
    WatchdogExpired = 999,  // the watchdog ended the wait for the confirmation
};

// The wait for the device after a restart.
enum class DeviceWait : int {
    Answered = 0,
    NotAnswered = -1,  // no answer on any try (or no tries allowed)
};

// The monitor's checksum steps.
enum class ChecksumResult : int {
    Zero = 1,     // the sum is (or was made) 0000
    Failed = -1,  // no answer, no values, or a sum other than 0000
};

}  // namespace verup

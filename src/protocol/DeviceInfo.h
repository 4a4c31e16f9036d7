#pragma once
// The firmware shell's "show version", read into the device's identity.
#include "protocol/CommandChannel.h"
#include "protocol/DeviceIdentity.h"

namespace verup {

// Sends "show version" (the shell must be open) and keeps the versions and MAC addresses it
// lists; a label the reply lacks leaves its text empty. 0, or -1 when the shell did not answer.
int QueryDeviceInfo(CommandChannel& channel, DeviceIdentity& device);

}  // namespace verup

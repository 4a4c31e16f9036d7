#include "platform/SerialPortList.h"

namespace verup {

const char* PortAccessName(PortAccess access)
{
    switch (access) {
    case PortAccess::Usable: return "usable";
    case PortAccess::Busy: return "busy";
    case PortAccess::NoPermission: return "no-permission";
    case PortAccess::Missing: return "missing";
    case PortAccess::NotSerial: return "not-serial";
    case PortAccess::Failed: return "failed";
    }
    return "failed";
}

}  // namespace verup

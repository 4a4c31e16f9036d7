// LAN start-up (step 12): placeholder until the LAN road lands.
#include "app/CUpdateDlg.h"

namespace verup {

bool CUpdateDlg::OpenLanAndIdentify()
{
    return FailStartup("LAN connection is not available in this build");
}

}  // namespace verup

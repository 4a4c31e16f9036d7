// Serial start-up (step 12): placeholder until the serial road lands.
#include "app/CUpdateDlg.h"

namespace verup {

bool CUpdateDlg::OpenSerialAndIdentify()
{
    return FailStartup("serial connection is not available in this build");
}

}  // namespace verup

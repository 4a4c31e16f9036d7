#pragma once
// The start-up environment of a dialog under test: package, state (backups and lock) in one folder.
#include <string>

#include "app/CUpdateDlg.h"
#include "platform/Clock.h"

namespace verup::test {

inline StartupEnvironment EnvironmentIn(const std::string& folder, const Clock& clock)
{
    StartupEnvironment env;
    env.CurrentDirectory = folder;
    env.StateDirectory = folder;
    env.clock = &clock;
    return env;
}

}  // namespace verup::test

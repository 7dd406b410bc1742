#pragma once

#include "engine/engine_services.hpp"
#include "engine/installer_window.hpp"

namespace hotfix {

// One whole install: the body of the install button's click handler. Succeeded when the hot fix was
// applied.
RunResult RunInstall(InstallerWindow& window, const EngineServices& services);

} // namespace hotfix

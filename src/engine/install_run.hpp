#pragma once

#include "engine/engine_services.hpp"
#include "engine/installer_window.hpp"

namespace hotfix {

// One whole install: the body of the install button's click handler. Returns whether the hot fix was applied.
bool RunInstall(InstallerWindow& window, const EngineServices& services);

} // namespace hotfix

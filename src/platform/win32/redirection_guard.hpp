#pragma once

#include <windows.h>

namespace hotfix::win32 {

// SetProcessMitigationPolicy, which Windows has from 8 on.
using MitigationPolicySetter = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY policy, PVOID buffer, SIZE_T length);

// The system's SetProcessMitigationPolicy; nothing where it has none.
MitigationPolicySetter systemMitigationPolicySetter();

// Asks, through set, that this process follow no junction or link an ordinary user made (Redirection
// Guard): a folder below a root that such a user can write to may hold one by the time the installer gets
// there. True where the system agreed; a system that does not know the policy (before Windows 11 22H2,
// Wine) just goes on without, as does one without set.
bool enforceRedirectionTrust(MitigationPolicySetter set);

} // namespace hotfix::win32

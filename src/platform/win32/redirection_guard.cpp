#include "platform/win32/redirection_guard.hpp"

namespace hotfix::win32 {

static_assert(ProcessRedirectionTrustPolicy == 16, "the policy's number in Windows' own headers");

MitigationPolicySetter systemMitigationPolicySetter() {
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return nullptr;
    }
    // Looked up, not linked: the program still starts on Windows 7.
    return reinterpret_cast<MitigationPolicySetter>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetProcessMitigationPolicy")));
}

bool enforceRedirectionTrust(MitigationPolicySetter set) {
    if (set == nullptr) {
        return false;
    }
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy{};
    policy.EnforceRedirectionTrust = 1;
    return set(ProcessRedirectionTrustPolicy, &policy, sizeof policy) != 0;
}

} // namespace hotfix::win32

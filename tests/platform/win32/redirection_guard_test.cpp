#include "platform/win32/redirection_guard.hpp"

#include <windows.h>

#include <gtest/gtest.h>

namespace hotfix::win32 {
namespace {

// Stands in for SetProcessMitigationPolicy, which takes no context: what it was asked is kept here.
struct AskedPolicy {
    int calls = 0;
    PROCESS_MITIGATION_POLICY policy{};
    DWORD flags = 0;
    SIZE_T length = 0;
};
AskedPolicy asked;

BOOL WINAPI recordPolicy(PROCESS_MITIGATION_POLICY policy, PVOID buffer, SIZE_T length) {
    ++asked.calls;
    asked.policy = policy;
    asked.length = length;
    asked.flags = static_cast<const PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY*>(buffer)->Flags;
    return TRUE;
}

BOOL WINAPI refusePolicy(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T) {
    ++asked.calls;
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

TEST(RedirectionGuard, isAskedToEnforceNotMerelyAuditAndItsAbsenceIsNoObstacle) {
    asked = {};
    EXPECT_TRUE(enforceRedirectionTrust(recordPolicy));
    EXPECT_EQ(asked.calls, 1);
    EXPECT_EQ(static_cast<int>(asked.policy), 16);
    EXPECT_EQ(asked.flags, 1u);
    EXPECT_EQ(asked.length, sizeof(DWORD));

    EXPECT_FALSE(enforceRedirectionTrust(refusePolicy));
    EXPECT_FALSE(enforceRedirectionTrust(nullptr));
    EXPECT_EQ(asked.calls, 2);
}

} // namespace
} // namespace hotfix::win32

#include "platform/win32/win32_private_folder.hpp"

#include "platform/win32/win32_io.hpp"

#include <aclapi.h>
#include <array>
#include <sddl.h>
#include <vector>

namespace hotfix::win32 {

namespace {

// The installer's own folders: the system and the administrators may do anything, the users may read, the
// owner (the account that made it: the administrators, the system, or a user running the installer
// without rights, whom no other account then trusts) may do anything; nothing is inherited from above, and
// everything made inside inherits this.
constexpr const wchar_t* kPrivateFolderSddl =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;BU)";

// What lets an account change a file or a folder, or what it holds.
constexpr DWORD kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                  FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                  GENERIC_ALL;

// The accounts whose rights over the installer's files are no danger: the system, the administrators,
// and the account running the installer.
class TrustedAccounts {
public:
    TrustedAccounts() {
        DWORD size = SECURITY_MAX_SID_SIZE;
        ::CreateWellKnownSid(WinLocalSystemSid, nullptr, m_system.data(), &size);
        size = SECURITY_MAX_SID_SIZE;
        ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, m_administrators.data(), &size);
        size = SECURITY_MAX_SID_SIZE;
        ::CreateWellKnownSid(WinCreatorOwnerRightsSid, nullptr, m_ownerRights.data(), &size);
        HANDLE token = nullptr;
        if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
            DWORD needed = 0;
            ::GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
            m_user.resize(needed);
            if (needed == 0 || !::GetTokenInformation(token, TokenUser, m_user.data(), needed, &needed)) {
                m_user.clear();
            }
            ::CloseHandle(token);
        }
    }

    bool trusts(PSID sid) const {
        return sid != nullptr && ::IsValidSid(sid) &&
               (::EqualSid(sid, system()) || ::EqualSid(sid, administrators()) ||
                (user() != nullptr && ::EqualSid(sid, user())));
    }
    // An access entry for the owner, whoever that is; the owner is checked on its own.
    bool isOwnerRights(PSID sid) const { return ::EqualSid(sid, const_cast<BYTE*>(m_ownerRights.data())); }

private:
    PSID system() const { return const_cast<BYTE*>(m_system.data()); }
    PSID administrators() const { return const_cast<BYTE*>(m_administrators.data()); }
    PSID user() const {
        return m_user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(m_user.data())->User.Sid;
    }

    std::array<BYTE, SECURITY_MAX_SID_SIZE> m_system{};
    std::array<BYTE, SECURITY_MAX_SID_SIZE> m_administrators{};
    std::array<BYTE, SECURITY_MAX_SID_SIZE> m_ownerRights{};
    std::vector<BYTE> m_user;
};

const TrustedAccounts& trustedAccounts() {
    static const TrustedAccounts accounts;
    return accounts;
}

} // namespace

FileSystem::Privacy privacyOfSecurity(void* descriptor) {
    using Privacy = FileSystem::Privacy;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        return Privacy::Unknown;
    }
    if (!present) {
        dacl = nullptr;
    }
    const TrustedAccounts& trusted = trustedAccounts();
    if (!trusted.trusts(owner)) {
        return Privacy::ForeignOwner;
    }
    // No access list at all lets everybody do everything.
    if (dacl == nullptr) {
        return Privacy::OthersMayWrite;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) {
            return Privacy::Unknown;
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        // Entries that only pass down to what is made inside are checked there.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        auto* sid = reinterpret_cast<PSID>(const_cast<DWORD*>(&allowed->SidStart));
        if ((allowed->Mask & kChangingRights) != 0 && !trusted.trusts(sid) && !trusted.isOwnerRights(sid)) {
            return Privacy::OthersMayWrite;
        }
    }
    return Privacy::Private;
}

FileSystem::Privacy privacyOf(HANDLE item) {
    if (isReparsePoint(item)) {
        return FileSystem::Privacy::Link;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(item, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return FileSystem::Privacy::Unknown;
    }
    const LocalMemory held(descriptor);
    return privacyOfSecurity(descriptor);
}

bool createPrivateFolder(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateFolderSddl, SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return false;
    }
    const LocalMemory held(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    return ::CreateDirectoryW(path.c_str(), &attributes) != 0;
}

FileSystem::Privacy protectFolder(HANDLE folder) {
    using Privacy = FileSystem::Privacy;
    const Privacy found = privacyOf(folder);
    if (found != Privacy::Private && found != Privacy::OthersMayWrite) {
        return found;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateFolderSddl, SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return Privacy::Unknown;
    }
    const LocalMemory held(descriptor);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
        ::SetSecurityInfo(folder, SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          dacl, nullptr) != ERROR_SUCCESS) {
        return Privacy::Unknown;
    }
    return privacyOf(folder);
}

} // namespace hotfix::win32

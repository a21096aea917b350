#include "admin_only.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <vector>

#include "platform.h"

namespace {

// SYSTEM and Administrators, full control; "P": nothing inherited from above.
constexpr wchar_t kFolderDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr wchar_t kFileDacl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
constexpr wchar_t kObjectDacl[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

struct Descriptors {
    SECURITY_ATTRIBUTES folder = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    SECURITY_ATTRIBUTES file = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    SECURITY_ATTRIBUTES object = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    Descriptors() {
        // Kept for the life of the process. Without them the calls get no attributes and
        // the explicit settings below fail: the backup still happens. The conversion came
        // with Windows 2000; the restore program also runs on Windows NT 4.0, without it.
        const auto convert = systemFunction<decltype(&ConvertStringSecurityDescriptorToSecurityDescriptorW)>(
            L"advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorW");
        if (!convert) return;
        convert(kFolderDacl, SDDL_REVISION_1, &folder.lpSecurityDescriptor, nullptr);
        convert(kFileDacl, SDDL_REVISION_1, &file.lpSecurityDescriptor, nullptr);
        convert(kObjectDacl, SDDL_REVISION_1, &object.lpSecurityDescriptor, nullptr);
    }
};

const Descriptors& descriptors() {
    static const Descriptors d;
    return d;
}

SECURITY_ATTRIBUTES* attributesOrNull(const SECURITY_ATTRIBUTES& sa) {
    return sa.lpSecurityDescriptor ? const_cast<SECURITY_ATTRIBUTES*>(&sa) : nullptr;
}

}  // namespace

SECURITY_ATTRIBUTES* adminOnlyFolderAttributes() { return attributesOrNull(descriptors().folder); }

SECURITY_ATTRIBUTES* adminOnlyFileAttributes() { return attributesOrNull(descriptors().file); }

SECURITY_ATTRIBUTES* adminOnlyObjectAttributes() { return attributesOrNull(descriptors().object); }

PSECURITY_DESCRIPTOR adminOnlyFolderSecurity() { return descriptors().folder.lpSecurityDescriptor; }

PSECURITY_DESCRIPTOR adminOnlyFileSecurity() { return descriptors().file.lpSecurityDescriptor; }

bool makeAdminOnly(HANDLE handle, bool folder) {
    const SECURITY_ATTRIBUTES& sa = folder ? descriptors().folder : descriptors().file;
    if (!sa.lpSecurityDescriptor) return false;
    // Set on the object itself: unlike SetSecurityInfo this does not rewrite the entries
    // of files the user keeps in a folder chosen for the backup.
    return SetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, sa.lpSecurityDescriptor) != FALSE;
}

SECURITY_ATTRIBUTES* adminOnlyFileAttributesFor(const std::wstring& path) {
    return isNetworkPath(path) ? nullptr : adminOnlyFileAttributes();
}

bool makeAdminOnly(const std::wstring& path) {
    std::wstring bare = path;
    while (bare.size() > 3 && bare.back() == L'\\') bare.pop_back();
    if (bare.empty() || isRootPath(bare) || isNetworkPath(bare)) return false;
    DWORD attributes = GetFileAttributesW(bare.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A folder is taken where it leads (the backup is written there); a file that is a
    // link is changed as a link.
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (folder ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    FileHandle handle(CreateFileW(bare.c_str(), WRITE_DAC | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  flags, nullptr));
    return handle && makeAdminOnly(handle.get(), folder);
}

FileHandle createAdminOnlyFile(const std::wstring& path, DWORD disposition) {
    if (isNetworkPath(path))
        return FileHandle(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | WRITE_DAC, 0, adminOnlyFileAttributes(), disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    // An existing file that CREATE_ALWAYS replaced keeps its own DACL otherwise.
    if (file) makeAdminOnly(file.get(), false);
    return file;
}

bool copyFileInto(const std::wstring& source, HANDLE target) {
    FileHandle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return false;
    static constexpr DWORD kCbChunk = 64 * 1024;
    std::string buffer(kCbChunk, '\0');
    for (;;) {
        DWORD read = 0, written = 0;
        if (!ReadFile(in.get(), &buffer[0], kCbChunk, &read, nullptr)) return false;
        if (read == 0) return true;
        if (!WriteFile(target, buffer.data(), read, &written, nullptr)) return false;
        if (written != read) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
    }
}

bool copyToAdminOnlyFile(const std::wstring& source, const std::wstring& target) {
    FileHandle out = createAdminOnlyFile(target, CREATE_NEW);
    if (!out) return false;
    if (copyFileInto(source, out.get())) return true;
    const DWORD error = GetLastError();
    out.reset();
    DeleteFileW(target.c_str());
    SetLastError(error);
    return false;
}

namespace {

// SYSTEM, Administrators, and the user and default owner of this process's token.
class TrustedSids {
public:
    TrustedSids() {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system_);
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &admins_);
        // The system's installer service, owner of the Windows folder and some drive roots.
        AllocateAndInitializeSid(&nt, 6, 80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u, 0, 0,
                                 &installer_);
        KernelHandle token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return;
        user_ = tokenSid(token.get(), TokenUser);
        owner_ = tokenSid(token.get(), TokenOwner);
    }
    bool contains(PSID sid) const {
        if (!sid || !IsValidSid(sid)) return false;
        for (PSID trusted : {system_, admins_, installer_}) {
            if (trusted && EqualSid(trusted, sid)) return true;
        }
        for (const std::vector<BYTE>* trusted : {&user_, &owner_}) {
            if (!trusted->empty() && EqualSid(const_cast<BYTE*>(trusted->data()), sid)) return true;
        }
        return false;
    }

private:
    // TOKEN_USER and TOKEN_OWNER both begin with the SID's pointer.
    static std::vector<BYTE> tokenSid(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
        BYTE buffer[256];
        DWORD cb = 0;
        if (!GetTokenInformation(token, kind, buffer, sizeof(buffer), &cb)) return {};
        PSID sid = *reinterpret_cast<PSID*>(buffer);
        if (!sid || !IsValidSid(sid)) return {};
        const BYTE* bytes = static_cast<const BYTE*>(sid);
        return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
    }
    PSID system_ = nullptr;
    PSID admins_ = nullptr;
    PSID installer_ = nullptr;
    std::vector<BYTE> user_, owner_;
};

const TrustedSids& trustedSids() {
    static const TrustedSids sids;
    return sids;
}

// Rights that change a file, a folder or what it holds.
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                        FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                        GENERIC_ALL;

bool grantsOnlyTrusted(PACL dacl, bool othersMayRead) {
    if (!dacl) return false;  // no DACL: everyone may do everything
    const ACCESS_MASK forbidden = othersMayRead ? kChangingRights : ~static_cast<ACCESS_MASK>(0);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return false;
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // passed on, not applied here
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        // Any other kind that may grant something (object, callback entries) is not one
        // these programs make: it fails the test rather than being read half.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if (!(allowed->Mask & forbidden)) continue;
        if (!trustedSids().contains(reinterpret_cast<PSID>(&allowed->SidStart))) return false;
    }
    return true;
}

}  // namespace

bool isTrustedOwner(PSID owner) { return trustedSids().contains(owner); }

namespace {
bool ownerIsTrusted(HANDLE handle, SE_OBJECT_TYPE type) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, type, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor) !=
        ERROR_SUCCESS)
        return false;
    const bool trusted = isTrustedOwner(owner);
    LocalFree(descriptor);
    return trusted;
}
}  // namespace

bool isMadeByAdmins(HANDLE object) { return ownerIsTrusted(object, SE_KERNEL_OBJECT); }

bool isOwnedByAdmins(HANDLE handle) { return ownerIsTrusted(handle, SE_FILE_OBJECT); }

std::vector<BYTE> ownerOf(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> bytes;
    if (owner && IsValidSid(owner)) {
        const BYTE* sid = static_cast<const BYTE*>(owner);
        bytes.assign(sid, sid + GetLengthSid(owner));
    }
    LocalFree(descriptor);
    return bytes;
}

bool isOwnedBy(HANDLE handle, const std::vector<BYTE>& owner) {
    if (owner.empty()) return false;
    const std::vector<BYTE> actual = ownerOf(handle);
    return !actual.empty() && EqualSid(const_cast<BYTE*>(actual.data()), const_cast<BYTE*>(owner.data()));
}

bool isAdminOnly(HANDLE handle, bool othersMayRead) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool adminOnly = isTrustedOwner(owner) && grantsOnlyTrusted(dacl, othersMayRead);
    LocalFree(descriptor);
    return adminOnly;
}

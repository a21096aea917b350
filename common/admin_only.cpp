#include "admin_only.h"

#include <sddl.h>
#include <shlwapi.h>

#include "platform.h"

namespace {

// SYSTEM and Administrators, full control; "P": nothing inherited from above.
constexpr wchar_t kFolderDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr wchar_t kFileDacl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

struct Descriptors {
    SECURITY_ATTRIBUTES folder = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    SECURITY_ATTRIBUTES file = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    Descriptors() {
        // Kept for the life of the process. Without them the calls get no attributes and
        // the explicit settings below fail: the backup still happens. The conversion came
        // with Windows 2000; the restore program also runs on Windows NT 4.0, without it.
        const auto convert = systemFunction<decltype(&ConvertStringSecurityDescriptorToSecurityDescriptorW)>(
            L"advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorW");
        if (!convert) return;
        convert(kFolderDacl, SDDL_REVISION_1, &folder.lpSecurityDescriptor, nullptr);
        convert(kFileDacl, SDDL_REVISION_1, &file.lpSecurityDescriptor, nullptr);
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

bool makeAdminOnly(HANDLE handle, bool folder) {
    const SECURITY_ATTRIBUTES& sa = folder ? descriptors().folder : descriptors().file;
    if (!sa.lpSecurityDescriptor) return false;
    // Set on the object itself: unlike SetSecurityInfo this does not rewrite the entries
    // of files the user keeps in a folder chosen for the backup.
    return SetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, sa.lpSecurityDescriptor) != FALSE;
}

bool makeAdminOnly(const std::wstring& path) {
    std::wstring bare = path;
    while (bare.size() > 3 && bare.back() == L'\\') bare.pop_back();
    if (bare.empty() || PathIsRootW(bare.c_str())) return false;
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
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | WRITE_DAC, 0, adminOnlyFileAttributes(), disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    // An existing file that CREATE_ALWAYS replaced keeps its own DACL otherwise.
    if (file) makeAdminOnly(file.get(), false);
    return file;
}

bool copyToAdminOnlyFile(const std::wstring& source, const std::wstring& target) {
    FileHandle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return false;
    FileHandle out = createAdminOnlyFile(target, CREATE_NEW);
    if (!out) return false;

    static constexpr DWORD kCbChunk = 64 * 1024;
    std::string buffer(kCbChunk, '\0');
    bool ok = true;
    for (;;) {
        DWORD read = 0, written = 0;
        if (!ReadFile(in.get(), &buffer[0], kCbChunk, &read, nullptr)) {
            ok = false;
            break;
        }
        if (read == 0) break;
        if (!WriteFile(out.get(), buffer.data(), read, &written, nullptr) || written != read) {
            ok = false;
            break;
        }
    }
    out.reset();
    if (!ok) {
        const DWORD error = GetLastError();
        DeleteFileW(target.c_str());
        SetLastError(error);
    }
    return ok;
}

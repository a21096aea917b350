#include "restore_kit.h"

#include <cstring>
#include <string>

#include "admin_only.h"
#include "backup_system.h"
#include "platform.h"

namespace {

constexpr WORD kRestoreProgramLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052

// Text in a code page: the console script is 8-bit text in the thread's ANSI code page.
std::string toAnsi(const std::wstring& text, UINT codePage = CP_THREAD_ACP) {
    if (text.empty()) return {};
    int cb = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                 nullptr);
    if (cb <= 0) return {};
    std::string out(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], cb, nullptr, nullptr);
    return out;
}

std::string copyLine(const std::string& source, const std::string& target) {
    return "copy \"" + source + "\" \"" + target + "\"\r\n";
}

bool writeAll(HANDLE file, const void* data, DWORD cb) {
    DWORD written = 0;
    return WriteFile(file, data, cb, &written, nullptr) && written == cb;
}

// A carried restore program and the name it is written under in every backup folder.
struct CarriedProgram {
    WORD resource;
    const wchar_t* name;
};

// A restore program as this program carries it; false when the resource is missing.
bool carriedRestoreProgram(const CarriedProgram& program, const void** bytes, DWORD* cb) {
    HMODULE self = GetModuleHandleW(nullptr);
    if (!program.resource) return false;
    HRSRC found = FindResourceExW(self, L"BIN", MAKEINTRESOURCEW(program.resource), kRestoreProgramLanguage);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(self, found);
    *bytes = loaded ? LockResource(loaded) : nullptr;
    *cb = SizeofResource(self, found);
    return *bytes && *cb != 0;
}

// Writes the carried program as a new file. A file planted under that name may be a link
// to a file elsewhere: it is removed, never written into.
bool writeRestoreProgram(const std::wstring& path, const void* bytes, DWORD cb) {
    DeleteFileW(path.c_str());
    FileHandle file = createAdminOnlyFile(path, CREATE_NEW);
    if (!file) return false;
    if (writeAll(file.get(), bytes, cb)) return true;
    // A cut-off program in the folder would make it pass for a backup that cannot be
    // restored from; leave no file instead.
    file.reset();
    DeleteFileW(path.c_str());
    return false;
}

// True when the open file is the carried program itself: a plain file with one name,
// byte for byte the same.
bool isCarriedCopy(HANDLE file, const void* bytes, DWORD cb) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (info.nNumberOfLinks != 1 || info.nFileSizeHigh != 0 || info.nFileSizeLow != cb) return false;
    std::string content(cb, '\0');
    DWORD read = 0;
    if (!ReadFile(file, &content[0], cb, &read, nullptr) || read != cb) return false;
    return memcmp(content.data(), bytes, cb) == 0;
}

// Opened for reading; nobody may write, rename or delete it while the handle is open.
FileHandle openUnchangeable(const std::wstring& path) {
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// The path has a form in the system's ANSI code page, which the restore program's
// ANSI calls use whatever the thread's locale, that reads back as the same path.
bool convertsToAnsi(const std::wstring& text) {
    if (GetACP() == CP_UTF8) return true;
    const std::string ansi = toAnsi(text, CP_ACP);
    if (ansi.empty() != text.empty()) return false;
    const int cch = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring back(static_cast<size_t>(cch > 0 ? cch : 0), L'\0');
    if (cch > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &back[0], cch);
    return back == text;
}

bool placeRestoreProgram(const BackupRun& backup, const CarriedProgram& program) {
    const void* bytes = nullptr;
    DWORD cb = 0;
    if (!carriedRestoreProgram(program, &bytes, &cb)) return false;
    return writeRestoreProgram(backup.backupFolder + program.name, bytes, cb);
}

void placeHelp(const BackupRun& backup) {
    const std::wstring folder = programFolder();
    if (folder.empty()) return;
    copyToAdminOnlyFile(folder + L"Tolmen.chm", backup.backupFolder + L"Tolmen.chm");
}

}  // namespace

void writeConsoleScript(const BackupRun& backup) {
    const std::wstring path = backup.backupFolder + L"SURVIN.WRC";
    DeleteFileW(path.c_str());
    FileHandle file = createAdminOnlyFile(path, CREATE_NEW);
    if (!file) {
        DeleteFileW(path.c_str());
        return;
    }

    bool wroteLine = false, complete = true;
    for (const SavedHiveEntry& entry : backup.savedList) {
        if (!(entry.category & kHiveSystem)) continue;
        const std::string live = toAnsi(entry.liveFilePath);
        // The saved copy is named by its place in the folder: the subkey names no file
        // there for the .DEFAULT hive, whose copy is called DEFAULT.
        const std::string keep = copyLine(live, toAnsi(entry.replacementBackupPath));
        const std::string put = copyLine(toAnsi(savedRelativePath(backup, entry)), live);
        complete = complete && writeAll(file.get(), keep.data(), static_cast<DWORD>(keep.size())) &&
                   writeAll(file.get(), put.data(), static_cast<DWORD>(put.size()));
        wroteLine = true;
    }
    file.reset();
    // A script cut off in the middle of a line could copy a hive to the wrong place.
    if (!wroteLine || !complete) DeleteFileW(path.c_str());
}

bool placeRestoreProgramAndHelp(const BackupRun& backup) {
    const bool placed = placeRestoreProgram(backup, {backup.carried.restoreProgram, L"SURVIN.EXE"});
    // Like the help file, a background step: a backup without it is still restorable from
    // Windows, from DOS and by the script.
    placeRestoreProgram(backup, {backup.carried.restoreProgram64, L"SURVIN64.EXE"});
    placeHelp(backup);
    return placed;
}

bool restoreProgramCanOpen(const std::wstring& folder) {
    if (convertsToAnsi(folder)) return true;
    const std::wstring shortForm = backupSystem().shortPathOf(folder);
    return !shortForm.empty() && convertsToAnsi(shortForm);
}

FileHandle holdCarriedRestoreProgram(const std::wstring& folder, WORD restoreProgram) {
    const void* bytes = nullptr;
    DWORD cb = 0;
    if (!carriedRestoreProgram({restoreProgram, L"SURVIN.EXE"}, &bytes, &cb)) return {};
    const std::wstring path = folder + L"SURVIN.EXE";
    {
        FileHandle present = openUnchangeable(path);
        if (present && isCarriedCopy(present.get(), bytes, cb)) return present;
    }
    if (!writeRestoreProgram(path, bytes, cb)) return {};
    // Checked again as it is held: it cannot change between this check and the start.
    FileHandle written = openUnchangeable(path);
    if (written && isCarriedCopy(written.get(), bytes, cb)) return written;
    return {};
}

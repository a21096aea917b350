#include "settings.h"

#include <shlwapi.h>

#include "folder_naming.h"
#include "hive_types.h"
#include "platform.h"

namespace {

constexpr const wchar_t* kSettings = L"Settings";
constexpr const wchar_t* kBackupDirs = L"BackupDirs";
constexpr DWORD kCchProfilePath = 520;
constexpr DWORD kCchPicture = 260;
constexpr int kMaxListKeys = 1000;

std::wstring g_path;
bool g_readOnly = false;

std::wstring readString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback, DWORD cch) {
    std::wstring buffer(cch, L'\0');
    DWORD got = GetPrivateProfileStringW(section, key, fallback, &buffer[0], cch, g_path.c_str());
    buffer.resize(got);
    return buffer;
}

UINT readNumber(const wchar_t* key, UINT fallback) {
    return GetPrivateProfileIntW(kSettings, key, static_cast<INT>(fallback), g_path.c_str());
}

void writeString(const wchar_t* section, const wchar_t* key, const std::wstring& value) {
    WritePrivateProfileStringW(section, key, value.c_str(), g_path.c_str());
}

void writeNumber(const wchar_t* key, UINT value) { writeString(kSettings, key, std::to_wstring(value)); }

// A picture read as empty would make every date the empty text: fall back to the default.
std::wstring readPicture(const wchar_t* key, const wchar_t* fallback) {
    std::wstring text = readString(kSettings, key, fallback, kCchPicture);
    return text.empty() ? fallback : text;
}

// VerifyHives is edited by hand only. Just the number 0 ("0", "00") switches the check off;
// a missing or empty key, any other number and text that is no number leave it on, so a
// slip of the pen never drops the proof that an unattended backup can be restored.
bool readVerifyHives() {
    const std::wstring text = readString(kSettings, L"VerifyHives", L"1", 32);
    const size_t digits = text.find_first_not_of(L"0123456789");
    if (digits == 0 || text.empty()) return true;
    return text.find_first_not_of(L'0') < digits;
}

Retention readRetention() {
    Retention retention;
    retention.mode = readNumber(L"LimitBackup", Retention::kKeepAll);
    retention.days = readNumber(L"LimitBackupDays", Retention::kDefaultDays);
    retention.count = readNumber(L"LimitBackupCount", Retention::kDefaultCount);
    retention.repair();
    return retention;
}

}  // namespace

void initSettings(const wchar_t* folderOverride) {
    std::wstring folder;
    if (folderOverride) {
        folder = folderOverride;
    } else {
        folder = programFolder();
    }
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    g_path = folder + L"RegOpt.ini";

    // The drive type of the file's root decides once for the whole run.
    wchar_t root[MAX_PATH + 1] = {};
    lstrcpynW(root, g_path.c_str(), MAX_PATH);
    bool rooted = PathStripToRootW(root) != FALSE;
    if (rooted && !PathAddBackslashW(root)) rooted = false;
    // A share counts as one also where the system reports the type of the disk behind it.
    g_readOnly = !rooted || isNetworkPath(g_path) || GetDriveTypeW(root) != DRIVE_FIXED;
}

const std::wstring& settingsPath() { return g_path; }
bool settingsReadOnly() { return g_readOnly; }

void loadJobSettings(JobOptions& options) {
    options.overwrite = readNumber(L"Overwrite", 0) != 0;
    options.retention = readRetention();
    options.dateFormat = readPicture(L"DateFormat", L"yyyy-MM-dd");
    options.timeFormat = readPicture(L"TimeFormat", L"HH-mm-ss");
    options.verifyHives = readVerifyHives();
}

std::wstring defaultFolderExpanded(FolderNaming& naming) {
    std::wstring folder = readString(kSettings, L"DefBackupDir", L"", kCchProfilePath);
    if (folder.empty()) folder = kDefaultBackupDir;
    std::wstring expanded;
    return expandFolderTemplate(folder, naming, expanded) ? expanded : folder;
}

DWORD readDefHives() { return readNumber(L"DefHives", kDefaultHiveMask); }

// Not guarded by the read-only mode: on read-only media the write simply fails.
void writeDefHives(DWORD mask) { writeNumber(L"DefHives", mask); }

AdvancedOptions loadAdvancedOptions() {
    AdvancedOptions options;
    // The default applies only to a missing key; a present but empty one stays empty.
    options.defBackupDir = readString(kSettings, L"DefBackupDir", kDefaultBackupDir, kCchProfilePath);
    options.overwrite = readNumber(L"Overwrite", 0) != 0;
    options.retention = readRetention();
    return options;
}

void saveAdvancedOptions(AdvancedOptions options) {
    if (g_readOnly) return;
    options.retention.repair();
    writeString(kSettings, L"DefBackupDir", options.defBackupDir.substr(0, 259));
    writeString(kSettings, L"Overwrite", options.overwrite ? L"1" : L"0");
    writeNumber(L"LimitBackup", options.retention.mode);
    writeNumber(L"LimitBackupDays", options.retention.days);
    writeNumber(L"LimitBackupCount", options.retention.count);
}

std::vector<std::wstring> readBackupDirs() {
    std::vector<std::wstring> places;
    for (int k = 0; k < kMaxListKeys; ++k) {
        std::wstring value = readString(kBackupDirs, std::to_wstring(k).c_str(), L"", kCchProfilePath);
        if (value.empty()) break;
        places.push_back(value);
    }
    return places;
}

void writeBackupDirs(const std::vector<std::wstring>& places) {
    if (g_readOnly) return;
    WritePrivateProfileStringW(kBackupDirs, nullptr, nullptr, g_path.c_str());
    for (size_t k = 0; k < places.size() && k < kMaxListKeys; ++k)
        writeString(kBackupDirs, std::to_wstring(k).c_str(), places[k]);
}

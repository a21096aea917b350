#include "restore_info.h"

#include <algorithm>
#include <string>

#include "admin_only.h"
#include "backup_places.h"
#include "edition.h"
#include "errors.h"
#include "restore_kit.h"

namespace {

// Writes SURVIN.INI through the platform's profile functions, which give a newly created
// file as ANSI text with CR LF, keys in the order written. Every write is checked: a
// restore information file with a hole in it must not pass for a good one.
class ProfileWriter {
public:
    explicit ProfileWriter(const std::wstring& path) : path_(path) {}

    void put(const wchar_t* section, const wchar_t* key, const std::wstring& value) {
        if (!WritePrivateProfileStringW(section, key, value.c_str(), path_.c_str())) ok_ = false;
    }
    void putStruct(const wchar_t* section, const wchar_t* key, void* data, UINT cb) {
        if (!WritePrivateProfileStructW(section, key, data, cb, path_.c_str())) ok_ = false;
    }
    bool ok() const { return ok_; }

private:
    const std::wstring& path_;
    bool ok_ = true;
};

// The profile functions may keep a file's sections in memory between calls; dropping them
// makes sure that writing after a deletion starts from an empty file.
void forgetCachedProfile(const std::wstring& path) {
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
}

void deleteProfile(const std::wstring& path) {
    DeleteFileW(path.c_str());
    forgetCachedProfile(path);
}

bool fileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring dateTimeText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t date[64] = {}, time[64] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, L"yyyy-MM-dd", date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, L"h:mm:ss tt", time, 64);
    return std::wstring(date) + L" , " + time;
}

void writeInfoSection(ProfileWriter& ini, const std::wstring& edition, OsInfoRecord& record) {
    ini.put(L"INFO", L"OSString", edition);
    ini.put(L"INFO", L"WARNING_1", L"永远不要编辑下面的行");
    ini.putStruct(L"INFO", L"OSINFO", &record, sizeof(record));
    ini.put(L"INFO", L"WARNING_2", L"永远不要编辑上面的行");

    wchar_t windows[MAX_PATH] = {};
    UINT cch = GetWindowsDirectoryW(windows, MAX_PATH);
    if (cch >= MAX_PATH) windows[0] = L'\0';
    ini.put(L"INFO", L"SysRoot", windows);

    const wchar_t drive[3] = {windows[0], windows[0] ? windows[1] : L'\0', L'\0'};
    wchar_t device[MAX_PATH] = {};
    if (QueryDosDeviceW(drive, device, MAX_PATH)) ini.put(L"INFO", L"WinDevice", device);

    wchar_t user[256] = {};
    DWORD cchUser = 256;
    if (GetUserNameW(user, &cchUser)) ini.put(L"INFO", L"CurUser", user);
}

}  // namespace

bool writeRestoreInfo(BackupRun& backup, JobReport& report) {
    if (backup.savedList.empty()) {
        report.fail(err::kNoBackupCreated);
        return false;
    }
    postProgress(report, JOB_LOGLINE, L"创建恢复信息文件...");

    const std::wstring path = backup.backupFolder + L"SURVIN.INI";
    // A SURVIN.INI that appeared after the destination check, or one that cannot be
    // replaced, is never written into: the backup has no restore information then.
    if (fileExists(path) && !backup.overwrite) {
        report.failKeepingCode(err::kNoBackupCreated);
        return false;
    }
    deleteProfile(path);
    // The profile functions would create the file with the folder's security: it is made
    // empty first, for administrators only, and they write into it (still as ANSI text,
    // since an empty file has no byte-order mark). It is held meanwhile so that nobody can
    // put another file in its place.
    FileHandle held(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                adminOnlyFileAttributesFor(path), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) {
        report.failKeepingCode(err::kNoBackupCreated);
        return false;
    }

    ProfileWriter ini(path);
    ini.put(L"INFO", L"DateTime", dateTimeText());
    ini.put(L"INFO", L"IniVersion", L"1");

    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExW(&version)) {
        wchar_t text[32];
        wsprintfW(text, L"%d.%d", static_cast<int>(version.dwMajorVersion),
                  static_cast<int>(version.dwMinorVersion));
        ini.put(L"INFO", L"WinVer", text);
    }

    std::wstring edition;
    OsInfoRecord record;
    if (!identifyWindows(edition, record)) {
        held.reset();
        deleteProfile(path);
        report.failKeepingCode(err::kNoBackupCreated);
        return false;
    }
    writeInfoSection(ini, edition, record);

    const size_t count = backup.savedList.size();
    for (size_t i = 0; i < count; ++i) {
        const SavedHiveEntry& entry = backup.savedList[i];
        wchar_t section[32];
        wsprintfW(section, L"%s%d", L"DATA", static_cast<int>(i));

        std::wstring type = entry.rootKey == HKEY_LOCAL_MACHINE ? L"MACHINE\\" : L"USERS\\";
        ini.put(section, L"Type", type + entry.subkey);
        ini.put(section, L"Saved", savedRelativePath(backup, entry));

        wchar_t shortPath[kCchRecordPath];
        DWORD cch = GetShortPathNameW(entry.liveFilePath, shortPath, kCchRecordPath);
        ini.put(section, L"Hive", cch != 0 && cch < kCchRecordPath ? shortPath : entry.liveFilePath);

        wchar_t category[16];
        wsprintfW(category, L"%lu", entry.category);
        ini.put(section, L"Category", category);
    }

    // The kit after the hives; SURVIN.INI last, since a deletion reads each entry from it
    // just before deleting that file.
    static const wchar_t* const kKitFiles[] = {L"SURVIN.WRC", L"SURVIN.EXE", L"SURVIN64.EXE", L"SURVIN.INI"};
    const size_t kitCount = sizeof(kKitFiles) / sizeof(kKitFiles[0]);
    for (size_t i = 0; i < count + kitCount; ++i) {
        wchar_t key[16];
        wsprintfW(key, L"%d", static_cast<int>(i));
        ini.put(L"Files", key, i < count ? savedRelativePath(backup, backup.savedList[i]) : kKitFiles[i - count]);
    }
    forgetCachedProfile(path);
    held.reset();
    // In case the profile functions replaced the file rather than writing into it.
    makeAdminOnly(path);

    if (!ini.ok()) {
        // Without every line the restore side would refuse the backup, or restore only
        // part of it: take the file back and report the backup as failed.
        deleteProfile(path);
        report.failKeepingCode(err::kNoBackupCreated);
        return false;
    }

    writeConsoleScript(backup);
    registerPlace(backup);
    return true;
}

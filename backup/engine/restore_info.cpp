#include "restore_info.h"

#include "admin_only.h"
#include "backup_places.h"
#include "edition.h"
#include "errors.h"
#include "hive_saving.h"
#include "platform.h"
#include "restore_kit.h"
#include "survin_ini.h"

namespace {

using namespace survinini;

// Formats the file in wide text, one line at a time, then converts it once.
class IniText {
public:
    void section(const wchar_t* name) {
        text_ += L'[';
        text_ += name;
        text_ += L"]\r\n";
    }
    void key(const wchar_t* name, const std::wstring& value) {
        text_ += name;
        text_ += L'=';
        text_ += value;
        text_ += L"\r\n";
    }
    void keyIfAny(const wchar_t* name, const std::wstring& value) {
        if (!value.empty()) key(name, value);
    }
    // The profile functions' structure form: each byte as two upper-case hex digits, then
    // the low byte of their sum.
    void structure(const wchar_t* name, const void* data, size_t cb) {
        static const wchar_t kDigits[] = L"0123456789ABCDEF";
        std::wstring hex;
        hex.reserve(2 * cb + 2);
        unsigned sum = 0;
        const auto* bytes = static_cast<const BYTE*>(data);
        for (size_t i = 0; i <= cb; ++i) {
            const BYTE b = i < cb ? bytes[i] : static_cast<BYTE>(sum);
            sum += b;
            hex += kDigits[b >> 4];
            hex += kDigits[b & 15];
        }
        key(name, hex);
    }
    std::string ansi() const {
        if (text_.empty()) return {};
        const int cch = static_cast<int>(text_.size());
        const int cb = WideCharToMultiByte(CP_ACP, 0, text_.data(), cch, nullptr, 0, nullptr, nullptr);
        std::string out(static_cast<size_t>(cb > 0 ? cb : 0), '\0');
        if (cb > 0) WideCharToMultiByte(CP_ACP, 0, text_.data(), cch, &out[0], cb, nullptr, nullptr);
        return out;
    }

private:
    std::wstring text_;
};

std::wstring dateTimeText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t date[64] = {}, time[64] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, L"yyyy-MM-dd", date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, L"h:mm:ss tt", time, 64);
    return std::wstring(date) + L" , " + time;
}

// INFO of this system; false when the edition cannot be told.
bool describeSystem(RestoreInfoRecord& record) {
    record.dateTime = dateTimeText();
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExW(&version)) {
        wchar_t text[32];
        wsprintfW(text, L"%d.%d", static_cast<int>(version.dwMajorVersion),
                  static_cast<int>(version.dwMinorVersion));
        record.winVer = text;
    }
    if (!identifyWindows(record.osString, record.osInfo)) return false;

    wchar_t windows[MAX_PATH] = {};
    UINT cch = GetWindowsDirectoryW(windows, MAX_PATH);
    if (cch >= MAX_PATH) windows[0] = L'\0';
    record.sysRoot = windows;

    const wchar_t drive[3] = {windows[0], windows[0] ? windows[1] : L'\0', L'\0'};
    wchar_t device[MAX_PATH] = {};
    if (QueryDosDeviceW(drive, device, MAX_PATH)) record.winDevice = device;

    wchar_t user[256] = {};
    DWORD cchUser = 256;
    if (GetUserNameW(user, &cchUser)) record.curUser = user;
    return true;
}

void describeHives(const BackupRun& backup, RestoreInfoRecord& record) {
    for (const SavedHiveEntry& entry : backup.savedList) {
        RestoreInfoRecord::Hive hive;
        hive.type = (entry.rootKey == HKEY_LOCAL_MACHINE ? L"MACHINE\\" : L"USERS\\") + std::wstring(entry.subkey);
        hive.saved = savedRelativePath(backup, entry);
        wchar_t shortPath[kCchRecordPath];
        DWORD cch = GetShortPathNameW(entry.liveFilePath, shortPath, kCchRecordPath);
        hive.hive = cch != 0 && cch < kCchRecordPath ? shortPath : entry.liveFilePath;
        hive.category = entry.category;
        record.hives.push_back(hive);
        record.files.push_back(hive.saved);
    }
    // The kit after the hives; SURVIN.INI last, since a deletion reads each entry from it
    // just before deleting that file.
    for (const wchar_t* kit : {kScriptFile<wchar_t>.text, kProgramFile<wchar_t>.text, kProgram64File<wchar_t>.text,
                               kFileName<wchar_t>.text})
        record.files.push_back(kit);
}

// The profile functions may keep a file's sections in memory between calls; dropping them
// makes every later read of the file in this process see what is on the disk.
void forgetCachedProfile(const std::wstring& path) {
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
}

// Writes the bytes as SURVIN.INI in one create through the held backup folder: a new
// file, for administrators only on a local disk and with what the share gives on a
// share. Whatever else has the name (a folder, a link, a file without `overwrite`) is
// never written into. A file that could not be written whole is taken back.
bool createInfoFile(BackupRun& backup, const std::string& bytes) {
    BackupPrivileges off(false);
    if (!holdBackupFolder(backup)) return false;
    HANDLE folder = backup.folderHandle.get();
    const std::wstring name = kFileName<wchar_t>.text;
    if (backup.overwrite) {
        FileHandle old = openRelative(folder, name, false, DELETE | FILE_READ_ATTRIBUTES);
        if (old && isPlainFile(old.get())) deleteThrough(old.get());
    }
    FileHandle file = createRelative(folder, name, false, GENERIC_WRITE | DELETE,
                                     backup.onNetwork ? nullptr : adminOnlyFileSecurity());
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        deleteThrough(file.get());
        return false;
    }
    return true;
}

}  // namespace

std::string formatRestoreInfo(const RestoreInfoRecord& record) {
    IniText ini;
    ini.section(kSectionInfo<wchar_t>);
    ini.key(kKeyDateTime<wchar_t>, record.dateTime);
    ini.key(kKeyIniVersion<wchar_t>, kIniVersion<wchar_t>.text);
    ini.keyIfAny(kKeyWinVer<wchar_t>, record.winVer);
    ini.key(kKeyOsString<wchar_t>, record.osString);
    ini.key(kKeyWarning1<wchar_t>, kWarning1);
    ini.structure(kKeyOsInfo<wchar_t>, &record.osInfo, sizeof(record.osInfo));
    ini.key(kKeyWarning2<wchar_t>, kWarning2);
    ini.key(kKeySysRoot<wchar_t>, record.sysRoot);
    ini.keyIfAny(kKeyWinDevice<wchar_t>, record.winDevice);
    ini.keyIfAny(kKeyCurUser<wchar_t>, record.curUser);
    for (size_t i = 0; i < record.hives.size(); ++i) {
        const RestoreInfoRecord::Hive& hive = record.hives[i];
        ini.section(dataSection<wchar_t>(static_cast<int>(i)));
        ini.key(kKeyType<wchar_t>, hive.type);
        ini.key(kKeySaved<wchar_t>, hive.saved);
        ini.key(kKeyHive<wchar_t>, hive.hive);
        ini.key(kKeyCategory<wchar_t>, std::to_wstring(hive.category));
    }
    ini.section(kSectionFiles<wchar_t>);
    for (size_t i = 0; i < record.files.size(); ++i) ini.key(filesKey<wchar_t>(static_cast<int>(i)), record.files[i]);
    return ini.ansi();
}

bool writeRestoreInfo(BackupRun& backup, JobReport& report) {
    if (backup.savedList.empty()) {
        report.fail(err::kNoBackupCreated);
        return false;
    }
    reportLine(report, kStepRestoreInfo, L"创建恢复信息文件...");

    RestoreInfoRecord record;
    if (!describeSystem(record)) {
        report.failKeepingCode(err::kNoBackupCreated);
        return false;
    }
    describeHives(backup, record);
    // A SURVIN.INI that appeared after the destination check, or one that cannot be
    // replaced, is never written into: the backup has no restore information then.
    const bool written = createInfoFile(backup, formatRestoreInfo(record));
    forgetCachedProfile(backup.backupFolder + kFileName<wchar_t>.text);
    if (!written) {
        report.failKeepingCode(err::kNoBackupCreated);
        return false;
    }
    writeConsoleScript(backup);
    registerPlace(backup);
    return true;
}

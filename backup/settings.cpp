// Interim: the settings helper replaces this file.
#include "settings.h"

#include "job.h"

namespace {
std::wstring g_path;
bool g_readOnly = false;
}  // namespace

void initSettings(const wchar_t* folderOverride) {
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder = folderOverride ? folderOverride : module;
    if (!folderOverride) folder.erase(folder.rfind(L'\\') + 1);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    g_path = folder + L"RegOpt.ini";
    g_readOnly = false;
}
const std::wstring& settingsPath() { return g_path; }
bool settingsReadOnly() { return g_readOnly; }
void repairLimits(UINT&, UINT&, UINT&) {}
void loadJobSettings(BackupJob&) {}
std::wstring defaultFolderExpanded(BackupJob&) { return kDefaultBackupDir; }
DWORD readDefHives() { return 3; }
void writeDefHives(DWORD) {}
AdvancedOptions loadAdvancedOptions() { return {}; }
void saveAdvancedOptions(AdvancedOptions) {}
std::vector<std::wstring> readBackupDirs() { return {}; }
void writeBackupDirs(const std::vector<std::wstring>&) {}

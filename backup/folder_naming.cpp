// Interim: the folder naming helper replaces this file.
#include "folder_naming.h"

#include <windows.h>

#include "job.h"

bool expandFolderTemplate(const std::wstring& tmpl, BackupJob&, std::wstring& out) {
    wchar_t buffer[260];
    DWORD cch = ExpandEnvironmentStringsW(tmpl.c_str(), buffer, 260);
    if (cch == 0 || cch > 260) return false;
    out = buffer;
    return true;
}
bool normaliseFolder(const std::wstring& text, std::wstring& out) {
    wchar_t buffer[260];
    DWORD cch = GetFullPathNameW(text.c_str(), 260, buffer, nullptr);
    if (cch == 0 || cch >= 260) return false;
    out = buffer;
    if (out.back() != L'\\') out += L'\\';
    return true;
}
bool resolveFolder(const std::wstring& tmpl, BackupJob& job, std::wstring& out) {
    std::wstring expanded;
    return expandFolderTemplate(tmpl, job, expanded) && normaliseFolder(expanded, out);
}
bool backupRootOf(BackupJob& job, std::wstring& out) { return resolveFolder(job.backupFolder, job, out); }

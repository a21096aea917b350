// The error codes both programs end a job with, their fixed texts, and the system's
// message text for a Windows error code.
#pragma once
#include <windows.h>

#include <string>

namespace err {
constexpr int kAccessDenied = 600;
constexpr int kNoBackupCreated = 601;
constexpr int kNoSizeDifference = 602;
constexpr int kTempFile = 603;
constexpr int kHiveListOpen = 604;
constexpr int kHiveReplaceOpen = 605;
constexpr int kHiveExists = 606;
constexpr int kCreateFolder = 607;
constexpr int kCancelled = 608;
constexpr int kChangeFolder = 609;
constexpr int kDiskFull = 610;
constexpr int kSavedHiveMissing = 611;
constexpr int kHiveInfoInvalid = 612;
constexpr int kBackupExisting = 613;
constexpr int kRestoreHive = 614;
}  // namespace err

// Backup program: codes 600-610; anything else is "未知错误".
std::wstring errorMessage(int code);
// Restore program: codes 600-614, as multibyte text in the Simplified Chinese code page.
std::string errorMessageA(int code);

// The system's text for a Windows error code without trailing CR/LF, or
// "HRESULT 0x%8.8x" when the message table has none.
std::wstring windowsErrorText(DWORD code);
std::string windowsErrorTextA(DWORD code);

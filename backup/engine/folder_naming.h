// Backup folder naming: folder templates with environment variables, <date> and
// <time> become normalised folder paths ending in a backslash.
#pragma once
#include <string>

// The date and time pictures (from RegOpt.ini) and the texts the last expansion made of
// them, which later cut the backup root out of the folder.
struct FolderNaming {
    std::wstring dateFormat = L"yyyy-MM-dd", timeFormat = L"HH-mm-ss";
    std::wstring dateText, timeText;
};

// Placeholders and environment variables replaced; the date and time texts are kept
// (each only when the template mentions its word). False when a picture is rejected or
// the result exceeds 259 characters.
bool expandFolderTemplate(const std::wstring& tmpl, FolderNaming& naming, std::wstring& out);
// Full qualification, blanks around separators, quotes and forbidden characters,
// double backslashes, trailing backslash.
bool normaliseFolder(const std::wstring& text, std::wstring& out);
// Expand, then Normalise.
bool resolveFolder(const std::wstring& tmpl, FolderNaming& naming, std::wstring& out);
// The backup root of a folder: cut before the date text, then the time text, resolved
// again.
bool backupRootOf(const std::wstring& folder, FolderNaming& naming, std::wstring& out);

// Backup folder naming: folder templates with environment variables, <date> and
// <time> become normalised folder paths ending in a backslash.
#pragma once
#include <string>

struct BackupJob;

// Placeholders and environment variables replaced; the date and time texts are kept in
// the job (each only when the template mentions its word). False when a picture is rejected or the result exceeds 259 characters.
bool expandFolderTemplate(const std::wstring& tmpl, BackupJob& job, std::wstring& out);
// Full qualification, blanks around separators, quotes and forbidden characters,
// double backslashes, trailing backslash.
bool normaliseFolder(const std::wstring& text, std::wstring& out);
// Expand, then Normalise.
bool resolveFolder(const std::wstring& tmpl, BackupJob& job, std::wstring& out);
// The backup root of the job's folder: cut before the date text, then the time text,
// resolved again.
bool backupRootOf(BackupJob& job, std::wstring& out);

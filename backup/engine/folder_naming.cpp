#include "folder_naming.h"

#include <windows.h>

namespace {

constexpr int kCchFormatted = 128;
constexpr DWORD kCchPath = 260;

std::wstring lowerCase(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// Replaces every occurrence of a lower-case placeholder, matched without regard to case.
std::wstring replaceNoCase(const std::wstring& text, const std::wstring& placeholder,
                           const std::wstring& replacement) {
    const std::wstring lower = lowerCase(text);
    std::wstring result;
    size_t from = 0;
    for (size_t at; (at = lower.find(placeholder, from)) != std::wstring::npos; from = at + placeholder.size()) {
        result.append(text, from, at - from);
        result += replacement;
    }
    result.append(text, from, std::wstring::npos);
    return result;
}

// A formatted date or time becomes (part of) one folder name: a picture in RegOpt.ini
// that makes a separator, "..", a character no folder name may hold, or nothing but dots
// and blanks (which the file system drops) would move the backup somewhere else.
bool isFolderNameText(const std::wstring& text) {
    if (text.find(L"..") != std::wstring::npos) return false;
    for (wchar_t c : text) {
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c)) return false;
    }
    return text.empty() || text.find_first_not_of(L". ") != std::wstring::npos;
}

void replaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with) {
    for (size_t at; (at = text.find(what)) != std::wstring::npos;) text.replace(at, what.size(), with);
}

}  // namespace

bool expandFolderTemplate(const std::wstring& tmpl, FolderNaming& naming, std::wstring& out) {
    const std::wstring lower = lowerCase(tmpl);
    SYSTEMTIME now;
    GetLocalTime(&now);  // one reading for both placeholders

    std::wstring text = tmpl;
    wchar_t formatted[kCchFormatted];
    // Any "date" or "time" in the template formats the value, placeholder or not. A
    // template without the word leaves the text as it was: the welcome page
    // resolves the folder it showed already expanded, and the backup root is still cut
    // at the date text of that first expansion.
    if (lower.find(L"date") != std::wstring::npos) {
        if (!GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, naming.dateFormat.c_str(), formatted, kCchFormatted) ||
            !isFolderNameText(formatted))
            return false;
        naming.dateText = formatted;
        text = replaceNoCase(text, L"<date>", naming.dateText);
    }
    if (lower.find(L"time") != std::wstring::npos) {
        if (!GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, naming.timeFormat.c_str(), formatted, kCchFormatted) ||
            !isFolderNameText(formatted))
            return false;
        naming.timeText = formatted;
        text = replaceNoCase(text, L"<time>", naming.timeText);
    }

    wchar_t expanded[kCchPath];
    DWORD cch = ExpandEnvironmentStringsW(text.c_str(), expanded, kCchPath);
    if (cch == 0 || cch > kCchPath) return false;

    out = expanded;
    return true;
}

bool normaliseFolder(const std::wstring& text, std::wstring& out) {
    // Windows skips leading blanks when it qualifies a path; Wine would take " C:\x" as
    // relative, so they go first.
    size_t start = text.find_first_not_of(L' ');
    std::wstring input = start == std::wstring::npos ? std::wstring() : text.substr(start);
    if (input.empty()) return false;

    wchar_t full[kCchPath];
    DWORD cch = GetFullPathNameW(input.c_str(), kCchPath, full, nullptr);
    if (cch == 0 || cch >= kCchPath) return false;
    std::wstring path(full, cch);

    replaceAll(path, L" \\", L"\\");
    replaceAll(path, L"\\ ", L"\\");
    while (!path.empty() && path.front() == L'"') path.erase(0, 1);
    while (!path.empty() && path.back() == L'"') path.pop_back();

    // A folder on a file server keeps the two backslashes that make it one; the long-path
    // and device forms ("\\?\", "\\.\") name no folder to back up into.
    const bool network = path.compare(0, 2, L"\\\\") == 0;
    if (network) {
        path.erase(0, path.find_first_not_of(L'\\'));
        const std::wstring server = path.substr(0, path.find(L'\\'));
        if (server == L"?" || server == L".") return false;
    }
    for (const wchar_t* forbidden = L"<>*?\"/|"; *forbidden; ++forbidden) {
        for (size_t at; (at = path.find(*forbidden)) != std::wstring::npos;) path.erase(at, 1);
    }
    replaceAll(path, L"\\\\", L"\\");
    if (network) {
        if (!path.empty() && path.front() == L'\\') path.erase(0, 1);
        // A server and a share, each a name of its own.
        const size_t serverEnd = path.find(L'\\');
        if (serverEnd == 0 || serverEnd == std::wstring::npos || serverEnd + 1 >= path.size()) return false;
        if (path.substr(0, serverEnd).find(L':') != std::wstring::npos) return false;
        path.insert(0, L"\\\\");
    }
    if (path.empty() || path.back() != L'\\') path += L'\\';

    out = path;
    return true;
}

bool resolveFolder(const std::wstring& tmpl, FolderNaming& naming, std::wstring& out) {
    std::wstring expanded;
    return expandFolderTemplate(tmpl, naming, expanded) && normaliseFolder(expanded, out);
}

bool backupRootOf(const std::wstring& folder, FolderNaming& naming, std::wstring& out) {
    std::wstring root = folder;
    for (const std::wstring* cut : {&naming.dateText, &naming.timeText}) {
        if (cut->empty()) continue;
        size_t at = lowerCase(root).find(lowerCase(*cut));
        if (at != std::wstring::npos) root.erase(at);
    }
    return resolveFolder(root, naming, out);
}

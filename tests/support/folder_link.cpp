#include "folder_link.h"

#include "test_support.h"

namespace testing_support {

namespace {

// Runs a Unix command line from the Wine side (a program under Z:\bin) and waits for
// `done` to hold, up to ten seconds. Wine starts a Unix program without a process handle
// (and leaves the thread handle undefined, which must not be closed): it cannot be waited for.
template <class Done>
bool runUnix(const std::wstring& commandLine, Done done) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    if (process.hProcess) {
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (int i = 0; i < 100 && !done(); ++i) Sleep(100);
    return done();
}

}  // namespace

// The Unix path Wine maps a Windows path to (its parent must exist).
std::string unixPathOf(const std::wstring& path) {
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return {};
    char* name = unixName(path.c_str());
    if (!name) return {};
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

// Makes `link` (no trailing backslash) a symbolic link to the folder `target`, made on the
// Unix side: Wine has no links of its own (CreateSymbolicLinkW and junctions do nothing
// there). Wine lists such a link as a folder that is a reparse point and follows it
// when opening, also with FILE_FLAG_OPEN_REPARSE_POINT.
bool makeFolderLink(const std::wstring& link, const std::wstring& target) {
    const size_t slash = link.rfind(L'\\');
    const std::string parent = unixPathOf(link.substr(0, slash));
    const std::string to = unixPathOf(target);
    if (parent.empty() || to.empty()) return false;
    const std::string unixLink = parent + "/" + toUtf8(link.substr(slash + 1));
    return runUnix(fromUtf8("Z:\\bin\\ln -s -n \"" + to + "\" \"" + unixLink + "\""),
                   [&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

// Removes such a link (not what it leads to); the scratch clean-up cannot.
bool removeFolderLink(const std::wstring& link) {
    const std::string unixLink = unixPathOf(link);
    return !unixLink.empty() &&
           runUnix(fromUtf8("Z:\\bin\\rm -f \"" + unixLink + "\""),
                   [&] { return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}


}  // namespace testing_support

#include "test_support.h"

#include <shlwapi.h>

#include <memory>

#include "hive_check.h"

namespace testing_support {

namespace {
constexpr UINT kJobNotify = WM_USER + 12;
LONG g_counter = 0;
}  // namespace

ScratchDir::ScratchDir(const wchar_t* tag) {
    wchar_t name[MAX_PATH];
    wsprintfW(name, L"C:\\tolmen-tests\\%s-%lu-%ld\\", tag, GetCurrentProcessId(),
              InterlockedIncrement(&g_counter));
    path_ = name;
    removeTree(path_);
    makeDirs(path_);
}

ScratchDir::~ScratchDir() { removeTree(path_); }

void removeTree(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((base + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = base + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                removeTree(full);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(full.c_str());
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(base.c_str());
}

std::string hiveBytes(const std::string& tag) {
    return "WINE REGISTRY Version 2\n\n[Tolmen test hive] 1700000000\n\"Tag\"=\"" + tag + "\"\n";
}

std::string readBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool writeBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool fileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool dirExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> subfolders(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

bool makeDirs(const std::wstring& folder) {
    std::wstring path;
    for (size_t i = 0; i < folder.size(); ++i) {
        path += folder[i];
        if (folder[i] == L'\\' && path.size() > 3) CreateDirectoryW(path.c_str(), nullptr);
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    return dirExists(folder);
}

namespace {
std::string convert(const std::wstring& text, UINT codePage) {
    if (text.empty()) return {};
    int cb = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
    std::string out(cb, '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], cb, nullptr,
                        nullptr);
    return out;
}
std::wstring convert(const std::string& text, UINT codePage) {
    if (text.empty()) return {};
    int cch = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(cch, L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], cch);
    return out;
}
std::wstring envPath(const wchar_t* variable, const wchar_t* name) {
    wchar_t value[MAX_PATH];
    DWORD cch = GetEnvironmentVariableW(variable, value, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return {};
    std::wstring path = value;
    if (!path.empty() && path[0] == L'/') {  // a Unix path: drive Z: is the root
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    if (path.back() != L'\\') path += L'\\';
    return path + name;
}
}  // namespace

std::string toUtf8(const std::wstring& text) { return convert(text, CP_UTF8); }
std::wstring fromUtf8(const std::string& text) { return convert(text, CP_UTF8); }
std::string toAnsi(const std::wstring& text) { return convert(text, CP_ACP); }
std::wstring fromAnsi(const std::string& text) { return convert(text, CP_ACP); }

std::wstring distFile(const wchar_t* name) { return envPath(L"TOLMEN_DIST", name); }
std::wstring programFile(const wchar_t* name) {
    std::wstring path = envPath(L"TOLMEN_PROGRAM_DIR", name);
    return path.empty() ? distFile(name) : path;
}
std::wstring sourceFile(const wchar_t* relative) { return envPath(L"TOLMEN_SOURCE", relative); }

bool runProgram(const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode, const wchar_t* workingDir) {
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, workingDir, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    bool finished = WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!finished) TerminateProcess(pi.hProcess, 1);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    if (exitCode) *exitCode = code;
    return finished;
}

bool waitForTolmenFree(DWORD timeoutMs) {
    for (DWORD waited = 0;; waited += 100) {
        HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"TOLMEN_RESTORE_MUTEX_2008");
        if (!mutex) return true;
        CloseHandle(mutex);
        if (waited >= timeoutMs) return false;
        Sleep(100);
    }
}

PrivateTolmen::PrivateTolmen(const wchar_t* tag) : dir_(tag) {
    ok_ = CopyFileW(programFile(L"Tolmen.exe").c_str(), exe().c_str(), FALSE) != FALSE;
    CopyFileW(programFile(L"Tolmen.chm").c_str(), (dir_ / L"Tolmen.chm").c_str(), FALSE);
}

bool PrivateTolmen::run(const std::wstring& arguments, DWORD* exitCode, DWORD timeoutMs) {
    // Another test may start its own instance between the wait and the start; a second
    // instance leaves at once with exit code 2 and is simply started again.
    DWORD code = 0;
    bool finished = false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        waitForTolmenFree();
        finished = runProgram(L"\"" + exe() + L"\" " + arguments, timeoutMs, &code, dir_.path().c_str());
        if (!finished || code != 2) break;
    }
    if (exitCode) *exitCode = code;
    return finished;
}

NotifyRecorder::NotifyRecorder(bool ansiText) : ansi_(ansiText) {
    static ATOM atom = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &NotifyRecorder::proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TolmenTestNotifyRecorder";
        return RegisterClassW(&wc);
    }();
    (void)atom;
    hwnd_ = CreateWindowW(L"TolmenTestNotifyRecorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          GetModuleHandleW(nullptr), this);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

NotifyRecorder::~NotifyRecorder() {
    pump();
    DestroyWindow(hwnd_);
}

void NotifyRecorder::pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::vector<std::wstring> NotifyRecorder::lines(WPARAM kind) const {
    std::vector<std::wstring> out;
    for (const Notice& n : notices_)
        if (n.kind == kind) out.push_back(n.text);
    return out;
}

LRESULT CALLBACK NotifyRecorder::proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<NotifyRecorder*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == kJobNotify && self) {
        Notice notice{LOWORD(wParam), HIWORD(wParam), {}};
        if (lParam) {
            if (self->ansi_) {
                std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
                notice.text = fromAnsi(*text);
            } else {
                std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
                notice.text = *text;
            }
        }
        self->notices_.push_back(notice);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::vector<std::wstring> hiveCheckKeys() {
    std::vector<std::wstring> keys;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256;
        if (RegEnumKeyExW(HKEY_USERS, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (_wcsnicmp(name, kHiveCheckKeyPrefix, wcslen(kHiveCheckKeyPrefix)) == 0) keys.push_back(name);
    }
    return keys;
}

bool privilegeEnabled(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    LUID luid;
    DWORD cb = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &cb);
    std::vector<BYTE> buffer(cb);
    bool enabled = false;
    if (LookupPrivilegeValueW(nullptr, name, &luid) &&
        GetTokenInformation(token, TokenPrivileges, buffer.data(), cb, &cb)) {
        auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID& p = privileges->Privileges[i].Luid;
            if (p.LowPart == luid.LowPart && p.HighPart == luid.HighPart)
                enabled = (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return enabled;
}

}  // namespace testing_support

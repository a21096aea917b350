// Times how long a program takes from its start to a visible property-sheet page
// (tools/bench-wizard.sh). Not a test: it prints figures.
//   start_bench <program> [argument]
// Prints "visible <s>" once a visible dialog of the new process holds a visible child
// dialog (the sheet and its page), then "idle <s>" once the process waits for input, then
// closes the sheet and waits for the process to end.
//   start_bench --keep-desktop <ready file>
// Keeps the desktop up until the Wine server ends, as it always is on Windows: Wine
// starts its desktop for the first program that needs it and ends it a moment after the
// last one, so that every program started alone would pay for its start.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

double now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool isDialog(HWND window) {
    wchar_t name[16];
    return GetClassNameW(window, name, 16) && lstrcmpW(name, L"#32770") == 0;
}

struct Search {
    DWORD processId;
    HWND sheet;
};

BOOL CALLBACK findPage(HWND child, LPARAM param) {
    if (isDialog(child) && IsWindowVisible(child)) {
        *reinterpret_cast<bool*>(param) = true;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK findSheet(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !isDialog(window) || !IsWindowVisible(window)) return TRUE;
    bool pageVisible = false;
    EnumChildWindows(window, findPage, reinterpret_cast<LPARAM>(&pageVisible));
    if (!pageVisible) return TRUE;
    search->sheet = window;
    return FALSE;
}

int keepDesktop(const wchar_t* readyFile) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!window) return 1;
    HANDLE ready = CreateFileW(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(ready);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && lstrcmpW(argv[1], L"--keep-desktop") == 0) return keepDesktop(argv[2]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: start_bench <program> [argument]\n");
        return 2;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    if (argc > 2) commandLine += L" " + std::wstring(argv[2]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};

    const double start = now();
    if (!CreateProcessW(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "start_bench: cannot start %ls: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    Search search = {process.dwProcessId, nullptr};
    double visible = 0;
    for (;;) {
        EnumWindows(findSheet, reinterpret_cast<LPARAM>(&search));
        if (search.sheet) {
            visible = now() - start;
            break;
        }
        if (WaitForSingleObject(process.hProcess, 2) == WAIT_OBJECT_0) {
            std::fprintf(stderr, "start_bench: the program ended before it showed a page\n");
            return 1;
        }
        if (now() - start > 120) {
            std::fprintf(stderr, "start_bench: no page after 120 s\n");
            TerminateProcess(process.hProcess, 1);
            return 1;
        }
    }
    WaitForInputIdle(process.hProcess, 60000);
    const double idle = now() - start;
    std::printf("visible %.4f\nidle %.4f\n", visible, idle);

    PostMessageW(search.sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "start_bench: the program did not end when its sheet was closed\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

#include "gui_driver.h"

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "test_support.h"

namespace gui_driver {

namespace {

// How long a window may take to answer one sent message before the test fails.
constexpr DWORD kAnswerMs = 20000;

// SendMessageW with a bound: a window that does not answer in time (a hung program, or
// one waiting for the test) fails the running test and gives 0, instead of hanging it.
LRESULT sent(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, msg, wParam, lParam, SMTO_NORMAL, kAnswerMs, &result) &&
        GetLastError() == ERROR_TIMEOUT)
        ADD_FAILURE() << "window " << window << " did not answer message 0x" << std::hex << msg << " within "
                      << std::dec << kAnswerMs << " ms";
    return static_cast<LRESULT>(result);
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(50);
    }
}

namespace {

std::wstring classOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// Visible top-level windows of a process: with a caption, or dialogs other than known ones.
struct TopSearch {
    DWORD pid;
    const std::wstring* caption;
    const std::vector<HWND>* known;
    HWND found;
};

BOOL CALLBACK topWindowProc(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<TopSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window)) return TRUE;
    if (search->caption && textOf(window) != *search->caption) return TRUE;
    if (search->known) {
        if (classOf(window) != L"#32770") return TRUE;
        for (HWND known : *search->known)
            if (known == window) return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND findTop(TopSearch search) {
    EnumWindows(topWindowProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct ControlSearch {
    int id;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK controlProc(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<ControlSearch*>(lParam);
    if (GetDlgCtrlID(window) != search->id) return TRUE;
    if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK staticTextProc(HWND window, LPARAM lParam) {
    if (lstrcmpiW(classOf(window).c_str(), L"Static") == 0) {
        auto* longest = reinterpret_cast<std::wstring*>(lParam);
        std::wstring text = textOf(window);
        if (text.size() > longest->size()) *longest = text;
    }
    return TRUE;
}

// Memory inside the window's process for messages that carry pointers the system does
// not carry across processes (list views); for a window of this process it is plain memory.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, SIZE_T cb) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_) address_ = VirtualAllocEx(process_, nullptr, cb, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    bool valid() const { return address_ != nullptr; }
    char* at(SIZE_T offset) const { return static_cast<char*>(address_) + offset; }
    bool write(SIZE_T offset, const void* data, SIZE_T cb) {
        return WriteProcessMemory(process_, at(offset), data, cb, nullptr) != FALSE;
    }
    bool read(SIZE_T offset, void* data, SIZE_T cb) {
        return ReadProcessMemory(process_, at(offset), data, cb, nullptr) != FALSE;
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

}  // namespace

HWND findWindow(DWORD pid, const std::wstring& caption) { return findTop({pid, &caption, nullptr, nullptr}); }

HWND waitForWindow(DWORD pid, const std::wstring& caption, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] { return (found = findWindow(pid, caption)) != nullptr; }, timeoutMs);
    if (!found) {
        fprintf(stderr, "no window \"%s\" after %lu ms\n", testing_support::toUtf8(caption).c_str(),
                static_cast<unsigned long>(timeoutMs));
        printWindowsOf(pid);
    }
    return found;
}

bool waitForWindowGone(DWORD pid, const std::wstring& caption, DWORD timeoutMs) {
    return waitUntil([&] { return findWindow(pid, caption) == nullptr; }, timeoutMs);
}

HWND waitForOtherDialog(DWORD pid, const std::vector<HWND>& known, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] { return (found = findTop({pid, nullptr, &known, nullptr})) != nullptr; }, timeoutMs);
    return found;
}

void printWindowsOf(DWORD pid) {
    EnumWindows(
        [](HWND window, LPARAM owner) WINAPI -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == static_cast<DWORD>(owner))
                fprintf(stderr, "  window of the process: visible %d class %s caption \"%s\"\n",
                        IsWindowVisible(window) ? 1 : 0, testing_support::toUtf8(classOf(window)).c_str(),
                        testing_support::toUtf8(textOf(window)).c_str());
            return TRUE;
        },
        static_cast<LPARAM>(pid));
}

HWND findControl(HWND root, int id) {
    if (!root) return nullptr;
    ControlSearch search{id, true, nullptr};
    EnumChildWindows(root, controlProc, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    search.visibleOnly = false;
    EnumChildWindows(root, controlProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForControl(HWND root, int id, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] { return (found = findControl(root, id)) != nullptr; }, timeoutMs);
    return found;
}

std::wstring textOf(HWND window) {
    if (!window) return {};
    // Through SendMessageTimeout so that a hung program fails the test instead of hanging it.
    DWORD_PTR cch = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &cch)) return {};
    std::wstring text(cch + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, cch + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             5000, &got))
        return {};
    text.resize(got);
    return text;
}

std::wstring waitForText(HWND window, const std::wstring& expected, DWORD timeoutMs) {
    std::wstring last;
    waitUntil([&] { return (last = textOf(window)) == expected; }, timeoutMs);
    return last;
}

bool isChecked(HWND button) { return sent(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool isEnabled(HWND window) { return window && IsWindowEnabled(window); }
bool isVisible(HWND window) { return window && IsWindowVisible(window); }

bool waitForEnabled(HWND control, bool enabled, DWORD timeoutMs) {
    return waitUntil([&] { return isVisible(control) && (IsWindowEnabled(control) != FALSE) == enabled; }, timeoutMs);
}

void click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void typeText(HWND edit, const std::wstring& text) {
    sent(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void clickLink(HWND link) {
    RECT client = {};
    GetClientRect(link, &client);
    const LPARAM point = MAKELPARAM(4, (client.bottom - client.top) / 2);
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(link, WM_LBUTTONUP, 0, point);
}

void mouseClick(HWND control) {
    RECT client = {};
    GetClientRect(control, &client);
    const LPARAM middle = MAKELPARAM((client.left + client.right) / 2, (client.top + client.bottom) / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageW(control, WM_LBUTTONUP, 0, middle);
}

HWND keyboardFocus(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

bool pressKey(HWND window, UINT virtualKey) {
    HWND target = keyboardFocus(window);
    if (!target) return false;
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    return PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16)) &&
           PostMessageW(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

std::wstring messageBoxText(HWND box) {
    std::wstring longest;
    EnumChildWindows(box, staticTextProc, reinterpret_cast<LPARAM>(&longest));
    return longest;
}

bool answerMessageBox(HWND box, int buttonId) {
    HWND button = GetDlgItem(box, buttonId);
    if (!button) return false;
    click(button);
    return waitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
}

std::vector<std::wstring> comboItems(HWND combo) {
    std::vector<std::wstring> items;
    const int count = static_cast<int>(sent(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const int cch = static_cast<int>(sent(combo, CB_GETLBTEXTLEN, i, 0));
        if (cch < 0) continue;
        std::wstring item(static_cast<size_t>(cch) + 1, L'\0');
        sent(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
        item.resize(wcslen(item.c_str()));
        items.push_back(item);
    }
    return items;
}

int comboSelection(HWND combo) { return static_cast<int>(sent(combo, CB_GETCURSEL, 0, 0)); }

void selectComboItem(HWND combo, int index) {
    sent(combo, CB_SETCURSEL, index, 0);
    PostMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

int listCount(HWND list) { return static_cast<int>(sent(list, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring listItemText(HWND list, int index) {
    constexpr int kCch = 2048;
    RemoteBuffer remote(list, sizeof(LVITEMW) + kCch * sizeof(wchar_t));
    if (!remote.valid()) return {};
    LVITEMW item = {};
    item.iSubItem = 0;
    item.cchTextMax = kCch;
    item.pszText = reinterpret_cast<wchar_t*>(remote.at(sizeof(LVITEMW)));
    remote.write(0, &item, sizeof(item));
    LRESULT cch = sent(list, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(remote.at(0)));
    if (cch <= 0) return {};
    std::wstring text(static_cast<size_t>(cch), L'\0');
    remote.read(sizeof(LVITEMW), &text[0], cch * sizeof(wchar_t));
    return text;
}

std::vector<std::wstring> listItems(HWND list) {
    std::vector<std::wstring> items;
    const int count = listCount(list);
    for (int i = 0; i < count; ++i) items.push_back(listItemText(list, i));
    return items;
}

bool selectListItem(HWND list, int index) {
    RemoteBuffer remote(list, sizeof(LVITEMW));
    if (!remote.valid()) return false;
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = index >= 0 ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    remote.write(0, &item, sizeof(item));
    return sent(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(remote.at(0))) != FALSE;
}

LRESULT sendWithText(HWND window, UINT msg, WPARAM wParam, const std::wstring& text) {
    const SIZE_T cb = (text.size() + 1) * sizeof(wchar_t);
    RemoteBuffer remote(window, cb);
    if (!remote.valid() || !remote.write(0, text.c_str(), cb)) return 0;
    return sent(window, msg, wParam, reinterpret_cast<LPARAM>(remote.at(0)));
}

HWND currentPage(HWND sheet) {
    return reinterpret_cast<HWND>(sent(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

void pressSheetButton(HWND sheet, int button) { PostMessageW(sheet, PSM_PRESSBUTTON, button, 0); }

HWND waitForPageChange(HWND sheet, HWND page, DWORD timeoutMs) {
    HWND now = nullptr;
    waitUntil([&] {
        now = currentPage(sheet);
        return now && now != page;
    }, timeoutMs);
    return now;
}

namespace {

struct GdiplusStartupInput {
    UINT32 GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};
using StartupFn = int(WINAPI*)(ULONG_PTR*, const GdiplusStartupInput*, void*);
using FromHbitmapFn = int(WINAPI*)(HBITMAP, HPALETTE, void**);
using SaveFn = int(WINAPI*)(void*, const WCHAR*, const CLSID*, const void*);
using DisposeFn = int(WINAPI*)(void*);

// GDI+ turns the captured bitmap into a PNG; it is loaded by name so that the test
// programs need no import library for it, once per test program, and stays loaded.
struct Gdiplus {
    SaveFn save = nullptr;
    FromHbitmapFn fromHbitmap = nullptr;
    DisposeFn dispose = nullptr;
    bool ready = false;
    Gdiplus() {
        HMODULE module = LoadLibraryW(L"gdiplus.dll");
        if (!module) return;
        auto startup = reinterpret_cast<StartupFn>(reinterpret_cast<void*>(GetProcAddress(module, "GdiplusStartup")));
        fromHbitmap = reinterpret_cast<FromHbitmapFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "GdipCreateBitmapFromHBITMAP")));
        save = reinterpret_cast<SaveFn>(reinterpret_cast<void*>(GetProcAddress(module, "GdipSaveImageToFile")));
        dispose = reinterpret_cast<DisposeFn>(reinterpret_cast<void*>(GetProcAddress(module, "GdipDisposeImage")));
        ULONG_PTR token = 0;
        GdiplusStartupInput input;
        ready = startup && fromHbitmap && save && dispose && startup(&token, &input, nullptr) == 0;
    }
};

bool savePng(HBITMAP bitmap, const std::wstring& path) {
    static Gdiplus gdiplus;
    if (!gdiplus.ready) return false;
    bool ok = false;
    void* image = nullptr;
    if (gdiplus.fromHbitmap(bitmap, nullptr, &image) == 0 && image) {
        static const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        ok = gdiplus.save(image, path.c_str(), &kPngEncoder, nullptr) == 0;
        gdiplus.dispose(image);
    }
    return ok;
}

// Saves the screen area (screen coordinates) as a PNG file.
bool captureToPng(const RECT& rect, const std::wstring& path) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BOOL copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    bool ok = copied && savePng(bitmap, path);
    DeleteObject(bitmap);
    return ok;
}

}  // namespace

void screenshot(HWND window, const std::wstring& what) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::wstring name = test ? testing_support::fromUtf8(std::string(test->test_suite_name()) + "." + test->name()) +
                                         L"-" + what
                                   : what;
    // The client area only: without a window manager nobody draws the frame.
    RECT rect;
    if (!window || !GetClientRect(window, &rect)) {
        fprintf(stderr, "screenshot %s: no window\n", testing_support::toUtf8(name).c_str());
        return;
    }
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    // On top of the other windows and painted anew, both asked without waiting on the
    // window's thread; the round trip through its queue and a short pause let it paint.
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored);
    Sleep(150);
    CreateDirectoryW(L"screenshots", nullptr);
    const std::wstring path = L"screenshots\\" + name + L".png";
    if (!captureToPng(rect, path)) fprintf(stderr, "screenshot %s: not written\n", testing_support::toUtf8(path).c_str());
}

}  // namespace gui_driver

#include "subclass.h"

namespace {

// The window property that holds a window's Subclass; the same text in both programs.
constexpr wchar_t kProperty[] = L"SubclassOfProgram";

struct Subclass {
    WNDPROC original;
    SubclassProc proc;
    DWORD_PTR data;
    bool unicode;  // the window's own character set, kept for the messages passed on
};

Subclass* subclassOf(HWND window) { return static_cast<Subclass*>(GetPropW(window, kProperty)); }

LRESULT CALLBACK frontProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    Subclass* subclass = subclassOf(window);
    if (!subclass) return DefWindowProcW(window, msg, wParam, lParam);  // never seen
    const LRESULT result = subclass->proc(window, msg, wParam, lParam, subclass->data);
    if (msg == WM_NCDESTROY) {
        // The window is gone: put its procedure back, as whoever comes last expects.
        if (subclass->unicode)
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclass->original));
        else
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclass->original));
        RemovePropW(window, kProperty);
        delete subclass;
    }
    return result;
}

}  // namespace

bool subclassWindow(HWND window, SubclassProc proc, DWORD_PTR data) {
    if (!window || !proc || subclassOf(window)) return false;
    auto* subclass = new Subclass{nullptr, proc, data, IsWindowUnicode(window) != FALSE};
    if (!SetPropW(window, kProperty, subclass)) {
        delete subclass;
        return false;
    }
    // The window keeps its character set: a window procedure set through the other
    // function would change the text its messages carry.
    subclass->original = reinterpret_cast<WNDPROC>(subclass->unicode ? GetWindowLongPtrW(window, GWLP_WNDPROC)
                                                                     : GetWindowLongPtrA(window, GWLP_WNDPROC));
    const LONG_PTR front = reinterpret_cast<LONG_PTR>(frontProc);
    if (!subclass->original || !(subclass->unicode ? SetWindowLongPtrW(window, GWLP_WNDPROC, front)
                                                   : SetWindowLongPtrA(window, GWLP_WNDPROC, front))) {
        RemovePropW(window, kProperty);
        delete subclass;
        return false;
    }
    return true;
}

LRESULT callOriginalProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    Subclass* subclass = subclassOf(window);
    if (!subclass) return DefWindowProcW(window, msg, wParam, lParam);
    return subclass->unicode ? CallWindowProcW(subclass->original, window, msg, wParam, lParam)
                             : CallWindowProcA(subclass->original, window, msg, wParam, lParam);
}

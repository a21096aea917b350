#include "job_window.h"

#include <memory>

void WindowJobListener::post(WPARAM wParam, const std::wstring* text) {
    std::unique_ptr<const std::wstring> owned(text);
    if (!window_) return;
    if (PostMessageW(window_, WM_JOB_NOTIFY, wParam, reinterpret_cast<LPARAM>(owned.get()))) owned.release();
}

void WindowJobListener::logLine(StepId step, const std::wstring& text) {
    post(MAKEWPARAM(JOB_LOGLINE, step), new std::wstring(text));
}

void WindowJobListener::status(const std::wstring& text) { post(JOB_STATUS, new std::wstring(text)); }

void WindowJobListener::finished() { post(JOB_FINISHED, nullptr); }

void WindowJobListener::waitFor(HANDLE done) { waitPumping(done); }

std::wstring takeNotifyText(LPARAM lParam) {
    std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
    return text ? *text : std::wstring();
}

bool waitPumping(HANDLE event, DWORD timeout) {
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - start;
        DWORD left = timeout == INFINITE ? INFINITE : (waited >= timeout ? 0 : timeout - waited);
        DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, left, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        // Everything queued now is handled before waiting again (the wait wakes only for
        // what arrives later); a removing peek never blocks, as a get could.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            const bool unicode = msg.hwnd && IsWindowUnicode(msg.hwnd);
            const BOOL got = unicode ? PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)
                                     : PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
            if (got && msg.message != WM_QUIT) {
                TranslateMessage(&msg);
                if (unicode)
                    DispatchMessageW(&msg);
                else
                    DispatchMessageA(&msg);
            }
            if (WaitForSingleObject(event, 0) == WAIT_OBJECT_0) return true;
        }
    }
}

// GoogleTest's Notification for the win32-thread compilers the programs are built with,
// which have no std::mutex or std::condition_variable: a manual-reset event. GoogleTest
// takes it instead of its own when GTEST_HAS_NOTIFICATION_ is set, and uses it only to
// start threads of its own. Included ahead of every source that sees GoogleTest's
// headers (tests/CMakeLists.txt).
#pragma once
#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() {
        if (event_) CloseHandle(event_);
    }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing

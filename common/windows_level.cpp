#include "windows_level.h"

#include <stdint.h>

namespace {

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Plain decimal accumulation of [begin, end), as the version text has always been read:
// no check of the characters (wrap-around arithmetic keeps odd input defined).
int32_t accumulate(const char* begin, const char* end) {
    uint32_t value = 0;
    for (const char* c = begin; c != end; ++c)
        value = value * 10u + static_cast<uint32_t>(static_cast<int32_t>(*c) - '0');
    return static_cast<int32_t>(value);
}

}  // namespace

WindowsLevel windowsLevelOf(DWORD platformId, DWORD major, DWORD minor) {
    if (platformId != VER_PLATFORM_WIN32_NT) {
        if (major < 4) return WindowsLevel::Unknown;
        if (major == 4 && minor == 10) return WindowsLevel::Windows98;
        if (major == 4 && minor == 90) return WindowsLevel::WindowsMe;
        return WindowsLevel::Windows95;
    }
    if (major <= 3) return WindowsLevel::OlderNt;
    if (major == 4) return WindowsLevel::Nt4;
    if (major == 5) {
        if (minor == 0) return WindowsLevel::Windows2000;
        if (minor == 1) return WindowsLevel::WindowsXp;
        if (minor == 2) return WindowsLevel::Server2003;
        return WindowsLevel::OlderNt;
    }
    if (major == 6 && minor == 0) return WindowsLevel::Vista;
    return WindowsLevel::Windows7;
}

void winVerNumbers(const char* winVer, int32_t* major, int32_t* minor) {
    const char* begin = winVer;
    const char* end = winVer;
    while (*end) ++end;
    while (begin < end && isWhite(*begin)) ++begin;
    while (end > begin && isWhite(end[-1])) --end;
    const char* dot = begin;
    while (dot != end && *dot != '.') ++dot;
    *major = accumulate(begin, dot);
    *minor = dot == end ? 0 : accumulate(dot + 1, end);
}

WindowsLevel windowsLevelOfWinVer(const char* winVer) {
    int32_t major = 0, minor = 0;
    winVerNumbers(winVer, &major, &minor);
    if (major < 4) return WindowsLevel::Unknown;
    if (major == 4) return WindowsLevel::Nt4;
    if (major == 5) {
        if (minor == 0) return WindowsLevel::Windows2000;
        if (minor == 1) return WindowsLevel::WindowsXp;
        if (minor == 2) return WindowsLevel::Server2003;
        return WindowsLevel::Unknown;
    }
    if (major == 6 && minor == 1) return WindowsLevel::Windows7;
    return WindowsLevel::Vista;
}

WindowsLevel runningWindowsLevel() {
    static const WindowsLevel level = [] {
        const DWORD packed = GetVersion();
        const DWORD platform = (packed & 0x80000000u) ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
        OSVERSIONINFOA info = {};
        info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExA(&info)) {
#pragma GCC diagnostic pop
            info.dwMajorVersion = LOBYTE(LOWORD(packed));
            info.dwMinorVersion = HIBYTE(LOWORD(packed));
        }
        return windowsLevelOf(platform, info.dwMajorVersion, info.dwMinorVersion);
    }();
    return level;
}

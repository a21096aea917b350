// Which Windows a program runs on, or a backup was made on, as both programs tell them
// apart: one named level per family and version that matters to them. The backup
// program's levels end at Vista (it treats every later Windows alike); the restore
// program also tells Windows 7 and later apart, and reads a backup's WinVer text.
#pragma once
#include <stdint.h>
#include <windows.h>

enum class WindowsLevel : int {
    Unknown = 0,      // a 16-bit-era or unreadable version
    OlderNt = 1,      // NT 3.x, or an NT 5 that is none of the three below
    Windows95 = 2,    // and every other 9x version
    Windows98 = 3,
    WindowsMe = 4,
    Nt4 = 5,
    Windows2000 = 6,
    WindowsXp = 7,
    Server2003 = 8,   // 5.2: Server 2003 and XP x64
    Vista = 9,        // 6.0; for the backup program, Vista and every later Windows
    Windows7 = 10,    // 6.1 and every later Windows (restore program)
};

inline int levelNumber(WindowsLevel level) { return static_cast<int>(level); }

// The level of a running system from its platform (VER_PLATFORM_*) and version numbers.
WindowsLevel windowsLevelOf(DWORD platformId, DWORD major, DWORD minor);
// The backup program's view: no level above Vista.
inline WindowsLevel backupLevelOf(WindowsLevel level) {
    return level > WindowsLevel::Vista ? WindowsLevel::Vista : level;
}
// The level a backup's WinVer text ("5.1", "6", " 6.1 ") names, as the restore program
// reads it: the major and minor numbers are the leading digits around the first dot;
// Unknown when the pair names no NT version (9x backups carry none). 6.1 is Windows 7;
// every other 6.x or later version reads as Vista.
WindowsLevel windowsLevelOfWinVer(const char* winVer);
// The major and minor numbers of a WinVer text as that rule reads them: blanks around it
// dropped, plain decimal accumulation around its first dot, a missing minor 0.
void winVerNumbers(const char* winVer, int32_t* major, int32_t* minor);
// The running system's level, computed once: the platform from the packed version, the
// numbers from the extended query.
WindowsLevel runningWindowsLevel();
// The 9x family (95, 98, Me).
inline bool isNineX(WindowsLevel level) {
    return level >= WindowsLevel::Windows95 && level <= WindowsLevel::WindowsMe;
}

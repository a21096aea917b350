// What a test reads back of a file's security: the DACL as SDDL text, and the DACL the
// backup program gives its folders and files, as the platform under test shows it.
#pragma once
#include <windows.h>

#include <string>

namespace testing_support {

// "D:..." of a file or folder, read with GetNamedSecurityInfoW; "error <n>" on failure.
std::string daclOf(const std::wstring& path);

// The administrators-only DACL of backup folders (inherited by what they hold) or files.
// Windows shows it as written. Wine keeps no descriptors: it derives one from the Unix
// permission bits, so there the same DACL reads as SYSTEM and the owner (Administrators
// stand for the user), without the protection flag.
std::string adminOnlyDacl(bool folder);

// True when the tests run under Wine.
bool runningUnderWine();

}  // namespace testing_support

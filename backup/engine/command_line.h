// The unattended command line: a folder template followed by options.
#pragma once
#include <windows.h>

#include <string>

#include "retention.h"

struct CommandLineOptions {
    DWORD hiveFlags = 0;  // HiveCategory bits from /reg:
    bool silent = false;
    bool overwrite = false;
    Retention retention;
    std::wstring folder;  // argument 1, unchanged
    bool splitFailed = false;
};

// Parses the full command line (program name first) and normalises the retention values.
CommandLineOptions parseCommandLine(const wchar_t* fullCommandLine);
// The leading decimal digits of text, capped at the 32-bit range.
int leadingNumber(const wchar_t* text);

// Help for the backup program: the local help file when it was installed together with
// its companion programs, else the online help page.
#pragma once
#include <windows.h>

#include <string>

// The one place that names the online help page.
constexpr const wchar_t* kOnlineHelpAddress = L"https://tolmen.example.org/help/";

// True when the folder lacks "Tolmen.chm", or has it without "lorn.exe" and "quib.exe".
bool UseOnlineHelp(const std::wstring& programFolder);

// The HTML Help module as the machine registers it (full path), or empty. Only the
// machine's registration counts, never one of the user's.
std::wstring registeredHelpModule();

// Opens help, owned by the window. Failures are silent.
void ShowHelp(HWND owner);

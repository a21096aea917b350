#include "wine_version.h"

#include <windows.h>

namespace testing_support {

WineVersionFor::WineVersionFor(const std::wstring& exeName, const std::wstring& version)
    : key_(L"Software\\Wine\\AppDefaults\\" + exeName) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    wchar_t old[64];
    DWORD cb = sizeof(old), type = 0;
    if (RegQueryValueExW(key, L"Version", nullptr, &type, reinterpret_cast<BYTE*>(old), &cb) == ERROR_SUCCESS &&
        type == REG_SZ) {
        previous_.assign(old, cb / sizeof(wchar_t));
        while (!previous_.empty() && previous_.back() == L'\0') previous_.pop_back();
        hadPrevious_ = true;
    }
    ok_ = RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                         static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
}

WineVersionFor::~WineVersionFor() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    if (hadPrevious_)
        RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_.c_str()),
                       static_cast<DWORD>((previous_.size() + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, L"Version");
    RegCloseKey(key);
}

}  // namespace testing_support

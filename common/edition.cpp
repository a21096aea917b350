#include "edition.h"

#include <cstring>

#include "platform.h"

namespace {

constexpr size_t kCchEdition = 259;  // a 260-character buffer with its terminator

using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);

// The edition text in the character type of the program. Appending stops at the end of
// the buffer, as the fixed buffers of both programs do.
template <class Ch>
class EditionText {
public:
    EditionText(std::basic_string<Ch>& out, UINT codePage) : out_(out), codePage_(codePage) { out_.clear(); }

    // Plain ASCII text: the same in both programs.
    void append(const char* ascii) {
        for (; *ascii; ++ascii) put(static_cast<Ch>(static_cast<unsigned char>(*ascii)));
    }
    void appendNumber(const char* prefix, long value, const char* suffix) {
        char digits[16];
        wsprintfA(digits, "%ld", value);
        append(prefix);
        append(digits);
        append(suffix);
    }
    // The one non-ASCII text: GBK bytes in the restore program (this file is compiled with
    // the GBK execution character set), wide text in the backup program.
    void appendLaterThanSeven();
    // The service-pack text of the record is ANSI: the wide form converts it from the
    // code page the record was made in.
    void appendServicePack(const char* ansi);

private:
    void put(Ch c) {
        if (out_.size() < kCchEdition) out_ += c;
    }
    std::basic_string<Ch>& out_;
    UINT codePage_;
};

template <>
void EditionText<wchar_t>::appendLaterThanSeven() {
    for (const wchar_t* p = L"Windows 7 以后版本"; *p; ++p) put(*p);
}
template <>
void EditionText<char>::appendLaterThanSeven() {
    for (const char* p = "Windows 7 以后版本"; *p; ++p) put(*p);
}

template <>
void EditionText<wchar_t>::appendServicePack(const char* ansi) {
    wchar_t wide[129] = {};
    MultiByteToWideChar(codePage_, 0, ansi, -1, wide, 128);
    for (const wchar_t* p = wide; *p; ++p) put(*p);
}
template <>
void EditionText<char>::appendServicePack(const char* ansi) {
    for (; *ansi; ++ansi) put(*ansi);
}

const char* productEdition(DWORD number) {
    switch (number) {
        case 1: return "Ultimate";
        case 2: return "Home Basic";
        case 3: return "Home Premium";
        case 4: return "Enterprise";
        case 6: return "Business";
        case 7: return "Standard";
        case 8: return "Datacenter";
        case 9: return "SmB Server";
        case 10: return "Enterprise";
        case 11: return "Starter";
        case 12: return "Datacenter (core)";
        case 13: return "Standard (core)";
        case 14: return "Enterprise (core)";
        case 15: return "Enterprise IA64";
        case 17: return "Web Server";
        case 18: return "Cluster Server";
        case 25: return "SmB Server Premium";
        default: return "";
    }
}

template <class Ch>
bool composeEdition(const OsInfoRecord& r, bool serverR2, std::basic_string<Ch>& out, UINT codePage = CP_ACP) {
    EditionText<Ch> text(out, codePage);
    // The record may come from a file: never read past its service-pack field.
    char servicePack[129];
    memcpy(servicePack, r.csdVersion, 128);
    servicePack[128] = '\0';

    if (r.platformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (r.majorVersion != 4) return true;
        if (r.minorVersion == 0) {
            text.append("Windows 95 ");
            if (servicePack[1] == 'B' || servicePack[1] == 'C') text.append("OSR2");
        } else if (r.minorVersion == 10) {
            text.append("Windows 98 ");
            if (servicePack[1] == 'A') text.append("SE");
        } else if (r.minorVersion == 90) {
            text.append("Windows Millennium");
        }
        return true;
    }
    if (r.platformId != VER_PLATFORM_WIN32_NT) return false;

    const DWORD major = r.majorVersion, minor = r.minorVersion;
    const bool workstation = r.productType == VER_NT_WORKSTATION;
    const WORD suite = r.suiteMask;
    const WORD arch = r.architecture;

    if (major > 6 || (major == 6 && minor >= 2)) text.appendLaterThanSeven();
    if (major == 6) {
        if (minor == 0) text.append(workstation ? "Windows Vista " : "Windows Server 2008 ");
        if (minor == 1) text.append(workstation ? "Windows 7 " : "Windows Server 2008 R2 ");
        text.append(productEdition(r.productNumber));
        if (arch == PROCESSOR_ARCHITECTURE_AMD64)
            text.append(", 64-bit");
        else if (arch == PROCESSOR_ARCHITECTURE_INTEL)
            text.append(", 32-bit");
    }
    if (major == 5 && minor == 2) {
        if (serverR2)
            text.append("Windows Server 2003 R2, ");
        else if (suite == VER_SUITE_STORAGE_SERVER)
            text.append("Windows Storage Server 2003 ");
        else if (workstation && arch == PROCESSOR_ARCHITECTURE_AMD64)
            text.append("Windows XP Professional x64 ");
        else
            text.append("Windows Server 2003, ");
        if (!workstation) {
            if (arch == PROCESSOR_ARCHITECTURE_IA64) {
                if (suite & VER_SUITE_DATACENTER)
                    text.append("Datacenter  for IA64");
                else if (suite & VER_SUITE_ENTERPRISE)
                    text.append("Enterprise  for IA64");
            } else if (arch == PROCESSOR_ARCHITECTURE_AMD64) {
                if (suite & VER_SUITE_DATACENTER)
                    text.append("Datacenter x64");
                else if (suite & VER_SUITE_ENTERPRISE)
                    text.append("Enterprise x64");
                else
                    text.append("Standard x64");
            } else {
                if (suite & VER_SUITE_COMPUTE_SERVER)
                    text.append("Compute Cluster");
                else if (suite & VER_SUITE_DATACENTER)
                    text.append("Datacenter");
                else if (suite & VER_SUITE_ENTERPRISE)
                    text.append("Enterprise");
                else if (suite & VER_SUITE_BLADE)
                    text.append("Web");
                else
                    text.append("Standard");
            }
        }
    }
    if (major == 5 && minor == 1) {
        text.append("Windows XP ");
        text.append((suite & VER_SUITE_PERSONAL) ? "Home" : "Professional");
    }
    if (major == 5 && minor == 0) {
        text.append("Windows 2000 ");
        if (workstation)
            text.append("Professional");
        else if (suite & VER_SUITE_DATACENTER)
            text.append("Datacenter Server");
        else if (suite & VER_SUITE_ENTERPRISE)
            text.append("Advanced Server");
        else
            text.append("Server");
    }
    if (major == 4 || major == 3) {
        text.append(major == 4 ? "Windows NT 4" : "Windows NT 3");
        text.appendNumber(".", static_cast<long>(minor), " ");
        if (workstation)
            text.append("Workstation");
        else if (suite & VER_SUITE_ENTERPRISE)
            text.append("Advanced Server");
        else
            text.append("Server");
    }
    if (servicePack[0] != '\0') {
        text.append(" ");
        text.appendServicePack(servicePack);
    }
    text.appendNumber(" (build ", static_cast<long>(r.buildNumber), ")");
    return true;
}

bool serverR2Metric() { return GetSystemMetrics(SM_SERVERR2) != 0; }

// Fills the record from the running system: version, architecture and, on version 6,
// the product number.
bool queryRecord(OsInfoRecord& record) {
    memset(&record, 0, sizeof(record));
    OSVERSIONINFOEXA version = {};
    static_assert(sizeof(version) == 156, "the extended ANSI version record is 156 bytes");
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
    memcpy(&record, &version, sizeof(version));

    SYSTEM_INFO info = {};
    static const auto native = systemFunction<GetNativeSystemInfoFn>(L"kernel32.dll", "GetNativeSystemInfo");
    if (native)
        native(&info);
    else
        GetSystemInfo(&info);
    record.architecture = info.wProcessorArchitecture;

    if (record.platformId == VER_PLATFORM_WIN32_NT && record.majorVersion == 6) {
        // Every version-6 system has the query; a missing one leaves the number 0 rather
        // than calling through a null pointer.
        static const auto productInfo = systemFunction<GetProductInfoFn>(L"kernel32.dll", "GetProductInfo");
        DWORD number = 0;
        if (productInfo && productInfo(6, 0, 0, 0, &number)) record.productNumber = number;
    }
    return true;
}

}  // namespace

bool editionTextW(const OsInfoRecord& record, bool serverR2, std::wstring& text) {
    return composeEdition(record, serverR2, text);
}

bool editionTextA(const OsInfoRecord& record, bool serverR2, std::string& text) {
    return composeEdition(record, serverR2, text);
}

bool editionTextInCodePage(const OsInfoRecord& record, bool serverR2, UINT codePage, std::string& text) {
    text.clear();
    std::wstring wide;
    if (!composeEdition(record, serverR2, wide, codePage)) return false;
    if (wide.empty()) return true;
    // Converted as the profile functions convert a value they write: characters the code
    // page lacks become its default character.
    int cb = WideCharToMultiByte(codePage, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                 nullptr);
    if (cb <= 0) return false;
    text.resize(static_cast<size_t>(cb));
    WideCharToMultiByte(codePage, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0], cb, nullptr, nullptr);
    // The restore program reads OSString into 260 bytes.
    if (text.size() > kCchEdition) text.resize(kCchEdition);
    return true;
}

bool identifyWindows(std::wstring& text, OsInfoRecord& record) {
    text.clear();
    if (!queryRecord(record)) return false;
    return composeEdition(record, serverR2Metric(), text);
}

bool identifyWindowsA(std::string& text, OsInfoRecord& record, IdentifyMode mode) {
    text.clear();
    if (mode == IdentifyMode::Query && !queryRecord(record)) return false;
    return editionTextInCodePage(record, serverR2Metric(), CP_ACP, text);
}

#include "dacl_support.h"

#include <aclapi.h>
#include <sddl.h>

#include "test_support.h"

namespace testing_support {

std::string daclOf(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD r = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    nullptr, nullptr, &descriptor);
    if (r != ERROR_SUCCESS) return "error " + std::to_string(r);
    LPWSTR text = nullptr;
    std::string out = "error converting";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        out = toUtf8(text);
        LocalFree(text);
    }
    LocalFree(descriptor);
    return out;
}

bool runningUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::string adminOnlyDacl(bool folder) {
    const std::string inherit = folder ? "OICI" : "";
    if (!runningUnderWine()) return "D:P(A;" + inherit + ";FA;;;SY)(A;" + inherit + ";FA;;;BA)";
    return "D:(A;" + inherit + ";FA;;;SY)(A;" + inherit + ";FA;;;S-1-5-21-0-0-0-1000)";
}

}  // namespace testing_support

#include "command_line.h"

#include <shellapi.h>

#include <climits>

#include "hive_types.h"

namespace {

bool startsWithNoCase(const wchar_t* text, const wchar_t* prefix) {
    int cch = lstrlenW(prefix);
    return lstrlenW(text) >= cch &&
           CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, text, cch, prefix, cch) == CSTR_EQUAL;
}

// The standard splitting reads backslash-quote as a literal quote, so the natural form
// "C:\Backups\<date>\" /silent would swallow the options into the folder. No folder can
// hold a quote, so every quote is made a delimiter: a quote after an odd run of
// backslashes gets one more backslash.
std::wstring quotesAsDelimiters(const wchar_t* commandLine) {
    std::wstring out;
    size_t backslashes = 0;
    for (const wchar_t* c = commandLine; *c; ++c) {
        if (*c == L'"' && backslashes % 2 == 1) out += L'\\';
        backslashes = (*c == L'\\') ? backslashes + 1 : 0;
        out += *c;
    }
    return out;
}

}  // namespace

int leadingNumber(const wchar_t* text) {
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

CommandLineOptions parseCommandLine(const wchar_t* fullCommandLine) {
    CommandLineOptions options;
    int argc = 0;
    std::wstring line = quotesAsDelimiters(fullCommandLine);
    LPWSTR* argv = CommandLineToArgvW(line.c_str(), &argc);
    if (!argv) {
        options.splitFailed = true;
        return options;
    }
    if (argc > 1) options.folder = argv[1];
    for (int i = 2; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (startsWithNoCase(arg, L"/reg:")) {
            for (const wchar_t* c = arg + 5; *c; ++c) {
                if (*c == L'S' || *c == L's') options.hiveFlags |= kHiveSystem;
                if (*c == L'U' || *c == L'u') options.hiveFlags |= kHiveCurrentUser;
                if (*c == L'O' || *c == L'o') options.hiveFlags |= kHiveOthers;
            }
        } else if (lstrcmpiW(arg, L"/silent") == 0) {
            options.silent = true;
        } else if (lstrcmpiW(arg, L"/overwrite") == 0) {
            options.overwrite = true;
        } else if (startsWithNoCase(arg, L"/limitdays:")) {
            options.retention.mode = Retention::kByAge;
            options.retention.days = static_cast<UINT>(leadingNumber(arg + 11));
        } else if (startsWithNoCase(arg, L"/limitcount:")) {
            options.retention.mode = Retention::kByCount;
            options.retention.count = static_cast<UINT>(leadingNumber(arg + 12));
        }
    }
    LocalFree(argv);

    options.retention.repair();
    return options;
}

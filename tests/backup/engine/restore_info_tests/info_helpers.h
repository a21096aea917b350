// Shared pieces of the restore information tests: a job that needs no worker, saved-hive
// records, and the written files taken apart into lines.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job.h"
#include "test_support.h"

namespace info_tests {

// GBK bytes of the two warning lines.
inline const std::string kWarning1 = "\xD3\xC0\xD4\xB6\xB2\xBB\xD2\xAA\xB1\xE0\xBC\xAD\xCF\xC2\xC3\xE6\xB5\xC4\xD0\xD0";
inline const std::string kWarning2 = "\xD3\xC0\xD4\xB6\xB2\xBB\xD2\xAA\xB1\xE0\xBC\xAD\xC9\xCF\xC3\xE6\xB5\xC4\xD0\xD0";

// A job as runBackup leaves it after the saving: only the lock needs preparing.
struct TestJob {
    BackupJob job;
    TestJob() { InitializeCriticalSection(&job.lock); }
    ~TestJob() { DeleteCriticalSection(&job.lock); }
};

inline SavedHiveEntry savedEntry(HKEY root, const wchar_t* subkey, const std::wstring& savedPath,
                                 const std::wstring& livePath, DWORD category) {
    SavedHiveEntry e = {};
    e.rootKey = root;
    copyField(e.subkey, subkey);
    copyField(e.savedPath, savedPath.c_str());
    copyField(e.liveFilePath, livePath.c_str());
    // ".bak" only for a file name without an extension.
    const wchar_t* name = wcsrchr(livePath.c_str(), L'\\');
    std::wstring replacement = livePath;
    if (!wcschr(name ? name : livePath.c_str(), L'.')) replacement += L".bak";
    copyField(e.replacementBackupPath, replacement.c_str());
    e.category = category;
    return e;
}

// The lines of a CR LF file; a lone CR or LF fails the test.
inline std::vector<std::string> crlfLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "last line without CR LF";
            end = bytes.size();
        }
        std::string line = bytes.substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "lone CR or LF in: " << line;
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

// The text after "key=" of the first line that starts so; empty when there is none.
inline std::string valueOf(const std::vector<std::string>& lines, const std::string& key) {
    for (const std::string& line : lines)
        if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
    return {};
}

inline std::string ansi(const std::wstring& text) { return testing_support::toAnsi(text); }

// OSINFO as the profile-structure format writes it: upper-case hex and a checksum byte.
inline std::string structHex(const void* data, size_t cb) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    unsigned sum = 0;
    for (size_t i = 0; i <= cb; ++i) {
        unsigned char b = i < cb ? static_cast<const unsigned char*>(data)[i] : static_cast<unsigned char>(sum);
        sum += b;
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

}  // namespace info_tests

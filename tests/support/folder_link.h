// Folder links planted for a test. Wine has no links of its own (CreateSymbolicLinkW and
// junctions do nothing there): these are Unix symbolic links, made from the Unix side.
// Wine lists such a link as a folder that is a reparse point and follows it when opening,
// also with FILE_FLAG_OPEN_REPARSE_POINT.
#pragma once
#include <windows.h>

#include <string>

namespace testing_support {

// The Unix path Wine maps a Windows path to (its parent must exist); empty off Wine.
std::string unixPathOf(const std::wstring& path);

// Makes `link` (no trailing backslash) a symbolic link to the folder `target`.
bool makeFolderLink(const std::wstring& link, const std::wstring& target);
// Removes such a link (not what it leads to); the scratch clean-up cannot.
bool removeFolderLink(const std::wstring& link);

// A link made for a test and removed at its end.
struct FolderLink {
    FolderLink(const std::wstring& link, const std::wstring& target)
        : path(link), made(makeFolderLink(link, target)) {}
    ~FolderLink() {
        if (made) removeFolderLink(path);
    }
    FolderLink(const FolderLink&) = delete;
    FolderLink& operator=(const FolderLink&) = delete;
    std::wstring path;
    bool made;
};

}  // namespace testing_support

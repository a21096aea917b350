// Which Windows the test platform reports to one program, through Wine's own Version value
// for that program (HKCU\Software\Wine\AppDefaults\<exe name>, value Version: "nt40",
// "win2k", "winxp", "win2003", "win7", "win8", "win81", "win10"). A program started while
// the object lives sees that version; other programs are not affected, so suites running
// at the same time keep theirs. The earlier setting comes back when the object goes.
#pragma once
#include <string>

namespace testing_support {

class WineVersionFor {
public:
    WineVersionFor(const std::wstring& exeName, const std::wstring& version);
    ~WineVersionFor();
    WineVersionFor(const WineVersionFor&) = delete;
    WineVersionFor& operator=(const WineVersionFor&) = delete;
    bool ok() const { return ok_; }

private:
    std::wstring key_;
    std::wstring previous_;
    bool hadPrevious_ = false;
    bool ok_ = false;
};

}  // namespace testing_support

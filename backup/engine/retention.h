// How many earlier backups a run keeps: the one setting that RegOpt.ini (LimitBackup,
// LimitBackupDays, LimitBackupCount), the unattended command line (/limitdays:,
// /limitcount:) and the advanced options dialog each give, with the one repair all of
// them apply.
#pragma once
#include <windows.h>

struct Retention {
    static constexpr UINT kKeepAll = 0;
    static constexpr UINT kByAge = 1;    // backups older than `days` go; the newest `count` stay
    static constexpr UINT kByCount = 2;  // all but the newest `count` go
    static constexpr UINT kDefaultDays = 30;
    static constexpr UINT kDefaultCount = 10;

    UINT mode = kKeepAll;  // any other value keeps all too
    UINT days = kDefaultDays;
    UINT count = kDefaultCount;

    // A limit of 0 is no limit: it becomes its default, and the mode that uses it keeps
    // all. Nothing else is checked. After every read and before every write.
    void repair() {
        if (days == 0) {
            if (mode == kByAge) mode = kKeepAll;
            days = kDefaultDays;
        }
        if (count == 0) {
            if (mode == kByCount) mode = kKeepAll;
            count = kDefaultCount;
        }
    }
    bool operator==(const Retention& other) const {
        return mode == other.mode && days == other.days && count == other.count;
    }
};

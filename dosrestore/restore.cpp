#include "restore.h"

#include "../common/hive_path.h"
#include "console.h"
#include "copy_checks.h"
#include "ini_file.h"
#include "screens.h"
#include "text.h"

namespace survin {

namespace {

const char kNextHiveQuestion[] = "Do you want to continue with the next hive? (Y/N):";
const char kContinueQuestion[] = "Do you want to continue? (Y/N):";

void showErrorLine(const char* what, int error) { con::printf("%s: %s\r\n", what, errorText(error)); }

// A backup folder can come from anywhere, so an entry's own values decide whether it may
// be restored at all: its saved file must lie inside the backup folder, and its live path
// (after the drive-letter rule) must name a file of the kind its Type says. Returns the
// value that refuses the entry, or nullptr.
const char* refusedValue(const char* type, const char* hive, const char* saved) {
    if (!survinini::isInsideBackupFolder(saved)) return saved;
    if (type[0] && hivepath::hiveKindOfType(type) == hivepath::HiveKind::Invalid) return type;
    if (!hivepath::isHiveTargetOfType(hive, type)) return hive;
    return nullptr;
}

// Only the drive letter follows the Windows root; the rest stays as the backup recorded it.
void onRootDrive(const State& state, char* hive) {
    if (state.szRoot[0]) hive[0] = state.szRoot[0];
}

}  // namespace

int Restore(const State& state, const char* hivePath, const char* savedPath) {
    con::setAttr(kAttrWork);
    char saved[kCchPath];
    text::copy(saved, state.szAppDir, sizeof saved);
    text::append(saved, savedPath, sizeof saved);
    ClearMsg();

    // A saved path cut by the buffer would name another file: count it as missing.
    if (text::length(state.szAppDir) + text::length(savedPath) >= int(sizeof saved) || !PathFileExists(saved)) {
        ClearMsg();
        con::printf("Can't find backup hive: %s", savedPath);
        return MsgYesNo(kNextHiveQuestion);
    }

    char hive[kCchValue];
    text::copy(hive, hivePath, sizeof hive);
    onRootDrive(state, hive);

    // Judged before anything is read or copied: a path the copy command would misread or
    // that opens a device (reading one may wait for ever), then a saved file that cannot
    // be a hive. Nothing of the live hive is touched for such an entry.
    int error = checkCopyPath(saved);
    if (!error) error = checkCopyPath(hive);
    if (!error) error = checkSavedFile(saved);
    if (error) {
        showErrorLine("Unable to restore hive", error);
        return MsgYesNo(kNextHiveQuestion);
    }

    bool backUp = state.bBackup != 0;
    if (!PathFileExists(hive)) {
        ClearMsg();
        con::printf("Hive to replace not found: %s", hive);
        if (!MsgYesNo(kContinueQuestion)) return 0;
        backUp = false;
    }

    if (backUp) {
        char bak[kCchValue + 4];
        text::copy(bak, hive, sizeof bak);
        text::append(bak, ".bak", sizeof bak);
        ClearMsg();
        // Checked like the restore copy: a backup that was not made must not pass for one.
        // A ".bak" appended to a name with an extension is no DOS name, and DOS would refuse
        // it or cut it back to the live file's own name.
        error = hivepath::isShortName(bak + text::lastIndexOf(bak, '\\') + 1) ? runCopy(hive, bak) : kErrBadName;
        if (error) {
            showErrorLine("Unable to backup hive", error);
            if (!MsgYesNo(kContinueQuestion)) return 0;
        }
    }

    error = runCopy(saved, hive);
    if (error) {
        showErrorLine("Unable to restore hive", error);
        if (!MsgYesNo(kNextHiveQuestion)) return 0;
    }
    return 1;
}

void Start(State& state) {
    openIniOrExit(state);
    int total = 0;
    if (state.dwHivesSel & survinini::kCategorySystem) total += state.nTotHivesSys;
    if (state.dwHivesSel & survinini::kCategoryCurrentUser) total += state.nTotHivesUsr;
    if (state.dwHivesSel & survinini::kCategoryOthers) total += state.nTotHivesOth;
    int done = 0;

    con::gotoXY(1, 10);
    con::puts("Restoring\r\n");
    con::puts("Please wait...");
    DrawProgress(0, total);

    IniLines lines{state};
    DataWalk walk(lines, state.dwHivesSel);
    for (survinini::DataEntry<char> entry; walk.next(entry);) {
        char status[kCchPath];
        text::format(status, sizeof status, "Restoring %s (%d of %d)", entry.saved, done + 1, total);
        PrintStatusBar(status);
        con::setAttr(kAttrWork);
        con::gotoXY(1, 10);
        con::clearToEol();
        con::puts(status);
        // The entry is judged as it would be written.
        char hive[kCchValue];
        text::copy(hive, entry.hive, sizeof hive);
        onRootDrive(state, hive);
        int goOn;
        if (const char* refused = refusedValue(entry.type, hive, entry.saved)) {
            ClearMsg();
            con::printf("Hive information invalid: %s", refused);
            goOn = MsgYesNo(kNextHiveQuestion);
        } else {
            goOn = Restore(state, hive, entry.saved);
        }
        if (!goOn) break;
        ++done;
        DrawProgress(done, total);
    }
    closeText(state.hfile);
}

}  // namespace survin

// Helpers of the restore engine's tests: backup folders with a hand-written SURVIN.INI,
// and a front end that records what the engine reports, answers its questions from a
// script and stands in for the hive replacement and the restart.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "engine.h"
#include "osinfo.h"
#include "session.h"
#include "test_support.h"

namespace restore_tests {

std::string ansi(const std::wstring& text);
std::wstring wide(const std::string& text);

// The running system as the backup program would record it.
struct SystemRecord {
    std::string winVer;  // "%d.%d"
    std::string osString;
    OsInfoRecord record;
};
SystemRecord runningSystem();

// Writes one value of SURVIN.INI; a null value deletes the key.
void writeValue(const std::string& ini, const char* section, const char* key, const char* value);
std::string readValue(const std::string& ini, const char* section, const char* key);

// A SURVIN.INI as the backup program writes it, for the running system (or a given
// record, whose edition text then becomes OSString).
void writeInfoSection(const std::string& ini, const std::string& sysRoot);
void writeInfoSection(const std::string& ini, const std::string& sysRoot, const std::string& winVer,
                      const OsInfoRecord& record);
void writeHiveSection(const std::string& ini, int index, const std::string& type, const std::string& saved,
                      const std::string& hive, int category);

// A backup folder in a scratch folder: SURVIN.INI and saved hive files.
class BackupFolder {
public:
    BackupFolder();
    const std::string& folder() const { return folder_; }  // trailing backslash
    std::string ini() const { return folder_ + "SURVIN.INI"; }
    // Writes a saved hive file (relative path, folders created) with the given bytes.
    void saveHive(const std::string& saved, const std::string& bytes);
    // Writes a saved hive file that loads as a hive and carries tag; returns its bytes.
    std::string saveLoadableHive(const std::string& saved, const std::string& tag);
    // A session for this folder as the program would hold it before a run (not loaded).
    RestoreSession session(const std::string& targetRoot, DWORD selected = 7) const;

private:
    testing_support::ScratchDir dir_;
    std::string folder_;
};

// An installation tree on drive R: (a folder of the prefix): R:\tolmen-tests\<tag>\...
class OfflineTree {
public:
    OfflineTree();
    ~OfflineTree();
    OfflineTree(const OfflineTree&) = delete;
    OfflineTree& operator=(const OfflineTree&) = delete;
    // "R:\tolmen-tests\restore-<pid>-<n>" without a trailing backslash.
    const std::string& root() const { return root_; }
    // Writes a file (folders created).
    static void put(const std::string& path, const std::string& bytes);

private:
    std::string root_;
};

// What the engine reported, in order.
enum class Reported { Started, Status, Line, Finished };

// The engine's front end for a test: records the reports, answers the Yes/No questions from
// answers, and records the hive replacements and restarts instead of making them.
class ScriptedActions : public RestoreCallback {
public:
    struct Notice {
        Reported kind;
        std::wstring text;  // empty for Started and Finished
        RestoreStep step;
    };
    struct Question {
        std::string text;
        bool note;                // the note before the restart, not a Yes/No question
        QuestionCaption caption;  // of a Yes/No question
        std::string noteCaption;  // of the note
    };
    struct Replacement {
        HKEY root;
        std::string subKey, newFile, oldFile;
    };

    void started() override { notices.push_back({Reported::Started, std::wstring(), kOwnLine}); }
    void status(const std::string& text) override { notices.push_back({Reported::Status, wide(text), kOwnLine}); }
    void logLine(RestoreStep step, const std::string& text) override {
        notices.push_back({Reported::Line, wide(text), step});
    }
    void finished() override { notices.push_back({Reported::Finished, std::wstring(), kOwnLine}); }
    bool askToGoOn(const std::string& text, QuestionCaption caption) override;
    void restartNote(const std::string& text, const std::string& caption) override {
        questions.push_back({text, true, QuestionCaption::Program, caption});
    }
    LONG replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                    const std::string& oldFile) override;
    void restartWindows() override { ++restarts; }
    // The real check, except for the files named in uncheckable: for those the check
    // cannot be made (as without the restore privilege, or without room for the copy).
    HiveCheckResult loadCheck(const std::wstring& file, const std::wstring& scratchParent) override;

    // The texts reported as kind.
    std::vector<std::wstring> lines(Reported kind) const;
    // The progress list made of the log lines from the first-th on: a line of a step
    // replaces the line of the same step, any other line is added.
    std::vector<std::wstring> log(size_t first = 0) const;

    std::vector<Notice> notices;
    std::vector<int> answers;           // IDYES or IDNO for the Yes/No questions, in order
    std::vector<LONG> replaceResults;   // in order; ERROR_SUCCESS once used up
    std::vector<Question> questions;    // every question and note
    std::vector<Replacement> replacements;
    int restarts = 0;
    std::vector<std::string> uncheckable;
    std::vector<std::wstring> scratchParents;  // where each check was asked to make its copy
};

std::string fileBytes(const std::string& path);
bool exists(const std::string& path);

}  // namespace restore_tests

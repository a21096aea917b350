// The restore engine: builds the restore plan from SURVIN.INI and restores each hive by
// hive replacement (running Windows) or by copying files (an offline installation). It
// shows nothing itself: what it tells and asks goes through a RestoreCallback.
#pragma once
#include <windows.h>

#include <string>

#include "hive_check.h"

struct RestoreSession;

// The progress list line a log line writes. The lines of one step replace one another, so
// that a hive's line ends up carrying its result; a line of kOwnLine is always a new one.
using RestoreStep = int;
constexpr RestoreStep kOwnLine = 0;
// "恢复 (n / N) H ..." of the n-th hive, and the same line with its result.
inline RestoreStep restoreStep(int n) { return 2 * n; }
// "备份配置单元 (n / N) H..." of the n-th hive.
inline RestoreStep backupCopyStep(int n) { return 2 * n + 1; }

// The caption of a question: the program's own (from its resources, which belong to the
// front end), or the one of copying into an offline installation.
enum class QuestionCaption { Program, RestoreError };

// What the engine tells and asks while it runs, and what it asks of Windows that tests
// replace. The wizard's progress page is the front end. This base shows nothing, answers
// every question No and makes the real Windows calls.
class RestoreCallback {
public:
    virtual ~RestoreCallback() = default;
    // The run has begun.
    virtual void started() {}
    // A one-line status of the current step.
    virtual void status(const std::string&) {}
    // A line for the progress list.
    virtual void logLine(RestoreStep, const std::string&) {}
    // The run has ended: the session's failed and failureCode are final.
    virtual void finished() {}
    // A Yes/No question after a failed step: Yes goes on.
    virtual bool askToGoOn(const std::string&, QuestionCaption) { return false; }
    // The note before the restart; returns once it was read.
    virtual void restartNote(const std::string&, const std::string&) {}

    virtual LONG replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                            const std::string& oldFile);
    virtual void restartWindows();
    // The registry's load check of a saved file (checkHive).
    virtual HiveCheckResult loadCheck(const std::wstring& file, const std::wstring& scratchParent);
};

// Fills session.plan from the selected DATA sections, reporting to session.callback (none
// when it is null). On failure sets failed and the code (611, 612), except when SURVIN.INI
// itself is gone.
bool BuildRestorePlan(RestoreSession& session);
// The whole restore, reported to and asked through callback. A run in which any step
// failed ends with failed set and the code of its first failure, also when the user chose
// to go on.
void RunRestore(RestoreSession& session, RestoreCallback& callback);
void RestartWindows();

#include "job_report.h"

#include <cstdarg>

void postProgress(const JobReport& report, JobNotifyKind kind, const wchar_t* format, ...) {
    wchar_t buffer[1025];
    va_list args;
    va_start(args, format);
    wvsprintfW(buffer, format, args);
    va_end(args);
    report.postLine(kind, buffer);
}

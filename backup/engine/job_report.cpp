#include "job_report.h"

#include <cstdarg>

namespace {

std::wstring formatted(const wchar_t* format, va_list args) {
    wchar_t buffer[1025];
    wvsprintfW(buffer, format, args);
    return buffer;
}

}  // namespace

void reportLine(const JobReport& report, StepId step, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = formatted(format, args);
    va_end(args);
    report.logLine(step, text);
}

void reportStatus(const JobReport& report, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = formatted(format, args);
    va_end(args);
    report.status(text);
}

// String helpers for the DOS restore program, which has no C library. Every writer takes
// the size of its buffer (cch, counting the terminating NUL) and cuts rather than overflows.
#pragma once
#include <stdarg.h>
#include <stdint.h>

namespace text {

int length(const char* s);
// Copies at most cch - 1 characters and always terminates (cch > 0).
void copy(char* dst, const char* src, int cch);
// Appends as much of src as fits.
void append(char* dst, const char* src, int cch);
char toLower(char c);
// Index of the last occurrence of c, or -1.
int lastIndexOf(const char* s, char c);

// printf subset: %s, %d, %ld, %u, %lu, %c and %% with an optional width and '-' flag.
// The result is cut to cch - 1 characters. Returns the length written.
int format(char* out, int cch, const char* fmt, ...);
int formatV(char* out, int cch, const char* fmt, va_list args);

}  // namespace text

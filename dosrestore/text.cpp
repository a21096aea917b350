#include "text.h"

namespace text {

int length(const char* s) {
    int n = 0;
    while (s[n]) ++n;
    return n;
}

void copy(char* dst, const char* src, int cch) {
    if (cch <= 0) return;
    int i = 0;
    for (; i < cch - 1 && src[i]; ++i) dst[i] = src[i];
    dst[i] = 0;
}

void append(char* dst, const char* src, int cch) {
    int n = length(dst);
    if (n < cch) copy(dst + n, src, cch - n);
}

char toLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

int lastIndexOf(const char* s, char c) {
    int found = -1;
    for (int i = 0; s[i]; ++i) {
        if (s[i] == c) found = i;
    }
    return found;
}

namespace {

struct Sink {
    char* out;
    int cch;
    int n;
    void put(char c) {
        if (n < cch - 1) out[n++] = c;
    }
};

// Writes s padded to width (right-aligned unless left).
void putPadded(Sink& sink, const char* s, int width, bool left) {
    int len = length(s);
    if (!left) {
        for (int i = len; i < width; ++i) sink.put(' ');
    }
    for (int i = 0; i < len; ++i) sink.put(s[i]);
    if (left) {
        for (int i = len; i < width; ++i) sink.put(' ');
    }
}

void unsignedDigits(char* buffer, uint32_t value) {
    char reversed[12];
    int n = 0;
    do {
        reversed[n++] = char('0' + value % 10);
        value /= 10;
    } while (value);
    int i = 0;
    while (n) buffer[i++] = reversed[--n];
    buffer[i] = 0;
}

}  // namespace

int formatV(char* out, int cch, const char* fmt, va_list args) {
    if (cch <= 0) return 0;
    Sink sink{out, cch, 0};
    for (const char* p = fmt; *p; ++p) {
        if (*p != '%') {
            sink.put(*p);
            continue;
        }
        ++p;
        bool left = false;
        if (*p == '-') {
            left = true;
            ++p;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
        bool isLong = false;
        if (*p == 'l') {
            isLong = true;
            ++p;
        }
        char number[14];
        switch (*p) {
        case 's': {
            const char* s = va_arg(args, const char*);
            putPadded(sink, s ? s : "(null)", width, left);
            break;
        }
        case 'd': {
            int32_t v = isLong ? int32_t(va_arg(args, long)) : int32_t(va_arg(args, int));
            if (v < 0) {
                number[0] = '-';
                unsignedDigits(number + 1, uint32_t(0) - uint32_t(v));
            } else {
                unsignedDigits(number, uint32_t(v));
            }
            putPadded(sink, number, width, left);
            break;
        }
        case 'u': {
            uint32_t v = isLong ? uint32_t(va_arg(args, unsigned long))
                                : uint32_t(va_arg(args, unsigned int));
            unsignedDigits(number, v);
            putPadded(sink, number, width, left);
            break;
        }
        case 'c':
            number[0] = char(va_arg(args, int));
            number[1] = 0;
            putPadded(sink, number, width, left);
            break;
        case '%':
            sink.put('%');
            break;
        case 0:
            --p;  // a lone '%' at the end
            break;
        default:
            sink.put('%');
            sink.put(*p);
            break;
        }
    }
    out[sink.n] = 0;
    return sink.n;
}

int format(char* out, int cch, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = formatV(out, cch, fmt, args);
    va_end(args);
    return n;
}

}  // namespace text

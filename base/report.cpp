#include "base/report.h"

#include <cstdarg>
#include <cstdio>

namespace {

// The line is formatted whole and written with one call, so that lines from a child process or
// another thread never interleave mid-line.
void emit(std::FILE* stream, const char* prefix, const char* format, va_list args) {
    char line[2048];
    int n = std::snprintf(line, sizeof line, "%s", prefix);
    if (n < 0) n = 0;
    const int text = std::vsnprintf(line + n, sizeof line - static_cast<size_t>(n), format, args);
    size_t length = static_cast<size_t>(n) + (text > 0 ? static_cast<size_t>(text) : 0);
    if (length > sizeof line - 2) length = sizeof line - 2;  // a longer text is cut, never overrun
    line[length] = '\n';
    // What stdout holds comes first, so that a log of both streams reads in the order it happened.
    if (stream != stdout) std::fflush(stdout);
    std::fwrite(line, 1, length + 1, stream);
    std::fflush(stream);
}

}  // namespace

#define TOVRAK_REPORT(name, stream, prefix)      \
    void name(const char* format, ...) {         \
        va_list args;                            \
        va_start(args, format);                  \
        emit(stream, prefix, format, args);      \
        va_end(args);                            \
    }

TOVRAK_REPORT(reportError, stderr, "Error: ")
TOVRAK_REPORT(reportWarning, stderr, "Warning: ")
TOVRAK_REPORT(reportNote, stderr, "Note: ")
TOVRAK_REPORT(reportLine, stdout, "")

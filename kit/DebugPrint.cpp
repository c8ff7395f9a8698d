#include "DebugPrint.h"

#include "Unicode.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>

namespace {

std::mutex g_sinkMutex; // guards g_sink
DebugSink g_sink;

bool traceToStderr() {
    static const bool isOn = [] {
        const char* value = std::getenv("VELLUMO_TRACE");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return isOn;
}

// Drops a UTF-8 sequence that truncation cut in two.
size_t utf8SafeLength(const char* text, size_t length) {
    size_t start = length;
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return length;
    const auto lead = static_cast<unsigned char>(text[start - 1]);
    size_t need = 1;
    if ((lead & 0xE0) == 0xC0)
        need = 2;
    else if ((lead & 0xF0) == 0xE0)
        need = 3;
    else if ((lead & 0xF8) == 0xF0)
        need = 4;
    return (length - (start - 1) < need) ? start - 1 : length;
}

void emit(std::string_view line) {
    {
        std::lock_guard lock(g_sinkMutex);
        if (g_sink) {
            g_sink(line);
            return;
        }
    }
    if (traceToStderr())
        std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace

void DebugPrint(const char* format, ...) {
    char buffer[kDebugPrintBufferBytes];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0)
        return;
    size_t length = static_cast<size_t>(written);
    if (length >= sizeof buffer)
        length = utf8SafeLength(buffer, sizeof buffer - 1);
    emit(std::string_view(buffer, length));
}

void DebugPrintW(const wchar_t* format, ...) {
    wchar_t wide[kDebugPrintBufferBytes / sizeof(wchar_t)];
    wide[0] = L'\0';
    va_list args;
    va_start(args, format);
    const int written = std::vswprintf(wide, sizeof wide / sizeof wide[0], format, args);
    va_end(args);
    // vswprintf gives -1 on truncation, leaving the buffer's contents unsure.
    if (written < 0)
        wide[sizeof wide / sizeof wide[0] - 1] = L'\0';
    std::string narrow = kvu::ToUtf8(wide);
    if (narrow.size() >= kDebugPrintBufferBytes)
        narrow.resize(utf8SafeLength(narrow.data(), kDebugPrintBufferBytes - 1));
    emit(narrow);
}

void SetDebugSink(DebugSink sink) {
    std::lock_guard lock(g_sinkMutex);
    g_sink = std::move(sink);
}

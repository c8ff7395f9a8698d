#pragma once

#include <functional>
#include <string_view>

// The debug trace. Every module formats its diagnostic lines printf-style into
// a buffer of kDebugPrintBufferBytes; longer lines are cut at a character
// boundary. Silent by default; VELLUMO_TRACE=1 sends the trace to standard
// error; tests install a capture sink.

inline constexpr int kDebugPrintBufferBytes = 16384;

void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DebugPrintW(const wchar_t* format, ...);

using DebugSink = std::function<void(std::string_view line)>;

// Replaces the sink for the whole process; an empty sink restores the default.
// Callable from any thread; lines being written meanwhile go to either sink.
void SetDebugSink(DebugSink sink);

#pragma once

#include <functional>

// Dispatches the default GLib main context until done() holds. A guard of
// many seconds turns a lost event into a failure instead of a hang; it is no
// measure of speed. Returns done().
bool RunMainContextUntil(const std::function<bool()>& done);

#pragma once

#include "dmp_vellumo.h"

#include <functional>
#include <string>
#include <string_view>

// The library's module handle and one address per export, null when the
// library or the export is missing. A caller tests its entry before calling
// and takes the default of DmpCallOr otherwise.
// The entries are the exports the library's list marks as bound, in its order.
struct DmpVellumoApi {
    void* module = nullptr;
#define DMP_BOUND_EXPORT(name) decltype(&::name) name = nullptr;
#define DMP_OTHER_EXPORT(name)
#include "dmp_vellumo_exports.def"
#undef DMP_BOUND_EXPORT
#undef DMP_OTHER_EXPORT
};

inline constexpr std::string_view kDmpVellumoApiNames[] = {
#define DMP_BOUND_EXPORT(name) #name,
#define DMP_OTHER_EXPORT(name)
#include "dmp_vellumo_exports.def"
#undef DMP_BOUND_EXPORT
#undef DMP_OTHER_EXPORT
};

inline constexpr std::string_view kDmpVellumoFileName = "libDmpVellumo.so";
// A companion module whose directory is preferred when it is already loaded.
inline constexpr std::string_view kCompanionModuleFileName = "libZentharTavoliAPI.so";

// Receives the binding's failure texts; the application shows them in a
// message box with the caption "Error". Without one they go to the trace.
using DmpVellumoApiReporter = std::function<void(const std::wstring& text)>;
void SetDmpVellumoApiReporter(DmpVellumoApiReporter reporter);

// The process-wide table. The first call binds the library from
// DmpVellumoLibraryPath() and reports a failure once; later calls return the
// same table, also after a failed binding. The library is unloaded at exit.
// Called from the user interface thread.
const DmpVellumoApi& GetDmpVellumoApi();

// libDmpVellumo.so in the directory of the loaded companion module, else in
// the directory of the running executable.
std::string DmpVellumoLibraryPath();

// Loads the library at path and binds every entry. A library that does not
// load gives an empty table and the text "Cannot find <path>(<error>)"; a
// missing export leaves its entry null, the others bound, and gives the text
// "Cannot find entry point!". Each reported once per call.
DmpVellumoApi BindDmpVellumoApi(const std::string& path, const DmpVellumoApiReporter& reporter);
// Unloads what BindDmpVellumoApi loaded and clears the table.
void UnbindDmpVellumoApi(DmpVellumoApi& api);

// Calls entry with args, or gives fallback when the entry is not bound.
template <class Entry, class Result, class... Args>
Result DmpCallOr(Entry entry, Result fallback, Args... args) {
    return entry != nullptr ? static_cast<Result>(entry(args...)) : fallback;
}

#include "DmpVellumoApi.h"

#include "DebugPrint.h"
#include "ExecutablePath.h"
#include "Unicode.h"
#include "update/FileUtil.h"

#include <dlfcn.h>
#include <link.h>
#include <mutex>

namespace {

std::mutex g_reporterMutex; // guards g_reporter
DmpVellumoApiReporter g_reporter;

void reportToTrace(const std::wstring& text) {
    DebugPrint("DmpVellumoApi: %s\n", kvu::ToUtf8(text).c_str());
}

std::string_view directoryOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

std::string companionModuleDirectory() {
    std::string directory;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const std::string_view name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            const std::string_view base = name.substr(directoryOf(name).size());
            if (base != kCompanionModuleFileName || directoryOf(name).empty())
                return 0;
            *static_cast<std::string*>(data) = directoryOf(name);
            return 1;
        },
        &directory);
    return directory;
}

// Owns the process-wide binding and unloads the library at exit.
struct ProcessBinding {
    DmpVellumoApi api;
    ProcessBinding() {
        DmpVellumoApiReporter reporter;
        {
            std::lock_guard lock(g_reporterMutex);
            reporter = g_reporter ? g_reporter : reportToTrace;
        }
        api = BindDmpVellumoApi(DmpVellumoLibraryPath(), reporter);
    }
    ~ProcessBinding() { UnbindDmpVellumoApi(api); }
};

} // namespace

void SetDmpVellumoApiReporter(DmpVellumoApiReporter reporter) {
    std::lock_guard lock(g_reporterMutex);
    g_reporter = std::move(reporter);
}

const DmpVellumoApi& GetDmpVellumoApi() {
    static const ProcessBinding binding;
    return binding.api;
}

std::string DmpVellumoLibraryPath() {
    std::string directory = companionModuleDirectory();
    if (directory.empty())
        directory = directoryOf(kvu::ExecutablePath());
    return directory + std::string(kDmpVellumoFileName);
}

DmpVellumoApi BindDmpVellumoApi(const std::string& path, const DmpVellumoApiReporter& reporter) {
    DmpVellumoApi api;
    api.module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (api.module == nullptr) {
        const char* error = ::dlerror();
        reporter(L"Cannot find " + kvu::FromUtf8(path) + L"(" +
                 kvu::FromUtf8(error != nullptr ? error : "unknown error") + L")");
        return api;
    }
    bool isComplete = true;
#define DMP_BOUND_EXPORT(name)                                                                     \
    api.name = reinterpret_cast<decltype(api.name)>(::dlsym(api.module, #name));                   \
    if (api.name == nullptr) {                                                                     \
        DebugPrint("BindDmpVellumoApi(): %s lacks %s\n", path.c_str(), #name);                     \
        isComplete = false;                                                                        \
    }
#define DMP_OTHER_EXPORT(name)
#include "dmp_vellumo_exports.def"
#undef DMP_BOUND_EXPORT
#undef DMP_OTHER_EXPORT
    if (!isComplete)
        reporter(L"Cannot find entry point!");
    return api;
}

void UnbindDmpVellumoApi(DmpVellumoApi& api) {
    if (api.module != nullptr)
        ::dlclose(api.module);
    api = DmpVellumoApi{};
}

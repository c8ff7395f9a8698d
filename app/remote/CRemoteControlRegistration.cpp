#include "CRemoteControlRegistration.h"

#include "CRemoteControlService.h"
#include "DebugPrint.h"
#include "update/FileUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// One argument as the bus's Exec line reads it: in double quotes, with the
// characters that keep a meaning there escaped.
std::string quotedArgument(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

std::string CRemoteControlRegistration::ServiceFilePath() {
    std::string dataHome = environment("XDG_DATA_HOME");
    // Only an absolute path counts, as the base directory rules say.
    if (dataHome.empty() || dataHome.front() != '/') {
        const std::string home = environment("HOME");
        if (home.empty())
            return {};
        dataHome = home + "/.local/share";
    }
    return dataHome + "/dbus-1/services/" + CRemoteControlService::kServiceName + ".service";
}

std::string CRemoteControlRegistration::ServiceFileText(const std::string& executablePath) {
    return std::string("[D-BUS Service]\nName=") + CRemoteControlService::kServiceName +
           "\nExec=" + quotedArgument(executablePath) + " " + kEmbeddingSwitch + "\n";
}

int CRemoteControlRegistration::Register(const std::string& executablePath) {
    const std::string path = ServiceFilePath();
    if (path.empty() || executablePath.empty()) {
        DebugPrint(
            "CRemoteControlRegistration::Register(): no data directory or no program path\n");
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    const std::string text = ServiceFileText(executablePath);
    // Written beside and renamed, so the bus never reads half a file.
    const std::string partPath = path + ".part";
    if (error || !WriteWholeFile(partPath, text.data(), text.size()) ||
        std::rename(partPath.c_str(), path.c_str()) != 0) {
        DebugPrint(
            "CRemoteControlRegistration::Register(): cannot write %s: %s\n", path.c_str(),
            (error ? error : std::error_code(errno, std::generic_category())).message().c_str());
        ::unlink(partPath.c_str());
        return 1;
    }
    return 0;
}

int CRemoteControlRegistration::Unregister() {
    const std::string path = ServiceFilePath();
    if (path.empty()) {
        DebugPrint("CRemoteControlRegistration::Unregister(): no data directory\n");
        return 1;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        DebugPrint("CRemoteControlRegistration::Unregister(): cannot remove %s: 0x%08lx\n",
                   path.c_str(), static_cast<unsigned long>(errno));
        return 1;
    }
    return 0;
}

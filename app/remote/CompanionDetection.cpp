#include "CompanionDetection.h"

#include "DebugPrint.h"
#include "DesktopEntry.h"
#include "Unicode.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

// Desktop files are a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t kMaxDesktopFileBytes = 1 << 20;
constexpr std::wstring_view kWiDiExecutable = L"WiDiApp.exe";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::vector<std::string> dataDirectories() {
    std::vector<std::string> directories;
    std::string home = environment("XDG_DATA_HOME");
    if (home.empty() && !environment("HOME").empty())
        home = environment("HOME") + "/.local/share";
    if (!home.empty())
        directories.push_back(home);
    std::string shared = environment("XDG_DATA_DIRS");
    if (shared.empty())
        shared = "/usr/local/share:/usr/share";
    for (std::size_t start = 0; start <= shared.size();) {
        const std::size_t colon = std::min(shared.find(':', start), shared.size());
        if (colon > start)
            directories.push_back(shared.substr(start, colon - start));
        start = colon + 1;
    }
    return directories;
}

// The desktop files of one applications folder by desktop-file id
// ("sub/app.desktop" is "sub-app.desktop").
std::map<std::string, fs::path> desktopFiles(const fs::path& folder) {
    std::map<std::string, fs::path> files;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->path().extension() != ".desktop" || !it->is_regular_file(error))
            continue;
        std::string id = it->path().lexically_relative(folder).string();
        std::replace(id.begin(), id.end(), '/', '-');
        files.emplace(std::move(id), it->path());
    }
    return files;
}

std::optional<std::string> readDesktopFile(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size > kMaxDesktopFileBytes) {
        DebugPrint("FindUninstallEntries(): skipping %s\n", path.c_str());
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (in.is_open())
        text.assign(std::istreambuf_iterator<char>(in), {});
    if (!in.is_open() || in.bad()) {
        DebugPrint("FindUninstallEntries(): cannot read %s\n", path.c_str());
        return std::nullopt;
    }
    return text;
}

bool isAllDigits(const std::string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(static_cast<wint_t>(x)) ==
                      std::towlower(static_cast<wint_t>(y));
           });
}

} // namespace

UninstallEntries FindUninstallEntries() {
    UninstallEntries entries;
    std::set<std::string> seenIds;
    for (const std::string& directory : dataDirectories()) {
        for (const auto& [id, path] : desktopFiles(fs::path(directory) / "applications")) {
            if (!seenIds.insert(id).second)
                continue;
            const auto text = readDesktopFile(path);
            const auto entry = text ? ParseDesktopEntry(*text) : std::nullopt;
            if (!entry || entry->isHidden)
                continue;
            entries.displayNames.push_back(entry->name);
            entries.installLocations.push_back(entry->path);
        }
    }
    return entries;
}

std::vector<std::wstring> ListProcessImagePaths(const std::string& procRoot) {
    std::vector<std::wstring> paths;
    std::error_code error;
    fs::directory_iterator it(procRoot, error);
    // Processes come and go while we walk: whatever vanished or refuses to be
    // read is skipped.
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string pid = it->path().filename().string();
        if (!isAllDigits(pid))
            continue;
        std::error_code readError;
        const fs::path image = fs::read_symlink(it->path() / "exe", readError);
        if (!readError && !image.empty())
            paths.push_back(kvu::FromUtf8(image.string()));
    }
    return paths;
}

std::optional<std::wstring> FindWiDiApplication() {
    const UninstallEntries entries = FindUninstallEntries();
    for (std::size_t i = 0; i < entries.displayNames.size(); ++i) {
        const std::wstring& name = entries.displayNames[i];
        const bool isWiDi = name.find(L"Intel") != std::wstring::npos &&
                            (name.find(L"WiDi") != std::wstring::npos ||
                             name.find(L"Wireless Display") != std::wstring::npos);
        std::wstring location = entries.installLocations[i];
        if (!isWiDi || location.empty())
            continue;
        if (location.back() != L'/')
            location += L'/';
        return location + std::wstring(kWiDiExecutable);
    }
    return std::nullopt;
}

bool IsWiDiApplicationRunning() {
    const auto widi = FindWiDiApplication();
    if (!widi)
        return false;
    const std::vector<std::wstring> images = ListProcessImagePaths();
    return std::any_of(images.begin(), images.end(),
                       [&](const std::wstring& image) { return equalsIgnoringCase(image, *widi); });
}

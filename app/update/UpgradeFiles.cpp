#include "UpgradeFiles.h"

#include "DebugPrint.h"
#include "OwnFiles.h"
#include "Unicode.h"

#include <cstdlib>
#include <cwctype>
#include <unistd.h>

namespace {

constexpr std::string_view kKeyAnchor = "<key>SWURL</key>";
constexpr std::string_view kOpenAnchor = "<string>";
constexpr std::string_view kUrlAnchor = "http://";
constexpr std::string_view kCloseAnchor = "</string>";
constexpr std::string_view kDownloadSuffix = ".upd";

// Where the SWURL value sits: [begin, end) between "<string>" and "</string>",
// and where the URL itself starts.
struct SwUrlValue {
    std::size_t begin;
    std::size_t url;
    std::size_t end;
};

// The three anchors are searched independently from the key and must stand in
// the order "<string>", "http://", "</string>". NUL bytes are ordinary bytes
// here so that the text after one survives a rewrite.
std::optional<SwUrlValue> findSwUrlValue(std::string_view text, const char* origin) {
    const std::size_t key = text.find(kKeyAnchor);
    if (key == std::string_view::npos) {
        DebugPrint("%s: no %s\n", origin, kKeyAnchor.data());
        return std::nullopt;
    }
    const std::size_t open = text.find(kOpenAnchor, key);
    const std::size_t url = text.find(kUrlAnchor, key);
    const std::size_t close = text.find(kCloseAnchor, key);
    if (open == std::string_view::npos || url == std::string_view::npos ||
        close == std::string_view::npos || !(open < url && url < close)) {
        DebugPrint("%s: SWURL value missing or not an http:// URL\n", origin);
        return std::nullopt;
    }
    return SwUrlValue{open + kOpenAnchor.size(), url, close};
}

std::wstring trimmed(std::wstring text) {
    while (!text.empty() && std::iswspace(static_cast<wint_t>(text.back())))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && std::iswspace(static_cast<wint_t>(text[start])))
        ++start;
    return text.substr(start);
}

} // namespace

UpgradeFiles& UpgradeFiles::Get() {
    static UpgradeFiles files(OwnDirectory().value_or(std::string()));
    return files;
}

UpgradeFiles::UpgradeFiles(std::string directory) : m_directory(std::move(directory)) {
    if (m_directory.empty())
        return;
    if (m_directory.back() != '/')
        m_directory += '/';
    m_deviceInfoPath = m_directory + "device_info.xml";
    m_appliancePath = m_directory + "appliance.xml";
    m_imagePath = m_directory + "install.img";
}

UpgradeFiles::~UpgradeFiles() {
    for (const std::string* path : {&m_deviceInfoPath, &m_appliancePath, &m_imagePath})
        if (!path->empty())
            ::unlink(path->c_str());
}

std::string UpgradeFiles::Refused() const {
    if (m_directory.empty()) {
        std::string refused;
        OwnDirectory(&refused);
        return refused.empty() ? std::string("$XDG_CACHE_HOME/vellumo") : refused;
    }
    if (!IsOwnDirectory(m_directory.substr(0, m_directory.size() - 1)))
        return m_directory;
    for (const std::string* path : {&m_deviceInfoPath, &m_appliancePath, &m_imagePath})
        if (IsForeignFile(*path))
            return *path;
    return {};
}

std::optional<std::wstring> UpgradeFiles::ReadFirmwareUrl() {
    const std::optional<std::string> text = ReadOwnFile(m_deviceInfoPath);
    if (!text || text->empty())
        return std::nullopt;
    const auto value = findSwUrlValue(*text, "UpgradeFiles::ReadFirmwareUrl()");
    if (!value)
        return std::nullopt;
    const std::string_view urlBytes =
        std::string_view(*text).substr(value->url, value->end - value->url);
    // A NUL inside the URL would silently cut it short in every later use.
    if (urlBytes.find('\0') != std::string_view::npos) {
        DebugPrint("UpgradeFiles::ReadFirmwareUrl(): NUL byte inside the SWURL value\n");
        return std::nullopt;
    }
    m_firmwareUrl = trimmed(kvu::FromUtf8(urlBytes));
    return m_firmwareUrl;
}

bool UpgradeFiles::SetFirmwareUrl(std::string_view url) {
    if (url.empty() || url.find('\0') != std::string_view::npos)
        return false;
    std::optional<std::string> text = ReadOwnFile(m_appliancePath);
    if (!text)
        return false;
    const auto value = findSwUrlValue(*text, "UpgradeFiles::SetFirmwareUrl()");
    if (!value)
        return false;
    text->replace(value->begin, value->end - value->begin, url);
    return ReplaceOwnFile(m_appliancePath, text->data(), text->size());
}

std::optional<std::string> UpgradeFiles::MakeDownloadFileName() {
    if (m_directory.empty())
        return std::nullopt;
    std::string pattern = m_directory + "KvuXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        DebugPrint("UpgradeFiles::MakeDownloadFileName(): mkstemp in %s failed\n",
                   m_directory.c_str());
        return std::nullopt;
    }
    ::close(fd);
    const std::string name = pattern + std::string(kDownloadSuffix);
    // link() refuses an existing name, so an older download is never replaced.
    const bool isMoved = ::link(pattern.c_str(), name.c_str()) == 0;
    ::unlink(pattern.c_str());
    if (!isMoved) {
        DebugPrint("UpgradeFiles::MakeDownloadFileName(): cannot make %s\n", name.c_str());
        return std::nullopt;
    }
    m_downloadFileName = name;
    return name;
}

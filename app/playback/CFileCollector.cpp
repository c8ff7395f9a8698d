#include "CFileCollector.h"

#include "DebugPrint.h"
#include "Unicode.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <optional>
#include <sys/stat.h>

namespace {

struct FolderEntry {
    std::string name;
    bool isRegularFile;
};

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

// A "%" not followed by two hex digits stays as it is.
std::string percentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low >= 0) {
            decoded.push_back(static_cast<char>(high << 4 | low));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

std::string_view trimmed(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    return line;
}

std::optional<std::string> localPathOf(std::string_view uri) {
    if (!startsWithIgnoringCase(uri, "file:"))
        return std::nullopt;
    std::string_view rest = uri.substr(5);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        const std::string_view host = rest.substr(0, slash);
        const bool isThisHost =
            host.empty() || (host.size() == 9 && startsWithIgnoringCase(host, "localhost"));
        if (slash == std::string_view::npos || !isThisHost)
            return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with('/'))
        return std::nullopt;
    // Query and fragment are no part of a file's name; a literal "?" or "#"
    // in a name arrives percent-encoded.
    rest = rest.substr(0, rest.find_first_of("?#"));
    return percentDecoded(rest);
}

void appendLocalPath(std::string_view uri, std::vector<std::string>& paths) {
    if (auto path = localPathOf(uri))
        paths.push_back(std::move(*path));
    else
        DebugPrint("Dropped address is not a local file, ignored: %.*s\n",
                   static_cast<int>(uri.size()), uri.data());
}

unsigned char asciiLower(char c) {
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

// ASCII letters folded (bytes of other characters compare as they are);
// names equal but for case fall back to their bytes, so the order is total.
bool lessIgnoringCase(const FolderEntry& leftEntry, const FolderEntry& rightEntry) {
    const std::string& left = leftEntry.name;
    const std::string& right = rightEntry.name;
    const size_t common = std::min(left.size(), right.size());
    for (size_t i = 0; i < common; ++i) {
        const unsigned char a = asciiLower(left[i]);
        const unsigned char b = asciiLower(right[i]);
        if (a != b)
            return a < b;
    }
    if (left.size() != right.size())
        return left.size() < right.size();
    return left < right;
}

} // namespace

std::vector<std::string> LocalPathsFromUriList(std::string_view uriList) {
    std::vector<std::string> paths;
    while (!uriList.empty()) {
        const size_t end = uriList.find('\n');
        const std::string_view line = trimmed(uriList.substr(0, end));
        uriList.remove_prefix(end == std::string_view::npos ? uriList.size() : end + 1);
        if (!line.empty() && line.front() != '#')
            appendLocalPath(line, paths);
    }
    return paths;
}

std::vector<std::string> LocalPathsFromUrls(const QList<QUrl>& urls) {
    std::vector<std::string> paths;
    for (const QUrl& url : urls) {
        const QByteArray encoded = url.toEncoded();
        appendLocalPath(std::string_view(encoded.constData(), size_t(encoded.size())), paths);
    }
    return paths;
}

bool CFileCollector::isDone() {
    if (!m_isCut && m_bounds.isCancelled != nullptr && m_bounds.isCancelled->load()) {
        DebugPrint("CFileCollector::CollectFiles(): cancelled after %zu files\n", m_files.size());
        m_isCut = true;
    }
    return m_isCut;
}

void CFileCollector::CollectFiles(const std::string& path) {
    if (isDone())
        return;
    // A decoded "%00" would cut the name short for the system.
    if (path.find('\0') != std::string::npos) {
        DebugPrint("CFileCollector::CollectFiles(): name with a NUL byte skipped: %s\n",
                   path.c_str());
        return;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        DebugPrint("CFileCollector::CollectFiles(): stat(%s) failed: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        return;
    }
    collectEntry(path, &status);
}

void CFileCollector::collectEntry(const std::string& path, const struct stat* status) {
    if (path.find_first_of("\r\n") != std::string::npos) {
        DebugPrint("CFileCollector::CollectFiles(): name with a line break skipped: %s\n",
                   path.c_str());
        return;
    }
    std::wstring widePath = kvu::FromUtf8(path);
    // Only well-formed UTF-8 comes back unchanged.
    if (kvu::ToUtf8(widePath) != path) {
        DebugPrint("CFileCollector::CollectFiles(): name that is not UTF-8 skipped: %s\n",
                   path.c_str());
        return;
    }
    if (status == nullptr) {
        addFile(std::move(widePath));
        return;
    }
    if (S_ISDIR(status->st_mode)) {
        if (m_enteredFolders.emplace(status->st_dev, status->st_ino).second)
            collectFolder(path);
        else
            DebugPrint("CFileCollector::CollectFiles(): folder already walked: %s\n", path.c_str());
        return;
    }
    if (!S_ISREG(status->st_mode)) {
        DebugPrint("CFileCollector::CollectFiles(): not a regular file, skipped: %s\n",
                   path.c_str());
        return;
    }
    addFile(std::move(widePath));
}

void CFileCollector::addFile(std::wstring path) {
    if (m_files.size() == m_bounds.maxFiles) {
        DebugPrint("CFileCollector::CollectFiles(): more than %zu files, the rest is left out\n",
                   m_bounds.maxFiles);
        m_isCut = true;
        return;
    }
    m_files.push_back(std::move(path));
    if (m_bounds.foundCount != nullptr)
        m_bounds.foundCount->store(m_files.size());
}

// The folder is read whole and closed before its entries are walked, so a
// deep tree holds one open folder at a time.
void CFileCollector::collectFolder(const std::string& path) {
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) {
        DebugPrint("CFileCollector::CollectFiles(): opendir(%s) failed: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        return;
    }
    std::vector<FolderEntry> entries;
    while (const dirent* entry = ::readdir(folder)) {
        // A folder of millions of names is not read whole after the end.
        if (isDone())
            break;
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            entries.push_back({std::string(name), entry->d_type == DT_REG});
    }
    ::closedir(folder);
    std::sort(entries.begin(), entries.end(), lessIgnoringCase);
    const std::string prefix = path.ends_with('/') ? path : path + "/";
    // The folder says which entries are regular files (not links to one):
    // those need no look of their own. Anything else, a file system that does
    // not say, or a path too long for the system to open, is looked at.
    for (const FolderEntry& entry : entries) {
        if (isDone())
            return;
        std::string entryPath = prefix + entry.name;
        if (entry.isRegularFile && entryPath.size() < PATH_MAX)
            collectEntry(entryPath, nullptr);
        else
            CollectFiles(entryPath);
    }
}

#include "PlayListFile.h"

#include "CDmpFileSource.h"
#include "DebugPrint.h"
#include "MediaClassifier.h"
#include "Unicode.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char16_t kLineFeed = 0x000A;
constexpr char16_t kCarriageReturn = 0x000D;
constexpr wchar_t kReplacement = 0xFFFD;
constexpr int32_t kReadBytes = 16 * 1024 * 1024;

bool readWhole(const std::wstring& path, std::vector<uint8_t>& content) {
    CDmpFileSource source;
    if (!source.Open(path))
        return false;
    const int64_t size = source.Size();
    if (size <= 0 || size > kMaxPlayListBytes) {
        DebugPrintW(L"ParsePlayList(): %ls is empty or too large (%lld bytes)\n", path.c_str(),
                    static_cast<long long>(size));
        return false;
    }
    content.resize(static_cast<size_t>(size));
    size_t got = 0;
    while (got < content.size()) {
        const auto want = static_cast<int32_t>(std::min<size_t>(content.size() - got, kReadBytes));
        const int32_t count = source.Read(content.data() + got, want);
        if (count <= 0)
            break;
        got += static_cast<size_t>(count);
    }
    if (got < content.size()) {
        DebugPrintW(L"ParsePlayList(): %ls ended early\n", path.c_str());
        return false;
    }
    return true;
}

// UTF-16 code units to UTF-32; a surrogate without its partner becomes U+FFFD.
std::wstring decodeLine(const std::u16string_view units) {
    std::wstring line;
    line.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            line.push_back(
                static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00)));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            line.push_back(kReplacement);
        } else {
            line.push_back(static_cast<wchar_t>(unit));
        }
    }
    return line;
}

void appendUnit(std::string& bytes, char16_t unit) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
}

// UTF-32 to UTF-16 little endian, each entry ended by CR LF.
std::string encodeEntries(const std::vector<std::wstring>& entries) {
    std::string bytes;
    for (const std::wstring& entry : entries) {
        if (entry.find_first_of(L"\r\n") != std::wstring::npos) {
            DebugPrintW(L"WritePlayList(): entry with a line break left out: %ls\n", entry.c_str());
            continue;
        }
        for (const wchar_t c : entry) {
            const auto code = static_cast<uint32_t>(c);
            if (code >= 0x10000 && code <= 0x10FFFF) {
                appendUnit(bytes, static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
                appendUnit(bytes, static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
            } else if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
                appendUnit(bytes, static_cast<char16_t>(kReplacement));
            } else {
                appendUnit(bytes, static_cast<char16_t>(code));
            }
        }
        appendUnit(bytes, kCarriageReturn);
        appendUnit(bytes, kLineFeed);
    }
    return bytes;
}

bool writeAll(int fd, const std::string& bytes) {
    for (size_t written = 0; written < bytes.size();) {
        const ssize_t count = write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += static_cast<size_t>(count);
    }
    return true;
}

// Writes and closes fd; on failure the file is removed.
bool finishFile(int fd, const std::string& path, const std::string& bytes) {
    const bool isWritten = writeAll(fd, bytes);
    const bool isClosed = close(fd) == 0;
    if (isWritten && isClosed)
        return true;
    DebugPrint("WritePlayList(): write(%s) failed: 0x%08lx\n", path.c_str(),
               static_cast<unsigned long>(errno));
    unlink(path.c_str());
    return false;
}

bool parseInto(const std::wstring& path, MediaLists& lists, std::vector<std::wstring>& openLists);

void take(std::u16string_view units, MediaLists& lists, std::vector<std::wstring>& openLists) {
    std::wstring line = decodeLine(units);
    switch (Classify(line)) {
    case kMediaVideo:
        lists.video.push_back(std::move(line));
        break;
    case kMediaImage:
        lists.image.push_back(std::move(line));
        break;
    case kMediaAudio:
        lists.audio.push_back(std::move(line));
        break;
    case kMediaPlayList:
        // A nested list's failure leaves the others alone.
        if (std::find(openLists.begin(), openLists.end(), line) != openLists.end() ||
            openLists.size() >= static_cast<size_t>(kMaxPlayListDepth))
            DebugPrintW(L"ParsePlayList(): %ls not read: nested too deep or in itself\n",
                        line.c_str());
        else
            parseInto(line, lists, openLists);
        break;
    default:
        break;
    }
}

// openLists: the lists being read, outermost first.
bool parseInto(const std::wstring& path, MediaLists& lists, std::vector<std::wstring>& openLists) {
    std::vector<uint8_t> content;
    if (!readWhole(path, content))
        return false;
    // An odd last byte is no code unit and is ignored.
    std::u16string units(content.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(content[2 * i] | (content[2 * i + 1] << 8));
    content = {};

    openLists.push_back(path);
    bool hasLine = false;
    size_t start = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i] != kLineFeed)
            continue;
        // A line needs two units before its line feed, CR counted.
        if (i - start >= 2) {
            const size_t end = units[i - 1] == kCarriageReturn ? i - 1 : i;
            take(std::u16string_view(units).substr(start, end - start), lists, openLists);
            hasLine = true;
        }
        start = i + 1;
    }
    if (start < units.size()) {
        take(std::u16string_view(units).substr(start), lists, openLists);
        hasLine = true;
    }
    openLists.pop_back();
    if (!hasLine)
        DebugPrintW(L"ParsePlayList(): %ls holds no line\n", path.c_str());
    return hasLine;
}

} // namespace

bool ParsePlayList(const std::wstring& path, MediaLists& lists) {
    std::vector<std::wstring> openLists;
    return parseInto(path, lists, openLists);
}

bool WritePlayList(const std::string& fileUtf8Path, const std::vector<std::wstring>& entries) {
    // Non-blocking only so that a FIFO without a reader fails instead of hanging.
    const int fd =
        open(fileUtf8Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        DebugPrint("WritePlayList(): open(%s) failed: 0x%08lx\n", fileUtf8Path.c_str(),
                   static_cast<unsigned long>(errno));
        return false;
    }
    return finishFile(fd, fileUtf8Path, encodeEntries(entries));
}

std::optional<std::wstring> WriteTemporaryPlayList(const std::wstring& entry) {
    const char* folder = std::getenv("TMPDIR");
    std::string path = (folder != nullptr && *folder != '\0') ? folder : "/tmp";
    path += "/KvuXXXXXX.m3u";
    // The suffix is part of the exclusive creation: no other process's list
    // with the same name can be replaced, as a rename after creation could.
    const int fd = mkostemps(path.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        DebugPrint("WriteTemporaryPlayList(): mkostemps(%s) failed: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        return std::nullopt;
    }
    if (!finishFile(fd, path, encodeEntries({entry})))
        return std::nullopt;
    std::wstring widePath = kvu::FromUtf8(path);
    // A folder name that is no UTF-8 could not be opened again by its wide name.
    if (kvu::ToUtf8(widePath) != path) {
        DebugPrint("WriteTemporaryPlayList(): %s is no UTF-8 path\n", path.c_str());
        unlink(path.c_str());
        return std::nullopt;
    }
    return widePath;
}

#include "PlayListFile.h"

#include "CDmpFileSource.h"
#include "DebugPrint.h"
#include "MediaClassifier.h"
#include "PlayListLines.h"
#include "Unicode.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace {

constexpr int32_t kReadBytes = 16 * 1024 * 1024;

// Reads the file's bytes straight into the code units: an odd last byte is
// no code unit and is dropped.
bool readWhole(const std::wstring& path, std::u16string& units) {
    CDmpFileSource source;
    if (!source.Open(path))
        return false;
    const int64_t size = source.Size();
    if (size <= 0 || size > kMaxPlayListBytes) {
        DebugPrintW(L"ParsePlayList(): %ls is empty or too large (%lld bytes)\n", path.c_str(),
                    static_cast<long long>(size));
        return false;
    }
    const auto byteCount = static_cast<size_t>(size);
    // One spare unit holds an odd last byte.
    units.resize(byteCount / 2 + byteCount % 2);
    auto* bytes = reinterpret_cast<uint8_t*>(units.data());
    size_t got = 0;
    while (got < byteCount) {
        const auto want = static_cast<int32_t>(std::min<size_t>(byteCount - got, kReadBytes));
        const int32_t count = source.Read(bytes + got, want);
        if (count <= 0)
            break;
        got += static_cast<size_t>(count);
    }
    if (got < byteCount) {
        DebugPrintW(L"ParsePlayList(): %ls ended early\n", path.c_str());
        return false;
    }
    units.resize(byteCount / 2);
    // The file is little-endian.
    if constexpr (std::endian::native == std::endian::big)
        for (char16_t& unit : units)
            unit = static_cast<char16_t>((unit >> 8) | (unit << 8));
    return true;
}

// One parse: the lists filled, the lists being read (outermost first) and
// the entries kept so far.
struct Parse {
    MediaLists& lists;
    std::vector<std::wstring> openLists;
    size_t entryCount = 0;

    bool isFull() const { return entryCount >= kMaxPlayListEntries; }
};

bool parseInto(const std::wstring& path, Parse& parse);

void take(std::u16string_view units, Parse& parse) {
    std::wstring line = kvu::FromUtf16(units);
    const uint32_t type = Classify(line);
    std::vector<std::wstring>* list = type == kMediaVideo   ? &parse.lists.video
                                      : type == kMediaImage ? &parse.lists.image
                                      : type == kMediaAudio ? &parse.lists.audio
                                                            : nullptr;
    if (list != nullptr) {
        list->push_back(std::move(line));
        if (++parse.entryCount == kMaxPlayListEntries)
            DebugPrint("ParsePlayList(): %zu entries kept, the rest dropped\n",
                       kMaxPlayListEntries);
        return;
    }
    if (type != kMediaPlayList)
        return;
    // A nested list's failure leaves the others alone.
    const std::vector<std::wstring>& open = parse.openLists;
    if (std::find(open.begin(), open.end(), line) != open.end() ||
        open.size() >= static_cast<size_t>(kMaxPlayListDepth))
        DebugPrintW(L"ParsePlayList(): %ls not read: nested too deep or in itself\n", line.c_str());
    else
        parseInto(line, parse);
}

bool parseInto(const std::wstring& path, Parse& parse) {
    std::u16string units;
    if (!readWhole(path, units))
        return false;

    parse.openLists.push_back(path);
    const bool hasLine = kvu::ForEachPlayListLine(units, [&parse](std::u16string_view line) {
        if (parse.isFull())
            return false;
        take(line, parse);
        return true;
    });
    parse.openLists.pop_back();
    if (!hasLine)
        DebugPrintW(L"ParsePlayList(): %ls holds no line\n", path.c_str());
    return hasLine;
}

} // namespace

bool ParsePlayList(const std::wstring& path, MediaLists& lists) {
    Parse parse{lists, {}, 0};
    return parseInto(path, parse);
}

#include "PlayListFile.h"

#include "CDmpFileSource.h"
#include "DebugPrint.h"
#include "MediaClassifier.h"
#include "Unicode.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr char16_t kLineFeed = 0x000A;
constexpr char16_t kCarriageReturn = 0x000D;
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
    std::vector<uint8_t> content;
    if (!readWhole(path, content))
        return false;
    // An odd last byte is no code unit and is ignored.
    std::u16string units(content.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(content[2 * i] | (content[2 * i + 1] << 8));
    content = {};

    parse.openLists.push_back(path);
    bool hasLine = false;
    size_t start = 0;
    for (size_t i = 0; i < units.size() && !parse.isFull(); ++i) {
        if (units[i] != kLineFeed)
            continue;
        // A line needs two units before its line feed, CR counted.
        if (i - start >= 2) {
            const size_t end = units[i - 1] == kCarriageReturn ? i - 1 : i;
            take(std::u16string_view(units).substr(start, end - start), parse);
            hasLine = true;
        }
        start = i + 1;
    }
    if (start < units.size() && !parse.isFull()) {
        take(std::u16string_view(units).substr(start), parse);
        hasLine = true;
    }
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

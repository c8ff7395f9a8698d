#include "RendererPlayList.h"

#include "DebugPrint.h"
#include "PlayListLines.h"
#include "Unicode.h"

#include <QMimeDatabase>

#include <algorithm>

namespace {

constexpr int kMaxDepth = 8;
constexpr std::int64_t kMaxListBytes = std::int64_t{256} * 1024 * 1024;
constexpr size_t kMaxEntries = 1000000;

bool isPlayList(const QMimeType& type) {
    return type.inherits(QStringLiteral("audio/x-mpegurl")) ||
           type.inherits(QStringLiteral("application/vnd.apple.mpegurl"));
}

bool readInto(const std::wstring& path, RendererPlayList& lists, std::vector<std::wstring>& open) {
    const std::optional<std::vector<std::wstring>> lines =
        kvu::ReadLocalPlayList(kvu::ToUtf8(path), kMaxListBytes);
    if (!lines)
        return false;
    open.push_back(path);
    const QMimeDatabase database;
    for (const std::wstring& line : *lines) {
        if (lists.video.size() + lists.image.size() + lists.audio.size() >= kMaxEntries)
            break;
        const QMimeType type = database.mimeTypeForFile(QString::fromStdWString(line));
        const QString name = type.name();
        if (name.startsWith(u"video/"))
            lists.video.push_back(line);
        else if (name.startsWith(u"image/"))
            lists.image.push_back(line);
        else if (isPlayList(type)) {
            if (open.size() >= kMaxDepth || std::find(open.begin(), open.end(), line) != open.end())
                DebugPrintW(L"RendererPlayList: %ls not read: nested too deep or in itself\n",
                            line.c_str());
            else
                readInto(line, lists, open);
        } else if (name.startsWith(u"audio/"))
            lists.audio.push_back(line);
        else
            DebugPrintW(L"RendererPlayList: %ls left out: %ls is no media type\n", line.c_str(),
                        name.toStdWString().c_str());
    }
    open.pop_back();
    return true;
}

} // namespace

bool ReadRendererPlayList(const std::wstring& path, RendererPlayList& lists) {
    std::vector<std::wstring> open;
    return readInto(path, lists, open);
}

std::string MimeTypeOf(const std::wstring& path) {
    return QMimeDatabase().mimeTypeForFile(QString::fromStdWString(path)).name().toStdString();
}

RendererMedia::Kind KindOfMimeType(const std::string& mimeType) {
    if (mimeType.starts_with("image/"))
        return RendererMedia::Kind::Photo;
    if (mimeType.starts_with("video/"))
        return RendererMedia::Kind::Video;
    return RendererMedia::Kind::Music;
}

#include "MediaClassifier.h"

#include "AsciiCase.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<std::wstring_view, 30> kVideoExtensions = {
    L".mpg",  L".mpeg", L".vob", L".mp4",   L".flv",  L".avi", L".ts",  L".ps",  L".mkv",  L".rmvb",
    L".m2ts", L".rm",   L".tp",  L".trp",   L".mts",  L".wmv", L".asf", L".dat", L".divx", L".mov",
    L".m4v",  L".3gp",  L".ogm", L".avsts", L".xlmv", L".swf", L".asm", L".avs", L".iso",  L".ifo"};
constexpr std::array<std::wstring_view, 9> kImageExtensions = {
    L".jpg", L".jpeg", L".bmp", L".png", L".gif", L".tiff", L".tif", L".dng", L".alb"};
constexpr std::array<std::wstring_view, 13> kAudioExtensions = {
    L".mp3", L".wma", L".asf", L".aac",  L".m4a", L".wav", L".aiff",
    L".ogg", L".ra",  L".mka", L".flac", L".ec3", L".ape"};
constexpr std::array<std::wstring_view, 1> kPlayListExtensions = {L".m3u"};

template <size_t N>
bool holds(const std::array<std::wstring_view, N>& table, std::wstring_view extension) {
    return std::any_of(table.begin(), table.end(), [extension](std::wstring_view entry) {
        return kvu::EqualsAsciiNoCase(entry, extension);
    });
}

} // namespace

std::wstring_view ExtensionOf(std::wstring_view path) {
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0 || dot + 1 == path.size())
        return {};
    return path.substr(dot);
}

uint32_t Classify(std::wstring_view path) {
    const std::wstring_view extension = ExtensionOf(path);
    if (extension.empty())
        return kMediaNone;
    if (holds(kVideoExtensions, extension))
        return kMediaVideo;
    if (holds(kImageExtensions, extension))
        return kMediaImage;
    if (holds(kAudioExtensions, extension))
        return kMediaAudio;
    if (holds(kPlayListExtensions, extension))
        return kMediaPlayList;
    return kMediaNone;
}

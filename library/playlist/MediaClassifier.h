#pragma once

#include <cstdint>
#include <string_view>

// Media type codes of the classification.
enum MediaType : uint32_t {
    kMediaNone = 0,
    kMediaVideo = 1,
    kMediaImage = 2,
    kMediaAudio = 4,
    kMediaPlayList = 8,
};

// The text from the last "." to the end, dot included. A dot in the first
// position, or none, or one at the very end gives no extension (empty). The
// whole path counts, so a dot in a folder name can be found.
std::wstring_view ExtensionOf(std::wstring_view path);

// Compares the extension, ignoring case, with the video, image, audio and
// play-list tables in that order: ".asf", in both video and audio, is video.
uint32_t Classify(std::wstring_view path);

#pragma once

#include "upnp/RendererTypes.h"

#include <string>
#include <vector>

// The media of a play list as a renderer player sorts them: each entry's
// type from the shared MIME database (by name, by content when the name
// says nothing), local play lists named in it read in their place (eight
// deep at most), other entries left out with a trace line.
struct RendererPlayList {
    std::vector<std::wstring> video, image, audio;

    bool IsEmpty() const { return video.empty() && image.empty() && audio.empty(); }
};

// Nothing when the list itself cannot be read.
bool ReadRendererPlayList(const std::wstring& path, RendererPlayList& lists);

// The file's MIME type ("application/octet-stream" when unknown) and the
// renderer's media kind for it.
std::string MimeTypeOf(const std::wstring& path);
RendererMedia::Kind KindOfMimeType(const std::string& mimeType);

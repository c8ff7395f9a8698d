#pragma once

#include <cstdint>
#include <string>

// What a UPnP AV renderer is asked to play: one file on the PC's media server.
struct RendererMedia {
    enum class Kind { Photo, Music, Video };
    std::string uri; // http URL on the PC's media server
    std::string title;
    Kind kind = Kind::Music;
    std::string mimeType;
    std::int64_t sizeBytes = -1;  // -1 unknown
    std::int64_t durationMs = -1; // -1 unknown
};

// The renderer's transport and volume as last learnt from its events or
// answers.
struct RendererTransport {
    enum class State { NoMedia, Stopped, Playing, Paused, Transitioning };
    State state = State::NoMedia;
    std::string currentUri; // AVTransportURI / CurrentTrackURI as the renderer reports it
    std::int64_t positionMs = -1, durationMs = -1;
    int volume = -1; // renderer units, 0..VolumeMax()
    bool isMuted = false;

    bool operator==(const RendererTransport&) const = default;
};

const char* RendererStateName(RendererTransport::State state);

// Told what a renderer does; every call comes on the control point's own GLib
// thread.
class CAvRendererObserver {
public:
    virtual ~CAvRendererObserver() = default;
    // The whole current picture, each time something in it changed.
    virtual void TransportChanged(const RendererTransport& transport) = 0;
    // An action the renderer refused (its UPnP error code, or -1 when the
    // answer carried none) or did not answer in time.
    virtual void ActionFailed(const std::string& action, int upnpErrorCode,
                              const std::string& text) = 0;
    // Once; nothing is reported after it.
    virtual void RendererLost(const std::string& why) = 0;
};

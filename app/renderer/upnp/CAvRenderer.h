#pragma once

#include "RendererTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The control point for one UPnP AV renderer (MediaRenderer with AVTransport,
// RenderingControl and ConnectionManager). Every GUPnP object lives on a GLib
// thread of its own with its own main context; the public calls hand their
// work to it and return at once; what the renderer does comes back through
// the observer on that thread.
//
// Must not be destroyed from an observer callback: the destructor joins the
// thread the callbacks run on.
class CAvRenderer {
public:
    // Blocking, a few seconds at most: call it from a worker thread. Fetches
    // the description at location, finds the three services, subscribes to
    // the LastChange events, reads the sink protocols, the volume range and
    // the current volume. nullptr and a sentence for the user in *error when
    // it fails.
    static std::unique_ptr<CAvRenderer> Open(const std::string& location,
                                             CAvRendererObserver* observer, std::string* error);
    // Lets the commands given before it reach the renderer (2 s at most),
    // unsubscribes (best effort, bounded wait) and stops the thread; no
    // callback comes after it returns.
    ~CAvRenderer();
    CAvRenderer(const CAvRenderer&) = delete;
    CAvRenderer& operator=(const CAvRenderer&) = delete;

    std::string FriendlyName() const;
    std::string Udn() const;
    // The PC's IPv4 address facing the renderer (dotted), for media URLs.
    std::string LocalAddress() const;
    // GetProtocolInfo's Sink entries.
    const std::vector<std::string>& SinkProtocols() const;
    // Whether a sink entry takes the MIME type over HTTP (wildcards count).
    bool CanPlay(const std::string& mimeType) const;
    // The protocolInfo offered for the media: HTTP with byte seeking.
    std::string ProtocolInfoFor(const RendererMedia& media) const;
    // Whether AVTransport offers SetNextAVTransportURI.
    bool HasNextMedia() const;
    int VolumeMax() const;
    // The absolute control URLs the actions go to.
    std::string AvTransportControlUrl() const;
    std::string RenderingControlUrl() const;

    // Asynchronous; failures come as ActionFailed, a renderer that stopped
    // answering (two transport failures in a row) as RendererLost.
    void SetMedia(const RendererMedia& media);     // SetAVTransportURI with DIDL-Lite
    void SetNextMedia(const RendererMedia& media); // SetNextAVTransportURI (when HasNextMedia)
    void Play();
    void Pause();
    void Stop();
    void SeekTo(std::int64_t positionMs); // Seek, REL_TIME, whole seconds
    void SetVolume(int volume);
    void SetMute(bool isMuted);

private:
    struct Impl;
    explicit CAvRenderer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

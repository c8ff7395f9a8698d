#pragma once

#include "GLibLoopThread.h"

#include <libgupnp/gupnp.h>

#include <string>

// Announces the simulated Box on the network as a UPnP root device of type
// "urn:schemas-upnp-org:device:MediaRenderer:1", on one interface only. The
// description document is served by GUPnP from a private temporary folder.
// The announcer runs its own GLib main loop on a thread it owns.
class BoxAnnouncer {
public:
    // interfaceName: where to announce (e.g. "lo"); hostIpv4: the Box's
    // address, which becomes the host of the location URL.
    BoxAnnouncer(std::string interfaceName, std::string friendlyName, std::string hostIpv4);
    ~BoxAnnouncer();
    BoxAnnouncer(const BoxAnnouncer&) = delete;
    BoxAnnouncer& operator=(const BoxAnnouncer&) = delete;

    // hostIpv4 must be an address of the interface (loopback carries only
    // 127.0.0.1 unless more are added). Returns once the device is announced (true) or could not be
    // (false, traced). Starting a started announcer returns true.
    bool Start();
    // Says goodbye on the network and joins the thread.
    void Stop();

    // The URL of the description document; empty while stopped.
    std::string Location() const { return m_location; }

private:
    bool WriteDescription();
    void RemoveDescription();
    // Both on the announcer's thread.
    bool Announce();
    void Withdraw();

    const std::string m_interfaceName;
    const std::string m_friendlyName;
    const std::string m_hostIpv4;
    std::string m_folder;   // temporary folder holding the description
    std::string m_location; // written by the announcer thread before Start returns
    bool m_isStarted = false;
    // Created, used and destroyed on the loop's thread.
    GInetAddress* m_address = nullptr;
    GUPnPContext* m_context = nullptr;
    GUPnPRootDevice* m_device = nullptr;
    GLibLoopThread m_loop{"box-announcer"};
};

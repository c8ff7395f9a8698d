#pragma once

#include "BoxAddressText.h"
#include "DeviceKind.h"
#include "network/KvuUPnPFinderObserver.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class KvuUPnPFinder;

// A Box that answered the search (or one remembered, or given by address):
// its host address (dotted IPv4 text from the search, a host name as the
// user gave it), friendly name, command port, and from the search its UDN,
// the address of its description and the address of its setup page when the
// description names one on the Box itself (else empty).
//
// The search also reports standard renderers and devices it cannot use, told
// by kind (DeviceKind.h): a Box here is a candidate that its command port
// confirms when chosen, as is a remembered Box or one given by address.
struct FoundBox {
    std::string host;
    std::string friendlyName;
    int32_t port = kBoxCommandPort;
    std::string udn;
    std::string location;
    std::string presentationUrl;
    DeviceKind kind = DeviceKind::Box;
    std::string unusableReason; // why, for an Unusable device; else empty

    bool operator==(const FoundBox&) const = default;
};

// The main window's search for Boxes on the given interfaces, one UPnP
// finder each, told as one search: every device once (by host, in the order
// found, at most KvuUPnPFinder::kMaxDevices) with its kind, and one end when
// every finder has ended. Lives on the user
// interface thread, whose event loop runs the finders' GLib context.
class CBoxSearch : public QObject, private KvuUPnPFinderObserver {
    Q_OBJECT

public:
    // interfaceNames: the interfaces searched; none gives a search that fails.
    explicit CBoxSearch(std::vector<std::string> interfaceNames, QObject* parent = nullptr);
    ~CBoxSearch() override;

    // Forgets what an earlier search found and starts anew.
    void Start();
    // Ends the search; nothing more is reported.
    void Stop();
    bool IsRunning() const { return m_isRunning; }
    const std::vector<FoundBox>& Found() const { return m_found; }

Q_SIGNALS:
    // Any kind of device; Found().back() tells its kind.
    void BoxFound(const QString& host, const QString& friendlyName);
    // At least one interface's search ran to its end.
    void Completed();
    // Every interface's search failed; detail says why.
    void Failed(const QString& detail);

private:
    void DeviceDescribed(const UPnPDeviceDescription& device) override;
    void SearchCompleted() override;
    void SearchFailed(const std::string& detail) override;
    void finderEnded();

    std::vector<std::string> m_interfaceNames;
    std::vector<std::unique_ptr<KvuUPnPFinder>> m_finders;
    std::vector<FoundBox> m_found;
    bool m_isRunning = false;
    size_t m_endedCount = 0;
    size_t m_completedCount = 0;
    std::string m_failure;
};

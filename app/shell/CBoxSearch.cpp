#include "CBoxSearch.h"

#include "DebugPrint.h"
#include "Escapes.h"
#include "network/HostFromLocation.h"
#include "network/KvuUPnPFinder.h"

#include <QTimer>
#include <QUrl>

CBoxSearch::CBoxSearch(std::vector<std::string> interfaceNames, QObject* parent)
    : QObject(parent), m_interfaceNames(std::move(interfaceNames)) {
    for (const std::string& name : m_interfaceNames) {
        m_finders.push_back(std::make_unique<KvuUPnPFinder>(name));
        m_finders.back()->AddObserver(this);
    }
}

CBoxSearch::~CBoxSearch() {
    Stop();
    for (const auto& finder : m_finders)
        finder->RemoveObserver(this);
}

void CBoxSearch::Start() {
    Stop();
    m_found.clear();
    m_endedCount = 0;
    m_completedCount = 0;
    m_failure.clear();
    m_isRunning = true;
    if (m_finders.empty()) {
        // Told from the event loop, as a finder tells its end.
        QTimer::singleShot(0, this, [this] {
            if (m_isRunning) {
                m_isRunning = false;
                Q_EMIT Failed(QStringLiteral("no network interface to search"));
            }
        });
        return;
    }
    // A finder that cannot start reports SearchFailed later, from the loop.
    for (const auto& finder : m_finders)
        finder->StartSearch();
}

void CBoxSearch::Stop() {
    m_isRunning = false;
    for (const auto& finder : m_finders)
        finder->StopSearch();
}

namespace {

// The setup page's address only when it lies on the Box itself: a description
// must not send the user to another site.
std::string pageOnTheBox(const std::string& presentationUrl, const std::string& host) {
    const QUrl url(QString::fromStdString(presentationUrl), QUrl::StrictMode);
    if (presentationUrl.empty())
        return {};
    if (url.isValid() && url.scheme() == u"http" && url.userInfo().isEmpty() &&
        url.host() == QString::fromStdString(host))
        return url.toString(QUrl::FullyEncoded).toStdString();
    DebugPrint("CBoxSearch: the setup page %s is not on the Box %s, not used\n",
               kvu::MaskControlCharacters(presentationUrl).c_str(), host.c_str());
    return {};
}

} // namespace

void CBoxSearch::DeviceDescribed(const UPnPDeviceDescription& device) {
    if (!m_isRunning || device.location.empty() || device.udn.empty() ||
        device.friendlyName.empty() || device.deviceType.empty())
        return;
    const std::string host = HostFromLocation(device.location);
    for (const FoundBox& box : m_found)
        if (box.host == host)
            return;
    if (m_found.size() == KvuUPnPFinder::kMaxDevices) {
        DebugPrint("CBoxSearch: more than %zu devices, %s left out\n", KvuUPnPFinder::kMaxDevices,
                   host.c_str());
        return;
    }
    std::string reason;
    const DeviceKind kind = KindOfDescription(device.serviceTypes, &reason);
    if (kind != DeviceKind::Box)
        DebugPrint("CBoxSearch: %s is a device of kind %s%s%s\n", host.c_str(),
                   DeviceKindName(kind), reason.empty() ? "" : ": ", reason.c_str());
    m_found.push_back({.host = host,
                       .friendlyName = device.friendlyName,
                       .port = kBoxCommandPort,
                       .udn = device.udn,
                       .location = device.location,
                       .presentationUrl = pageOnTheBox(device.presentationUrl, host),
                       .kind = kind,
                       .unusableReason = std::move(reason)});
    Q_EMIT BoxFound(QString::fromStdString(host), QString::fromStdString(device.friendlyName));
}

void CBoxSearch::SearchCompleted() {
    ++m_completedCount;
    finderEnded();
}

void CBoxSearch::SearchFailed(const std::string& detail) {
    DebugPrint("CBoxSearch::SearchFailed(): %s\n", detail.c_str());
    if (m_failure.empty())
        m_failure = detail;
    finderEnded();
}

void CBoxSearch::finderEnded() {
    if (!m_isRunning || ++m_endedCount < m_finders.size())
        return;
    m_isRunning = false;
    if (m_completedCount > 0)
        Q_EMIT Completed();
    else
        Q_EMIT Failed(QString::fromStdString(m_failure));
}

#include "KvuUPnPFinder.h"

#include "KvuUPnPFinderCallback.h"

KvuUPnPFinder::KvuUPnPFinder(std::string interfaceName)
    : m_interfaceName(std::move(interfaceName)) {}

KvuUPnPFinder::~KvuUPnPFinder() {
    m_observers.Clear();
    StopSearch();
}

bool KvuUPnPFinder::AddObserver(KvuUPnPFinderObserver* observer) {
    return m_observers.Add(observer);
}

bool KvuUPnPFinder::RemoveObserver(KvuUPnPFinderObserver* observer) {
    return m_observers.Remove(observer);
}

bool KvuUPnPFinder::StartSearch() {
    StopSearch();
    m_callback = std::make_unique<KvuUPnPFinderCallback>(*this, m_interfaceName, kDeviceType);
    return m_callback->Start();
}

void KvuUPnPFinder::StopSearch() {
    m_callback.reset();
}

void KvuUPnPFinder::NotifyDeviceFound(const std::string& location, const std::string& udn,
                                      const std::string& friendlyName,
                                      const std::string& deviceType) {
    m_observers.ForEach([&](KvuUPnPFinderObserver& observer) {
        observer.DeviceFound(location, udn, friendlyName, deviceType);
    });
}

void KvuUPnPFinder::NotifySearchCompleted() {
    m_observers.ForEach([](KvuUPnPFinderObserver& observer) { observer.SearchCompleted(); });
}

void KvuUPnPFinder::NotifySearchFailed(const std::string& detail) {
    m_observers.ForEach([&](KvuUPnPFinderObserver& observer) { observer.SearchFailed(detail); });
}

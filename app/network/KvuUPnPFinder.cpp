#include "KvuUPnPFinder.h"

#include "KvuUPnPFinderCallback.h"

KvuUPnPFinder::KvuUPnPFinder(std::string interfaceName, size_t maxDevices)
    : m_interfaceName(std::move(interfaceName)), m_maxDevices(maxDevices) {}

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
    m_callback =
        std::make_unique<KvuUPnPFinderCallback>(*this, m_interfaceName, kDeviceType, m_maxDevices);
    return m_callback->Start();
}

void KvuUPnPFinder::StopSearch() {
    m_callback.reset();
}

void KvuUPnPFinder::NotifyDeviceFound(const UPnPDeviceDescription& device) {
    m_observers.ForEach([&](KvuUPnPFinderObserver& observer) { observer.DeviceDescribed(device); });
}

void KvuUPnPFinder::NotifySearchCompleted() {
    m_observers.ForEach([](KvuUPnPFinderObserver& observer) { observer.SearchCompleted(); });
}

void KvuUPnPFinder::NotifySearchFailed(const std::string& detail) {
    m_observers.ForEach([&](KvuUPnPFinderObserver& observer) { observer.SearchFailed(detail); });
}

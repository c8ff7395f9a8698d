#include "KvuUPnPFinder.h"

#include "KvuUPnPFinderCallback.h"

#include <algorithm>

KvuUPnPFinder::KvuUPnPFinder(std::string interfaceName)
    : m_interfaceName(std::move(interfaceName)) {}

KvuUPnPFinder::~KvuUPnPFinder() {
    {
        std::lock_guard lock(m_observersLock);
        m_observers.clear();
    }
    StopSearch();
}

bool KvuUPnPFinder::AddObserver(KvuUPnPFinderObserver* observer) {
    if (observer == nullptr) {
        return false;
    }
    std::lock_guard lock(m_observersLock);
    if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
        m_observers.push_back(observer);
    }
    return true;
}

bool KvuUPnPFinder::RemoveObserver(KvuUPnPFinderObserver* observer) {
    if (observer == nullptr) {
        return false;
    }
    std::lock_guard lock(m_observersLock);
    const auto found = std::find(m_observers.begin(), m_observers.end(), observer);
    if (found == m_observers.end()) {
        return false;
    }
    m_observers.erase(found);
    return true;
}

bool KvuUPnPFinder::StartSearch() {
    StopSearch();
    m_callback = std::make_unique<KvuUPnPFinderCallback>(*this, m_interfaceName, kDeviceType);
    return m_callback->Start();
}

void KvuUPnPFinder::StopSearch() {
    m_callback.reset();
}

// An observer may add or remove observers from its notification: the ones
// present when the notification began are called, unless removed meanwhile.
template <typename Call> void KvuUPnPFinder::ForEachObserver(Call call) {
    std::lock_guard lock(m_observersLock);
    const auto observers = m_observers;
    for (auto* observer : observers) {
        if (std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end()) {
            call(*observer);
        }
    }
}

void KvuUPnPFinder::NotifyDeviceFound(const std::string& location, const std::string& udn,
                                      const std::string& friendlyName,
                                      const std::string& deviceType) {
    ForEachObserver([&](KvuUPnPFinderObserver& observer) {
        observer.DeviceFound(location, udn, friendlyName, deviceType);
    });
}

void KvuUPnPFinder::NotifySearchCompleted() {
    ForEachObserver([](KvuUPnPFinderObserver& observer) { observer.SearchCompleted(); });
}

void KvuUPnPFinder::NotifySearchFailed(const std::string& detail) {
    ForEachObserver([&](KvuUPnPFinderObserver& observer) { observer.SearchFailed(detail); });
}

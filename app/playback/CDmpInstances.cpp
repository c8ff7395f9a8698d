#include "CDmpInstances.h"

#include <algorithm>
#include <utility>

CDmpInstances::~CDmpInstances() {
    DestroyAll();
}

void CDmpInstances::Add(DmpVellumoInfo* instance) {
    if (instance != nullptr && !Contains(instance))
        m_instances.push_back(instance);
}

bool CDmpInstances::Contains(const DmpVellumoInfo* instance) const {
    return instance != nullptr &&
           std::find(m_instances.begin(), m_instances.end(), instance) != m_instances.end();
}

void CDmpInstances::Remove(const DmpVellumoInfo* instance) {
    std::erase(m_instances, instance);
}

void CDmpInstances::Destroy(DmpVellumoInfo* instance) {
    Remove(instance);
    if (instance != nullptr && m_api.Destroy != nullptr)
        m_api.Destroy(instance);
}

void CDmpInstances::DestroyAll() {
    // Emptied first: the library may post for an instance while it ends, and
    // such a message must find it gone.
    const std::vector<DmpVellumoInfo*> ending = std::exchange(m_instances, {});
    if (m_api.Destroy != nullptr)
        for (DmpVellumoInfo* instance : ending)
            m_api.Destroy(instance);
}

uint32_t CDmpInstances::PlayingType(DmpVellumoInfo* instance) const {
    return DmpCallOr(m_api.GetPlayingType, 0u, instance);
}

DmpVellumoInfo* CDmpInstances::FindInstanceFor(uint32_t mask) const {
    for (DmpVellumoInfo* instance : m_instances)
        if ((PlayingType(instance) & mask) != 0)
            return instance;
    return nullptr;
}

uint32_t CDmpInstances::UnionOfPlayingTypes() const {
    uint32_t types = 0;
    for (DmpVellumoInfo* instance : m_instances)
        types |= PlayingType(instance);
    return types;
}

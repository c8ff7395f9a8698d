#pragma once

#include "DmpVellumoApi.h"

#include <cstdint>
#include <vector>

// The library instances the main window has created and not yet ended, in
// the order created. It owns them: each ends with "Destroy" (or a "Close"
// that leaves it idle, after which Remove takes it out). Calls the library
// only through the binding table; user-interface thread only.
class CDmpInstances {
public:
    explicit CDmpInstances(const DmpVellumoApi& api) : m_api(api) {}
    // Destroys every instance still held.
    ~CDmpInstances();
    CDmpInstances(const CDmpInstances&) = delete;
    CDmpInstances& operator=(const CDmpInstances&) = delete;

    const DmpVellumoApi& Api() const { return m_api; }

    void Add(DmpVellumoInfo* instance);
    bool Contains(const DmpVellumoInfo* instance) const;
    // Takes the instance out without calling the library.
    void Remove(const DmpVellumoInfo* instance);
    // Takes the instance out and ends it with "Destroy".
    void Destroy(DmpVellumoInfo* instance);
    void DestroyAll();
    bool IsEmpty() const { return m_instances.empty(); }
    const std::vector<DmpVellumoInfo*>& All() const { return m_instances; }

    // "GetPlayingType" of the instance; 0 without the entry.
    uint32_t PlayingType(DmpVellumoInfo* instance) const;
    // The first instance whose playing types share a bit with mask, or null.
    DmpVellumoInfo* FindInstanceFor(uint32_t mask) const;
    // The union of the playing types of every instance.
    uint32_t UnionOfPlayingTypes() const;

private:
    const DmpVellumoApi& m_api;
    std::vector<DmpVellumoInfo*> m_instances;
};

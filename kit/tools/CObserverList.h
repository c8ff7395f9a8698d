#pragma once

#include <algorithm>
#include <mutex>
#include <vector>

namespace kvu::tools {

// The observers of one subject, in the order they were added; not owned.
//
// Locking rule: the list's lock guards its entries alone and is never held
// while an observer is called. An observer may therefore add or remove
// observers, itself included, from its notification, and several threads
// may notify at once. A notification calls the observers present when it
// began, in order, passing over any removed before its turn; one added
// meanwhile hears the next notification. Remove does not wait for a call
// under way on another thread: the owner stops the threads that notify
// before it frees an observer they may still be calling.
template <typename Observer> class CObserverList {
public:
    // Null gives false; an observer already present is kept once.
    bool Add(Observer* observer) {
        if (observer == nullptr)
            return false;
        std::lock_guard lock(m_mutex);
        if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
            m_observers.push_back(observer);
        return true;
    }

    // False when the observer is not present.
    bool Remove(Observer* observer) {
        std::lock_guard lock(m_mutex);
        const auto found = std::find(m_observers.begin(), m_observers.end(), observer);
        if (found == m_observers.end())
            return false;
        m_observers.erase(found);
        return true;
    }

    void Clear() {
        std::lock_guard lock(m_mutex);
        m_observers.clear();
    }

    // call(Observer&) for each observer, as the locking rule above says.
    template <typename Call> void ForEach(Call call) {
        std::vector<Observer*> present;
        {
            std::lock_guard lock(m_mutex);
            present = m_observers;
        }
        for (Observer* observer : present)
            if (contains(observer))
                call(*observer);
    }

private:
    bool contains(Observer* observer) const {
        std::lock_guard lock(m_mutex);
        return std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end();
    }

    mutable std::mutex m_mutex; // guards m_observers; never held during a call
    std::vector<Observer*> m_observers;
};

} // namespace kvu::tools

#pragma once

#include <memory>
#include <string>
#include <vector>

// The opaque media list of the C interface: full paths in play order. The
// paths are replaced whole, never changed in place, so that a copy of the
// list (a playback start on a link's thread) shares them instead of copying
// every path.
struct DmpMediaList {
    using Paths = std::vector<std::wstring>;

    bool IsEmpty() const { return !m_paths || m_paths->empty(); }
    // Null when empty.
    std::shared_ptr<const Paths> Shared() const { return m_paths; }
    void Replace(Paths paths) { m_paths = std::make_shared<const Paths>(std::move(paths)); }
    void Clear() { m_paths.reset(); }

private:
    std::shared_ptr<const Paths> m_paths;
};

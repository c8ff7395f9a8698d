#pragma once

namespace kvu::tools {

// Executor of a CommandQueue's items. Returning false leaves the item at the
// head of its queue until the next post wakes the worker.
template <typename T> class CommandProcessor {
public:
    virtual bool Execute(T item) = 0;
    virtual ~CommandProcessor() = default;
};

} // namespace kvu::tools

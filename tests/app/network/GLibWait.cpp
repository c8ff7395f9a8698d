#include "GLibWait.h"

#include <glib.h>

namespace {
constexpr guint kHangGuardSeconds = 30;
}

bool RunMainContextUntil(const std::function<bool()>& done) {
    bool isOverdue = false;
    const guint guard = g_timeout_add_seconds(
        kHangGuardSeconds,
        [](gpointer overdue) {
            *static_cast<bool*>(overdue) = true;
            return G_SOURCE_REMOVE;
        },
        &isOverdue);
    while (!done() && !isOverdue) {
        g_main_context_iteration(nullptr, TRUE);
    }
    if (!isOverdue) {
        g_source_remove(guard);
    }
    return done();
}

#pragma once

#include <QSet>
#include <QString>

#include <functional>

// At most one message of a kind on screen: a message runs a modal loop, in
// which more of the same (a flood of hand-overs naming files that do not
// play) would each stack another loop. A message whose kind is on screen is
// dropped with a trace line instead. User-interface thread only.
class CNoticeGate {
public:
    // Runs show, which returns once the message has gone, unless a message
    // of kind is on screen; false when it was dropped.
    bool Show(const QString& kind, const std::function<void()>& show);
    bool IsShown(const QString& kind) const { return m_shown.contains(kind); }

private:
    QSet<QString> m_shown;
};

#include "CNoticeGate.h"

#include "DebugPrint.h"

bool CNoticeGate::Show(const QString& kind, const std::function<void()>& show) {
    if (m_shown.contains(kind)) {
        DebugPrint("CNoticeGate: \"%s\" is on screen already, this one is dropped\n",
                   qUtf8Printable(kind.left(80)));
        return false;
    }
    m_shown.insert(kind);
    show();
    m_shown.remove(kind);
    return true;
}

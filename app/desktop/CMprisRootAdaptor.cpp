#include "CMprisRootAdaptor.h"

#include "CMprisPlayer.h"

CMprisRootAdaptor::CMprisRootAdaptor(CMprisPlayer* player) : QDBusAbstractAdaptor(player) {}

QString CMprisRootAdaptor::DesktopEntry() const {
    return QString::fromLatin1(CMprisPlayer::kDesktopEntry);
}

#include "CMprisRootAdaptor.h"

#include "CMprisPlayer.h"

CMprisRootAdaptor::CMprisRootAdaptor(CMprisPlayer* player)
    : QDBusAbstractAdaptor(player), m_player(player) {}

void CMprisRootAdaptor::Raise() {
    m_player->Raise();
}

QString CMprisRootAdaptor::DesktopEntry() const {
    return QString::fromLatin1(CMprisPlayer::kDesktopEntry);
}

#include "CMprisPlayerAdaptor.h"

#include "CMprisPlayer.h"

CMprisPlayerAdaptor::CMprisPlayerAdaptor(CMprisPlayer* player)
    : QDBusAbstractAdaptor(player), m_player(player) {
    setAutoRelaySignals(true);
}

QString CMprisPlayerAdaptor::PlaybackStatus() const {
    return m_player->PlaybackStatus();
}
QVariantMap CMprisPlayerAdaptor::Metadata() const {
    return m_player->Metadata();
}
double CMprisPlayerAdaptor::Volume() const {
    return m_player->Volume();
}
void CMprisPlayerAdaptor::SetVolume(double volume) {
    m_player->SetVolume(volume);
}
qlonglong CMprisPlayerAdaptor::Position() const {
    return m_player->PositionUs();
}
bool CMprisPlayerAdaptor::CanPlay() const {
    return m_player->CanPlay();
}
bool CMprisPlayerAdaptor::CanSeek() const {
    return m_player->CanSeek();
}

void CMprisPlayerAdaptor::Play() {
    m_player->Play();
}
void CMprisPlayerAdaptor::Pause() {
    m_player->Pause();
}
void CMprisPlayerAdaptor::PlayPause() {
    m_player->PlayPause();
}
void CMprisPlayerAdaptor::Stop() {
    m_player->Pause();
}
void CMprisPlayerAdaptor::Next() {
    m_player->Next();
}
void CMprisPlayerAdaptor::Previous() {
    m_player->Previous();
}
void CMprisPlayerAdaptor::Seek(qlonglong offsetUs) {
    m_player->Seek(offsetUs);
}
void CMprisPlayerAdaptor::SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs) {
    m_player->SetPosition(trackId, positionUs);
}

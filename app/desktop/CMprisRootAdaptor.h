#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

class CMprisPlayer;

// org.mpris.MediaPlayer2 of CMprisPlayer: who the player is. The desktop can
// raise it (the status window comes back) but not quit it: its windows
// follow the Box.
class CMprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

public:
    explicit CMprisRootAdaptor(CMprisPlayer* player);

    bool CanQuit() const { return false; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Vellumo"); }
    QString DesktopEntry() const;
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise();
    void Quit() {}

private:
    CMprisPlayer* m_player;
};

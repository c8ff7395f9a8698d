#pragma once

#include "StartupOptions.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Files and folders opened with the application: those of its own command
// line and those a second start hands over on the session bus. Each batch
// becomes a drop on the photo-and-music pool, and its videos a drop on the
// video pool, once the main window takes them (a Box has been chosen); until
// then they wait, in order. User-interface thread only.
//
// The D-Bus side: object kObjectPath, interface kInterface, method
// OpenFiles(as absolute local paths), under the application's well-known
// name kServiceName, which the running instance owns.
class CFileHandOver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.vellumo.Application")

public:
    static constexpr const char* kServiceName = "org.vellumo.Vellumo";
    static constexpr const char* kObjectPath = "/Application";
    static constexpr const char* kInterface = "org.vellumo.Application";
    // Bounds of one OpenFiles call; a client sends more in several calls.
    static constexpr int kMaxPathsPerCall = 4096;
    static constexpr qsizetype kMaxBytesPerCall = 1 << 20;
    // Files waiting for a Box beyond this many are dropped (traced).
    static constexpr qsizetype kMaxWaitingFiles = 100000;

    // What a path counts against kMaxBytesPerCall.
    static qsizetype CallBytes(const QString& path) {
        return path.size() * qsizetype(sizeof(QChar));
    }

    // Takes one drop: the local files as "file:" URLs and the pool's mask.
    using Receiver = std::function<void(const QList<QUrl>& urls, uint32_t poolMask)>;

    explicit CFileHandOver(QObject* parent = nullptr) : QObject(parent) {}

    // The arguments of a start that name files: those of a normal start
    // that opens the main window, options ("-...") left out.
    static std::vector<std::string> FileArguments(const StartupOptions& options);
    // Absolute local paths of the arguments: relative ones against
    // workingDirectory, "file:" URLs decoded; other URLs are left out (traced).
    // Whether they exist is checked where they are opened.
    static QStringList LocalPaths(const std::vector<std::string>& arguments,
                                  const QString& workingDirectory);

    // Exports the object on bus and claims the well-known name there (the
    // name may already be this connection's). False when either fails
    // (traced): the files of later starts are then lost, nothing else.
    bool Register(QDBusConnection bus);

    // Queues paths as one batch; paths that are not absolute or do not exist
    // are left out (traced). Delivered at once when a receiver is set.
    void Open(const QStringList& paths);

    // Drops go to receiver from now on, those waiting first; an empty
    // receiver holds them again.
    void SetReceiver(Receiver receiver);

public Q_SLOTS:
    Q_SCRIPTABLE void OpenFiles(const QStringList& paths);

private:
    struct Drop {
        QList<QUrl> urls;
        uint32_t poolMask;
    };

    void deliver();

    Receiver m_receiver;
    std::vector<Drop> m_waiting;
    qsizetype m_waitingFiles = 0;
};

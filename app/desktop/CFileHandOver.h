#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

// Files and folders opened with the application: those of its own command
// line and those a second start hands over on the session bus. Each batch
// goes to the receiver (playback, which plays it on both pools) once a Box
// has been chosen; until then the batches wait, in order. User-interface
// thread only.
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
    // Paths waiting for a Box beyond this many are dropped (traced).
    static constexpr qsizetype kMaxWaitingPaths = 100000;

    // What a path counts against kMaxBytesPerCall.
    static qsizetype CallBytes(const QString& path) {
        return path.size() * qsizetype(sizeof(QChar));
    }

    // Takes one batch of existing absolute local paths, files or folders.
    using Receiver = std::function<void(const QStringList& paths)>;

    explicit CFileHandOver(QObject* parent = nullptr) : QObject(parent) {}

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
    // Answers at once; the paths are opened (Open) from the event loop.
    Q_SCRIPTABLE void OpenFiles(const QStringList& paths);

private:
    void deliver();

    Receiver m_receiver;
    std::vector<QStringList> m_waiting;
    qsizetype m_waitingPaths = 0;
};

#pragma once

#include "CBoxSearch.h"

#include <QBasicTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>

#include <string>

class QHostInfo;
class QNetworkAccessManager;
class QNetworkReply;

// Checks one Box directly, without the search: its host name resolved to an
// IPv4 address, both connections of a link taken on its command port (and
// closed again at once, before any command), and, when its description's
// address is known and on the same host, the UDN there. A description that
// cannot be had leaves the answer to the command port (its page may move
// to another port when the Box starts again); one whose UDN differs from
// the one known says that another device holds the address now.
// User-interface thread only, on its event loop; no thread of its own.
class CBoxProbe : public QObject {
    Q_OBJECT

public:
    static constexpr int kConnectTimeoutMs = 2000;
    static constexpr int kDescriptionTimeoutMs = 2000;
    static constexpr qint64 kMaxDescriptionBytes = 256 * 1024;

    enum class Outcome {
        Answered,    // a Box answers; box holds its address and what its page said
        NotResolved, // the host name has no IPv4 address
        NoAnswer,    // nothing takes both connections on the port in time
        OtherDevice, // a device answers whose UDN is not the one known
    };
    struct Result {
        Outcome outcome = Outcome::NoAnswer;
        // The Box as given, with the friendly name and UDN of its
        // description when it was read.
        FoundBox box;
        // The dotted IPv4 address it was reached at; empty when none.
        std::string address;
    };

    explicit CBoxProbe(QObject* parent = nullptr);
    ~CBoxProbe() override;

    // Ends any check under way, unreported, and starts one.
    void Start(const FoundBox& box);
    void Stop();
    bool IsRunning() const { return m_isRunning; }

Q_SIGNALS:
    void Finished(const CBoxProbe::Result& result);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void onLookedUp(const QHostInfo& info);
    void connectTo(const QHostAddress& address);
    void onConnected(QTcpSocket* socket);
    void readDescription();
    void onDescriptionRead();
    void finish(Outcome outcome);

    FoundBox m_box;
    QHostAddress m_address;
    bool m_isRunning = false;
    int m_lookupId = -1;
    QTcpSocket m_commandConnection;
    QTcpSocket m_dataConnection;
    QBasicTimer m_timeout;
    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_description;
};

Q_DECLARE_METATYPE(CBoxProbe::Result)

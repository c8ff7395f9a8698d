#include "CBoxProbe.h"

#include "BoxAddressText.h"
#include "DebugPrint.h"
#include "network/HostFromLocation.h"

#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimerEvent>
#include <QXmlStreamReader>

namespace {

// The first UDN and friendly name of a device description, wherever they
// stand; empty when missing.
struct Description {
    std::string udn;
    std::string friendlyName;
};

Description parseDescription(const QByteArray& xml) {
    Description found;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd() && (found.udn.empty() || found.friendlyName.empty())) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        std::string* field = reader.name() == QLatin1StringView("UDN") ? &found.udn
                             : reader.name() == QLatin1StringView("friendlyName")
                                 ? &found.friendlyName
                                 : nullptr;
        if (field != nullptr && field->empty())
            *field = reader.readElementText().trimmed().toStdString();
    }
    if (reader.hasError())
        DebugPrint("CBoxProbe: the description is not sound XML: %s\n",
                   qPrintable(reader.errorString()));
    return found;
}

} // namespace

CBoxProbe::CBoxProbe(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)) {
    for (QTcpSocket* connection : {&m_commandConnection, &m_dataConnection}) {
        connect(connection, &QAbstractSocket::connected, this,
                [this, connection] { onConnected(connection); });
        connect(connection, &QAbstractSocket::errorOccurred, this, [this, connection] {
            if (!m_isRunning)
                return;
            DebugPrint("CBoxProbe: %s:%d: %s\n", qPrintable(m_address.toString()), m_box.port,
                       qPrintable(connection->errorString()));
            finish(Outcome::NoAnswer);
        });
    }
}

CBoxProbe::~CBoxProbe() {
    Stop();
}

void CBoxProbe::Start(const FoundBox& box) {
    Stop();
    m_box = box;
    m_address = QHostAddress();
    m_isRunning = true;
    if (IsIpv4Address(box.host)) {
        connectTo(QHostAddress(QString::fromStdString(box.host)));
        return;
    }
    m_lookupId =
        QHostInfo::lookupHost(QString::fromStdString(box.host), this, &CBoxProbe::onLookedUp);
}

void CBoxProbe::Stop() {
    m_isRunning = false;
    m_timeout.stop();
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    m_commandConnection.abort();
    m_dataConnection.abort();
    if (m_description) {
        m_description->disconnect(this);
        m_description->abort();
        m_description->deleteLater();
        m_description = nullptr;
    }
}

void CBoxProbe::onLookedUp(const QHostInfo& info) {
    m_lookupId = -1;
    if (!m_isRunning)
        return;
    for (const QHostAddress& address : info.addresses())
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            connectTo(address);
            return;
        }
    DebugPrint("CBoxProbe: %s has no IPv4 address: %s\n", m_box.host.c_str(),
               qPrintable(info.errorString()));
    finish(Outcome::NotResolved);
}

// The command connection first, then the data connection: the Box pairs
// them in that order.
void CBoxProbe::connectTo(const QHostAddress& address) {
    m_address = address;
    m_timeout.start(kConnectTimeoutMs, this);
    m_commandConnection.connectToHost(address, static_cast<quint16>(m_box.port));
}

void CBoxProbe::onConnected(QTcpSocket* connection) {
    if (!m_isRunning)
        return;
    if (connection == &m_commandConnection) {
        m_dataConnection.connectToHost(m_address, static_cast<quint16>(m_box.port));
        return;
    }
    // Both taken: the Box pairs them, and ends the pair when they close.
    m_commandConnection.abort();
    m_dataConnection.abort();
    m_timeout.stop();
    if (!m_box.location.empty() &&
        HostFromLocation(m_box.location) == m_address.toString().toStdString())
        readDescription();
    else
        finish(Outcome::Answered);
}

void CBoxProbe::readDescription() {
    QNetworkRequest request(QUrl(QString::fromStdString(m_box.location)));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kDescriptionTimeoutMs);
    m_description = m_network->get(request);
    connect(m_description, &QNetworkReply::downloadProgress, this, [this](qint64 received) {
        if (received > kMaxDescriptionBytes && m_description)
            m_description->abort();
    });
    connect(m_description, &QNetworkReply::finished, this, &CBoxProbe::onDescriptionRead);
    m_timeout.start(kDescriptionTimeoutMs, this);
}

void CBoxProbe::onDescriptionRead() {
    QNetworkReply* reply = m_description;
    if (reply == nullptr || !m_isRunning)
        return;
    m_timeout.stop();
    if (reply->error() != QNetworkReply::NoError) {
        DebugPrint("CBoxProbe: no description at %s: %s\n", m_box.location.c_str(),
                   qPrintable(reply->errorString()));
        finish(Outcome::Answered);
        return;
    }
    const Description description = parseDescription(reply->read(kMaxDescriptionBytes));
    const bool isOther =
        !description.udn.empty() && !m_box.udn.empty() && description.udn != m_box.udn;
    if (!description.udn.empty())
        m_box.udn = description.udn;
    if (!description.friendlyName.empty())
        m_box.friendlyName = description.friendlyName;
    finish(isOther ? Outcome::OtherDevice : Outcome::Answered);
}

void CBoxProbe::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timeout.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    // Without its description the command port's answer stands.
    const bool hasAnswered = m_description != nullptr;
    DebugPrint("CBoxProbe: %s:%d: %s in time\n", qPrintable(m_address.toString()), m_box.port,
               hasAnswered ? "no description" : "no answer");
    finish(hasAnswered ? Outcome::Answered : Outcome::NoAnswer);
}

void CBoxProbe::finish(Outcome outcome) {
    Stop();
    Result result{outcome, m_box, {}};
    if (!m_address.isNull())
        result.address = m_address.toString().toStdString();
    Q_EMIT Finished(result);
}

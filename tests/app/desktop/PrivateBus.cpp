#include "PrivateBus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");

} // namespace

PrivateBus::PrivateBus() {
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (m_daemon.waitForStarted() && QTest::qWaitFor([&] { return m_daemon.canReadLine(); }, 10000))
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
}

PrivateBus::~PrivateBus() {
    for (QProcess* process : {&m_logind, &m_daemon}) {
        process->kill();
        process->waitForFinished();
    }
    for (const QString& name : m_connections)
        QDBusConnection::disconnectFromBus(name);
}

QDBusConnection PrivateBus::Connect(const QString& name) {
    m_connections.append(name);
    return QDBusConnection::connectToBus(m_address, name);
}

bool PrivateBus::StartLogind() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
    m_logind.setProcessEnvironment(environment);
    m_logind.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_logind.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                    QStringLiteral("logind")});
    QDBusConnection observer = Connect(QStringLiteral("logind-observer"));
    return m_logind.waitForStarted() &&
           QTest::qWaitFor(
               [&] { return observer.interface()->isServiceRegistered(kLogin).value(); }, 20000);
}

std::vector<PrivateBus::Inhibitor> PrivateBus::Inhibitors() {
    const QDBusMessage reply =
        QDBusConnection(QStringLiteral("logind-observer"))
            .call(QDBusMessage::createMethodCall(kLogin, QStringLiteral("/org/freedesktop/login1"),
                                                 QStringLiteral("org.freedesktop.login1.Manager"),
                                                 QStringLiteral("ListInhibitors")));
    std::vector<Inhibitor> list;
    const auto argument = reply.arguments().value(0).value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        Inhibitor inhibitor;
        uint uid = 0, pid = 0;
        argument.beginStructure();
        argument >> inhibitor.what >> inhibitor.who >> inhibitor.why >> inhibitor.mode >> uid >>
            pid;
        argument.endStructure();
        list.push_back(inhibitor);
    }
    argument.endArray();
    return list;
}

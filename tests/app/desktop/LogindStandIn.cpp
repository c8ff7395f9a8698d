#include "LogindStandIn.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");

} // namespace

LogindStandIn::LogindStandIn(PrivateBus& bus)
    : m_observer(bus.Connect(QStringLiteral("logind-observer"))) {
    m_process.setProcessEnvironment(bus.Environment());
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                     QStringLiteral("logind")});
    m_isRunning =
        m_process.waitForStarted() &&
        QTest::qWaitFor([&] { return m_observer.interface()->isServiceRegistered(kLogin).value(); },
                        20000);
}

LogindStandIn::~LogindStandIn() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

std::vector<LogindStandIn::Inhibitor> LogindStandIn::Inhibitors() {
    const QDBusMessage reply = m_observer.call(QDBusMessage::createMethodCall(
        kLogin, QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors")));
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

#include "CRemoteControl.h"

#include "DebugPrint.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRect>
#include <QUrl>

#include <utility>

namespace {

constexpr int kClosingRequestGraceMs = 2000;

QString windowTitle() {
    return QStringLiteral("Remote Control");
}

// The page's address for that Box; invalid unless address is a plain host
// with an optional port, so that no text makes it another page.
QUrl pageUrl(const QString& address, const QString& state) {
    QUrl url(QStringLiteral("http://%1/remote/?tavoli=%2").arg(address, state), QUrl::StrictMode);
    const bool isPlainHost = url.isValid() && !url.host().isEmpty() && url.userInfo().isEmpty() &&
                             url.path() == u"/remote/" && !url.hasFragment() &&
                             url.query() == QStringLiteral("tavoli=") + state;
    return isPlainHost ? url : QUrl();
}

} // namespace

CRemoteControl::CRemoteControl(QString modulePath, QObject* parent)
    : QObject(parent), m_modulePath(modulePath.isEmpty() ? DefaultModulePath() : modulePath) {}

CRemoteControl::~CRemoteControl() {
    Close();
    if (!m_closingReply)
        return;
    // The Box should still hear that setup has ended when the program goes.
    QEventLoop loop;
    connect(m_closingReply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    const QDeadlineTimer deadline(kClosingRequestGraceMs);
    while (m_closingReply && !m_closingReply->isFinished() && !deadline.hasExpired())
        loop.processEvents(QEventLoop::WaitForMoreEvents, int(deadline.remainingTime()));
}

// The program's own folder, its links resolved: the installation starts it
// through a link in the binary folder.
QString CRemoteControl::DefaultModulePath() {
    return QCoreApplication::applicationDirPath() + u'/' + QLatin1String(kModuleFileName);
}

bool CRemoteControl::Open(const QString& address, int top, int left) {
    if (m_window != nullptr)
        return true;
    const QUrl url = pageUrl(address, QStringLiteral("in"));
    if (url.isEmpty()) {
        DebugPrint("CRemoteControl::Open(): no Box address in \"%s\"\n", qUtf8Printable(address));
        return false;
    }
    if (!loadModule())
        return false;
    const QString title = windowTitle();
    const QRect geometry(left, top, kWidth, kHeight);
    QObject* page = m_createPage(&url, &title, &geometry);
    if (page == nullptr) {
        DebugPrint("CRemoteControl::Open(): the page's window was not made\n");
        return false;
    }
    m_address = address;
    m_window = page;
    page->installEventFilter(this);
    connect(page, &QObject::destroyed, this, &CRemoteControl::onWindowGone);
    // The view's own signal, by name: this side knows no web engine type.
    connect(page, SIGNAL(loadFinished(bool)), this, SLOT(onPageLoaded(bool)));
    return true;
}

void CRemoteControl::Enable(bool isEnabled) {
    if (m_window != nullptr)
        m_window->setProperty("enabled", isEnabled);
}

void CRemoteControl::Close() {
    QObject* window = std::exchange(m_window, nullptr);
    if (window == nullptr)
        return;
    sendClosingRequest();
    QMetaObject::invokeMethod(window, "close");
    Q_EMIT Closed();
}

bool CRemoteControl::loadModule() {
    if (m_createPage != nullptr)
        return true;
    m_module.setFileName(m_modulePath);
    m_createPage = reinterpret_cast<decltype(m_createPage)>(m_module.resolve(kCreateFunction));
    if (m_createPage == nullptr) {
        DebugPrint("CRemoteControl::Open(): cannot load %s: %s\n", qUtf8Printable(m_modulePath),
                   qUtf8Printable(m_module.errorString()));
        return false;
    }
    return true;
}

void CRemoteControl::onPageLoaded(bool isLoaded) {
    if (m_window == nullptr || sender() != m_window)
        return;
    // The page may have set a title of its own.
    m_window->setProperty("windowTitle", windowTitle());
    Q_EMIT PageLoaded(isLoaded);
}

// The user closes the window; it deletes itself once closed.
bool CRemoteControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close)
        onWindowGone(watched);
    return QObject::eventFilter(watched, event);
}

void CRemoteControl::onWindowGone(QObject* window) {
    if (window != m_window)
        return;
    m_window = nullptr;
    sendClosingRequest();
    Q_EMIT Closed();
}

void CRemoteControl::sendClosingRequest() {
    const QUrl url = pageUrl(m_address, QStringLiteral("out"));
    if (url.isEmpty())
        return;
    if (m_network == nullptr) {
        m_network = new QNetworkAccessManager(this);
        // Straight to the Box on the local network, never through a proxy.
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    QNetworkReply* reply = m_network->get(QNetworkRequest(url));
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    m_closingReply = reply;
}

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
#include <QUrlQuery>

#include <unistd.h>
#include <utility>

namespace {

constexpr int kClosingRequestGraceMs = 2000;

QString windowTitle() {
    return QStringLiteral("Remote Control");
}

// Whether page is a web page of a host, with nothing that could make it
// another page (a user, a fragment).
bool isBoxPage(const QUrl& page) {
    return page.isValid() && page.scheme() == u"http" && !page.host().isEmpty() &&
           page.userInfo().isEmpty() && !page.hasFragment();
}

// The default page of that Box; invalid unless address is a plain host with
// an optional port, so that no text makes it another page.
QUrl defaultPage(const QString& address) {
    const QUrl url(QStringLiteral("http://%1/remote/").arg(address), QUrl::StrictMode);
    return isBoxPage(url) && url.path() == u"/remote/" && !url.hasQuery() ? url : QUrl();
}

// The page with "tavoli=<state>" among its query items.
QUrl withState(const QUrl& page, const QString& state) {
    QUrlQuery query(page);
    query.removeAllQueryItems(QStringLiteral("tavoli"));
    query.addQueryItem(QStringLiteral("tavoli"), state);
    QUrl url = page;
    url.setQuery(query);
    return url;
}

// The web engine refuses to run as root without its sandbox switch, and its
// refusal would end the whole program: as root the switch is given. Read when
// the engine starts, which is after the module loads.
void allowRootWithoutSandbox() {
    if (::geteuid() != 0 || !qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX") ||
        qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(u"--no-sandbox"))
        return;
    DebugPrint("CRemoteControl: run as root, the setup page starts without its sandbox\n");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
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
    const QUrl page = defaultPage(address);
    if (page.isEmpty())
        return fail(Failure::NoBoxAddress, QStringLiteral("no Box address in \"%1\"").arg(address));
    return OpenPage(page, top, left);
}

bool CRemoteControl::OpenPage(const QUrl& page, int top, int left) {
    if (m_window != nullptr)
        return true;
    if (!isBoxPage(page))
        return fail(Failure::NoBoxAddress,
                    QStringLiteral("no page of a Box: %1").arg(page.toString(QUrl::FullyEncoded)));
    if (!loadModule())
        return false;
    const QString title = windowTitle();
    const QRect geometry(left, top, kWidth, kHeight);
    const QUrl url = withState(page, QStringLiteral("in"));
    QObject* window = m_createPage(&url, &title, &geometry);
    if (window == nullptr)
        return fail(Failure::NoWindow, QStringLiteral("the page's window was not made"));
    m_failure = Failure::None;
    m_page = page;
    m_window = window;
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, &CRemoteControl::onWindowGone);
    // The view's own signal, by name: this side knows no web engine type.
    connect(window, SIGNAL(loadFinished(bool)), this, SLOT(onPageLoaded(bool)));
    return true;
}

bool CRemoteControl::fail(Failure failure, const QString& detail) {
    DebugPrint("CRemoteControl::Open(): %s\n", qUtf8Printable(detail));
    m_failure = failure;
    return false;
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
    // Closed from the event loop, never from inside whatever called this.
    QMetaObject::invokeMethod(window, "close", Qt::QueuedConnection);
    Q_EMIT Closed();
}

bool CRemoteControl::loadModule() {
    if (m_createPage != nullptr)
        return true;
    allowRootWithoutSandbox();
    m_module.setFileName(m_modulePath);
    m_createPage = reinterpret_cast<decltype(m_createPage)>(m_module.resolve(kCreateFunction));
    if (m_createPage == nullptr)
        return fail(Failure::NoWebEngine,
                    QStringLiteral("cannot load %1: %2").arg(m_modulePath, m_module.errorString()));
    return true;
}

void CRemoteControl::onPageLoaded(bool isLoaded) {
    if (m_window == nullptr || sender() != m_window)
        return;
    // The page may have set a title of its own.
    m_window->setProperty("windowTitle", windowTitle());
    Q_EMIT PageLoaded(isLoaded);
}

// The user closes the window, or the module does when the page's process
// has ended (it then says so in the property kEndedProperty); it deletes
// itself once closed.
bool CRemoteControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched == m_window &&
        watched->property(kEndedProperty).toBool()) {
        m_failure = Failure::PageEnded;
        DebugPrint("CRemoteControl: the setup page's process ended\n");
        Q_EMIT PageFailed();
    }
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
    if (m_page.isEmpty())
        return;
    const QUrl url = withState(m_page, QStringLiteral("out"));
    if (m_network == nullptr) {
        m_network = new QNetworkAccessManager(this);
        // Straight to the Box on the local network, never through a proxy.
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    QNetworkReply* reply = m_network->get(QNetworkRequest(url));
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    m_closingReply = reply;
}

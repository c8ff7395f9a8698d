#pragma once

#include <QLibrary>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QEvent;
class QNetworkAccessManager;
class QNetworkReply;
class QRect;

// The Box's setup page in a small window of its own beside the main window:
// 360 wide, 400 high, no bars, titled "Remote Control", its input disabled
// while the Box does not answer. Closing it, by the user or by Close, tells
// the Box that setup has ended with one GET of "?tavoli=out" whose answer is
// ignored; a later Open opens a new window.
//
// The page stays on the Box: navigation to any other host goes nowhere, new
// windows are not opened, and its script dialogs (alert, confirm, prompt),
// file choosers and context menu are refused, so that nothing of the page
// runs a modal loop of its own in which the window could go.
//
// The web engine is loaded only by the first Open: the window comes from a
// module (vellumo-remote-page.so) that alone links it and the widgets, so a
// user who never opens the page pays nothing for it. This side knows the
// window only as an object with the widget's properties and slots. Run as
// root, the engine starts without its sandbox (which refuses root).
//
// User-interface thread.
class CRemoteControl : public QObject {
    Q_OBJECT

public:
    static constexpr int kWidth = 360;
    static constexpr int kHeight = 400;
    static constexpr const char* kModuleFileName = "vellumo-remote-page.so";
    static constexpr const char* kCreateFunction = "VellumoCreateRemotePage";
    // Set (true) on the window by its module when the page's process has
    // ended, just before the module closes the window.
    static constexpr const char* kEndedProperty = "vellumoPageEnded";

    // modulePath: the window's module; empty finds it beside the program,
    // where the build and the installation both put it.
    explicit CRemoteControl(QString modulePath = {}, QObject* parent = nullptr);
    // Closes an open window (which tells the Box) and gives that request a
    // moment to leave.
    ~CRemoteControl() override;

    // Why a page could not be opened, or went on its own.
    enum class Failure {
        None,
        NoBoxAddress, // the address is no host (with an optional port)
        NoWebEngine,  // the window's module or the web engine did not load
        NoWindow,     // the module made no window
        PageEnded,    // the page's process ended (crashed or was killed)
    };

    // Opens "http://<address>/remote/?tavoli=in" with its top-left corner at
    // (left, top). An open window stays as it is. False, with the reason in
    // LastFailure() (and the details traced), when the address is no host
    // (with an optional port) or the window cannot be made.
    bool Open(const QString& address, int top, int left);
    // The same for the page the Box's description names (an http address
    // without user or fragment), "?tavoli=in" added to it.
    bool OpenPage(const QUrl& page, int top, int left);
    // Why the last Open failed, or why the last window went on its own
    // (PageFailed).
    Failure LastFailure() const { return m_failure; }
    bool IsOpen() const { return m_window != nullptr; }
    // Whether the window takes input; nothing without a window.
    void Enable(bool isEnabled);
    void Close();

    // The open window (a widget), or null.
    QObject* Window() const { return m_window; }
    static QString DefaultModulePath();

Q_SIGNALS:
    // The page has finished loading (successfully or not).
    void PageLoaded(bool isLoaded);
    void Closed();
    // The window went because its page could not go on (its process ended);
    // LastFailure() says why. Closed follows.
    void PageFailed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void onPageLoaded(bool isLoaded);

private:
    bool fail(Failure failure, const QString& detail);
    bool loadModule();
    void onWindowGone(QObject* window);
    void sendClosingRequest();

    QString m_modulePath;
    QLibrary m_module;
    QObject* (*m_createPage)(const QUrl* url, const QString* title,
                             const QRect* geometry) = nullptr;
    QObject* m_window = nullptr;
    QUrl m_page; // the open page, without its query
    Failure m_failure = Failure::None;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_closingReply;
};

#pragma once

#include <QLibrary>
#include <QObject>
#include <QPointer>
#include <QString>

class QEvent;
class QNetworkAccessManager;
class QNetworkReply;
class QRect;
class QUrl;

// The Box's setup page in a small window of its own beside the main window:
// 360 wide, 400 high, no bars, titled "Remote Control", its input disabled
// while the Box does not answer. Closing it, by the user or by Close, tells
// the Box that setup has ended with one GET of "?tavoli=out" whose answer is
// ignored; a later Open opens a new window.
//
// The web engine is loaded only by the first Open: the window comes from a
// module (vellumo-remote-page.so) that alone links it and the widgets, so a
// user who never opens the page pays nothing for it. This side knows the
// window only as an object with the widget's properties and slots.
//
// User-interface thread.
class CRemoteControl : public QObject {
    Q_OBJECT

public:
    static constexpr int kWidth = 360;
    static constexpr int kHeight = 400;
    static constexpr const char* kModuleFileName = "vellumo-remote-page.so";
    static constexpr const char* kCreateFunction = "VellumoCreateRemotePage";

    // modulePath: the window's module; empty finds it beside the program,
    // where the build and the installation both put it.
    explicit CRemoteControl(QString modulePath = {}, QObject* parent = nullptr);
    // Closes an open window (which tells the Box) and gives that request a
    // moment to leave.
    ~CRemoteControl() override;

    // Opens "http://<address>/remote/?tavoli=in" with its top-left corner at
    // (left, top). An open window stays as it is. False when the address is
    // no host (with an optional port) or the window cannot be made.
    bool Open(const QString& address, int top, int left);
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void onPageLoaded(bool isLoaded);

private:
    bool loadModule();
    void onWindowGone(QObject* window);
    void sendClosingRequest();

    QString m_modulePath;
    QLibrary m_module;
    QObject* (*m_createPage)(const QUrl* url, const QString* title,
                             const QRect* geometry) = nullptr;
    QObject* m_window = nullptr;
    QString m_address;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_closingReply;
};

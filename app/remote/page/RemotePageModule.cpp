// The setup page's window, the one piece of the program that links the web
// engine. CRemoteControl loads this module on its first Open.
#include <QUrl>
#include <QWebEngineView>

// A new top-level view loading url; the caller owns it.
extern "C" Q_DECL_EXPORT QWidget* VellumoCreateRemotePage(const QUrl* url) {
    auto* view = new QWebEngineView;
    view->load(*url);
    return view;
}

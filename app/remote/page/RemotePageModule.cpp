// The setup page's window, the one piece of the program that links the web
// engine or any widget. CRemoteControl loads this module on its first Open.
#include <QRect>
#include <QString>
#include <QUrl>
#include <QWebEngineView>

// A new top-level view loading url, titled and placed as asked, shown; it
// deletes itself once closed. Returned as a plain object: the caller drives
// it through its properties, its close() slot and its loadFinished signal.
extern "C" Q_DECL_EXPORT QObject* VellumoCreateRemotePage(const QUrl* url, const QString* title,
                                                          const QRect* geometry) {
    auto* view = new QWebEngineView;
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->setWindowTitle(*title);
    view->resize(geometry->size());
    view->move(geometry->topLeft());
    view->load(*url);
    view->show();
    return view;
}

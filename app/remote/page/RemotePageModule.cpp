// The setup page's window, the one piece of the program that links the web
// engine or any widget. CRemoteControl loads this module on its first Open.
#include "CSetupPage.h"
#include "remote/CRemoteControl.h"

#include <QRect>
#include <QString>
#include <QUrl>
#include <QWebEngineView>

// A new top-level view loading url, titled and placed as asked, shown; it
// deletes itself once closed, from the event loop. Returned as a plain
// object: the caller drives it through its properties, its close() slot and
// its loadFinished signal. When the page's process ends, the view says so in
// CRemoteControl::kEndedProperty and closes.
extern "C" Q_DECL_EXPORT QObject* VellumoCreateRemotePage(const QUrl* url, const QString* title,
                                                          const QRect* geometry) {
    auto* view = new QWebEngineView;
    auto* page = new CSetupPage(url->host(), view);
    page->setObjectName(QStringLiteral("setupPage"));
    view->setPage(page);
    view->setAttribute(Qt::WA_DeleteOnClose);
    // A context menu runs a loop of its own.
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->setWindowTitle(*title);
    view->resize(geometry->size());
    view->move(geometry->topLeft());
    QObject::connect(page, &QWebEnginePage::renderProcessTerminated, view,
                     [view](QWebEnginePage::RenderProcessTerminationStatus status) {
                         if (status == QWebEnginePage::NormalTerminationStatus)
                             return;
                         view->setProperty(CRemoteControl::kEndedProperty, true);
                         QMetaObject::invokeMethod(view, "close", Qt::QueuedConnection);
                     });
    view->load(*url);
    view->show();
    return view;
}

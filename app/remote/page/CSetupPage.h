#pragma once

#include <QString>
#include <QWebEnginePage>

// The Box's setup page, kept on the Box: navigation to another host goes
// nowhere (traced), no new window opens, and what would run a modal loop of
// the page's own (alert, confirm, prompt, a file chooser) is refused, so that
// the window may be closed at any time without freeing what such a loop is
// still using.
class CSetupPage : public QWebEnginePage {
public:
    // boxHost: the only host the page may show.
    CSetupPage(QString boxHost, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl& origin, const QString& message) override;
    bool javaScriptConfirm(const QUrl& origin, const QString& message) override;
    bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& defaultValue,
                          QString* result) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    const QString m_boxHost;
};

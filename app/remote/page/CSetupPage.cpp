#include "CSetupPage.h"

#include "DebugPrint.h"

#include <QUrl>

namespace {

// Page text is the Box's (or an attacker's): one short, printable line.
QByteArray printable(const QString& text) {
    QString line = text.left(200);
    for (QChar& c : line)
        if (!c.isPrint())
            c = u'?';
    return line.toUtf8();
}

} // namespace

CSetupPage::CSetupPage(QString boxHost, QObject* parent)
    : QWebEnginePage(parent), m_boxHost(std::move(boxHost)) {}

bool CSetupPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
    if (url.scheme() == u"http" && url.host() == m_boxHost)
        return true;
    DebugPrint("CSetupPage: navigation to %s refused: not the Box's page\n",
               printable(url.toString(QUrl::FullyEncoded)).constData());
    return false;
}

QWebEnginePage* CSetupPage::createWindow(WebWindowType) {
    DebugPrint("CSetupPage: the page's new window refused\n");
    return nullptr;
}

void CSetupPage::javaScriptAlert(const QUrl&, const QString& message) {
    DebugPrint("CSetupPage: alert refused: %s\n", printable(message).constData());
}

bool CSetupPage::javaScriptConfirm(const QUrl&, const QString& message) {
    DebugPrint("CSetupPage: confirm refused: %s\n", printable(message).constData());
    return false;
}

bool CSetupPage::javaScriptPrompt(const QUrl&, const QString& message, const QString&, QString*) {
    DebugPrint("CSetupPage: prompt refused: %s\n", printable(message).constData());
    return false;
}

QStringList CSetupPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) {
    DebugPrint("CSetupPage: file chooser refused\n");
    return {};
}

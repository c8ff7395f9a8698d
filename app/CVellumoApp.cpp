#include "CVellumoApp.h"

#include "DebugPrint.h"
#include "DmpVellumoApi.h"
#include "Unicode.h"
#include "desktop/CFileHandOver.h"
#include "desktop/CMprisPlayer.h"
#include "desktop/COpenFilesClient.h"
#include "network/FirewallExceptions.h"
#include "remote/CRemoteControlRegistration.h"
#include "remote/CRemoteControlService.h"
#include "shell/CVellumoCore.h"
#include "ui/windows/CVellumoDlg.h"
#include "update/CFileVersionInfo.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include <cstdio>

namespace {

// The binding's failures, in the platform's message box, owned by the window
// that has the focus.
void showBindingError(const std::wstring& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QString::fromStdWString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

} // namespace

int CVellumoApp::RunFirewallCreation() {
    const std::string executable = RunningExecutablePath();
    const FirewallResult result = CreateFirewallExceptions(executable);
    if (result != kFirewallOk)
        DebugPrint("CVellumoApp: the firewall run ended with 0x%08lx\n",
                   static_cast<unsigned long>(result));
    return 0;
}

int CVellumoApp::Run(int& argc, char** argv) {
    m_options = ParseStartupOptions(std::vector<std::string>(argv + 1, argv + argc));
    // Answered on the terminal, before anything touches a display or a bus.
    if (m_options.request != StartupRequest::Start)
        return AnswerStartupRequest(m_options, kvu::ToUtf8(ApplicationVersionText()));
    if (m_options.mode == StartupMode::CloseFirewall)
        return RunFirewallCreation();
    switch (m_options.frameworkCommand) {
    case FrameworkCommand::Register:
        return CRemoteControlRegistration::Register(RunningExecutablePath());
    case FrameworkCommand::Unregister:
        return CRemoteControlRegistration::Unregister();
    case FrameworkCommand::Embedding:
    case FrameworkCommand::Automation: {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication application(argc, argv);
        return CRemoteControlService::RunEmbeddingServer();
    }
    case FrameworkCommand::None:
        break;
    }
    if (!m_instanceLock.TryAcquire())
        return handOverFiles(argc, argv);
    return runMainWindow(argc, argv);
}

int CVellumoApp::handOverFiles(int& argc, char** argv) {
    const std::vector<std::string> files = m_options.FileArguments();
    // No window says so: this line is for whoever started it from a shell.
    std::fputs(files.empty() ? "vellumo is already running.\n"
                             : "vellumo is already running: the files go to it.\n",
               stderr);
    QCoreApplication application(argc, argv);
    if (!files.empty())
        COpenFilesClient::HandOver(CFileHandOver::LocalPaths(files, QDir::currentPath()),
                                   QDBusConnection::sessionBus());
    // What plays comes back before the user, as the desktop entry promises.
    CMprisPlayer::RaiseRunning(QDBusConnection::sessionBus());
    return 0;
}

int CVellumoApp::runMainWindow(int& argc, char** argv) {
    // The setup page's web engine, loaded later, shares the contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    CRemoteControlService remoteControl;
    remoteControl.Publish();
    QApplication::setApplicationName(QStringLiteral("vellumo"));
    // Before the first use of the library table, which reports through it.
    SetDmpVellumoApiReporter(showBindingError);
    {
        CVellumoCore core(m_options);
        CVellumoDlg dialog(core);
        dialog.DoModal();
    }
    SetDmpVellumoApiReporter({});
    return 0;
}

#include "CVellumoApp.h"

#include "CVellumoDlg.h"
#include "DebugPrint.h"
#include "DmpVellumoApi.h"
#include "FirewallExceptions.h"

#include <QApplication>
#include <QMessageBox>

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
    if (m_options.mode == StartupMode::CloseFirewall)
        return RunFirewallCreation();
    if (!m_instanceLock.TryAcquire())
        return 0;
    if (m_options.frameworkCommand != FrameworkCommand::None) {
        DebugPrint("CVellumoApp: desktop-integration switches are not served by this program\n");
        return 0;
    }
    return runMainWindow(argc, argv);
}

int CVellumoApp::runMainWindow(int& argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vellumo"));
    // Before the first use of the library table, which reports through it.
    SetDmpVellumoApiReporter(showBindingError);
    {
        CVellumoDlg dialog(m_options);
        dialog.DoModal();
    }
    SetDmpVellumoApiReporter({});
    return 0;
}

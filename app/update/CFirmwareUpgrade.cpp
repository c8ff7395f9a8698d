#include "CFirmwareUpgrade.h"

#include "CUpgradeHost.h"
#include "DebugPrint.h"
#include "FileUtil.h"
#include "ScaledProgress.h"
#include "Unicode.h"
#include "UpgradeFiles.h"
#include "network/HttpServer.h"
#include "playback/CDmpInstances.h"

#include <arpa/inet.h>

namespace {

constexpr int kNoText = -1;
constexpr int kNoNetworkText = 273;
constexpr int kDownloadingText = 274;
constexpr int kNoFirmwareText = 275;
constexpr int kUpgradeTitle = 277;
constexpr int kSuccessTitle = 278;
constexpr int kWritingText = 279;
constexpr int kCloseText = 280;
constexpr int kCompletedText = 281;
constexpr int kNetworkErrorText = 282;
constexpr int kDownloadQuestionText = 294;
constexpr int kDownloadFailedText = 295;
constexpr int kBoxFailedText = 407;
constexpr int kBoxGoneText = 408;
constexpr int kNotOwnText = 340;

// A dotted IPv4 text in host byte order; nothing for any other text.
std::optional<in_addr_t> ipv4Of(const std::string& text) {
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1)
        return std::nullopt;
    return ntohl(address.s_addr);
}

constexpr const char* kApplianceName = "appliance.xml";
constexpr const char* kImageName = "install.img";

} // namespace

CFirmwareUpgrade::CFirmwareUpgrade(CUpgradeHost& host, UpgradeFiles& files,
                                   const CStringTable& strings)
    : m_host(host), m_files(files), m_strings(strings), m_download(host, files) {}

CFirmwareUpgrade::~CFirmwareUpgrade() {
    stopServer();
}

void CFirmwareUpgrade::Run() {
    const std::optional<std::string> localAddress = m_host.FindLocalAddress();
    if (!localAddress) {
        m_host.ShowNotice(CStringTable::kErrorTitle, kNoNetworkText);
        return;
    }
    // Another user's files are never served to the Box nor rewritten.
    if (const std::string refused = m_files.Refused(); !refused.empty()) {
        m_host.ShowNoticeAbout(CStringTable::kErrorTitle, kNotOwnText, refused);
        return;
    }
    if (CFirmwareDownload::IsDownloadRunning()) {
        m_host.ShowNotice(kNoText, kDownloadingText);
        return;
    }
    if (!FileExists(m_files.appliancePath())) {
        m_host.ShowNotice(kNoText, kNoFirmwareText);
        return;
    }
    m_host.HideMainWindow();
    const bool hasImage = ensureImage();
    m_host.ShowMainWindow();
    if (hasImage)
        serve(*localAddress);
}

// The main window is hidden meanwhile. False when the upgrade ends here.
bool CFirmwareUpgrade::ensureImage() {
    if (FileExists(m_files.imagePath()))
        return true;
    if (!m_host.Ask(kDownloadQuestionText))
        return false;
    switch (m_download.DownloadFirmware()) {
    case CFirmwareDownload::kCancelled:
        return false;
    case CFirmwareDownload::kFailed:
        m_host.ShowNotice(kNoText, kDownloadFailedText);
        return false;
    case CFirmwareDownload::kReady:
        break;
    }
    // "Nothing to do" without "device_info.xml", or while another process
    // downloads: serving no image would only make the Box fail.
    if (FileExists(m_files.imagePath()))
        return true;
    DebugPrint("CFirmwareUpgrade: no image after the download step\n");
    m_host.ShowNotice(kNoText, CFirmwareDownload::IsDownloadRunning() ? kDownloadingText
                                                                      : kDownloadFailedText);
    return false;
}

void CFirmwareUpgrade::serve(const std::string& localAddress) {
    if (!m_files.SetFirmwareUrl(serverUrl(localAddress, kImageName))) {
        DebugPrint("CFirmwareUpgrade: cannot point %s at this PC\n",
                   m_files.appliancePath().c_str());
        return;
    }
    stopServer();
    // Made before the server runs, so that its thread finds the window of
    // this upgrade and none that is going away.
    m_progressWindow = m_host.MakeProgressWindow(CUpgradeHost::Owner::MainWindow);
    m_progressWindow->SetTitle(m_strings.text(kUpgradeTitle));
    // Only the Box, on the PC's address that faces it.
    const std::optional<in_addr_t> address = ipv4Of(localAddress);
    const std::optional<in_addr_t> boxAddress = ipv4Of(kvu::ToUtf8(m_host.BoxAddress()));
    if (!address || !boxAddress) {
        DebugPrint("CFirmwareUpgrade: no IPv4 address for the file server or the Box\n");
        return;
    }
    HttpServer::Settings settings;
    settings.port = kServerPort;
    settings.address = *address;
    settings.peerAddress = *boxAddress;
    m_server = std::make_unique<HttpServer>(settings);
    if (!m_server->Start(m_files.directory(), {kApplianceName, kImageName})) {
        DebugPrint("CFirmwareUpgrade: the file server does not start\n");
        m_server.reset();
        return;
    }
    m_server->SetStatusObserver(this);

    CDmpInstances* instances = m_host.Instances();
    const DmpVellumoApi* api = instances != nullptr ? &instances->Api() : nullptr;
    DmpVellumoInfo* instance =
        api != nullptr ? DmpCallOr(api->CreateWithAsyncIo, static_cast<DmpVellumoInfo*>(nullptr),
                                   m_host.BoxAddress().c_str(), kBoxPort, m_host.LibraryWindow())
                       : nullptr;
    if (instance == nullptr) {
        // The server stays until the next upgrade or the end of the window.
        DebugPrint("CFirmwareUpgrade: no library instance for the Box\n");
        return;
    }
    instances->Add(instance);
    m_instance = instance;
    m_boxReport = 0;
    const std::string manifestUrl = serverUrl(localAddress, kApplianceName);
    if (DmpCallOr(api->Upgrade, false, instance, manifestUrl.c_str())) {
        const int code = m_progressWindow->DoModal();
        reportOutcome(code, instances->Contains(instance));
    } else {
        DebugPrint("CFirmwareUpgrade: the library refused the upgrade\n");
    }
    m_instance = nullptr;
    stopServer();
    // The closed notification may have ended the instance already.
    if (instances->Contains(instance))
        instances->Destroy(instance);
}

void CFirmwareUpgrade::reportOutcome(int code, bool isLinkOpen) {
    if (code == kNetworkErrorCode) {
        m_host.ShowNotice(CStringTable::kErrorTitle, kNetworkErrorText);
        return;
    }
    if (code == kBoxReportCode) {
        reportBoxFailure();
        return;
    }
    if (code != CProgressWindow::kCompleted)
        return;
    const int position = m_progressWindow->progressPosition();
    if (position <= 0 || position != m_progressWindow->progressTotal()) {
        m_host.ShowNotice(kSuccessTitle, kCompletedText);
        return;
    }
    // Only the Box closing its link ends the notice; a link already closed
    // has nothing left to wait for.
    if (isLinkOpen)
        m_host.RunWaitingMessage(kWritingText);
    // "Success." only for a Box that closed its link cleanly after the image.
    if (m_boxReport != 0) {
        reportBoxFailure();
        return;
    }
    m_host.ShowNotice(kSuccessTitle, kCloseText);
    m_host.PostClose();
}

void CFirmwareUpgrade::reportBoxFailure() {
    DebugPrint("CFirmwareUpgrade: the Box %s\n", m_boxReport == DMP_ERROR_BOX_FAILED
                                                     ? "reported that the upgrade failed"
                                                     : "went away before it reported a result");
    m_host.ShowNotice(CStringTable::kErrorTitle,
                      m_boxReport == DMP_ERROR_BOX_FAILED ? kBoxFailedText : kBoxGoneText);
}

void CFirmwareUpgrade::LinkReported(DmpVellumoInfo* instance, int32_t linkError) {
    if (instance == nullptr || instance != m_instance ||
        (linkError != DMP_ERROR_BOX_FAILED && linkError != DMP_ERROR_BOX_LOST))
        return;
    m_boxReport = linkError;
    // Before the whole image went out this ends the progress window; after
    // it the writing notice ends with the link, and the report decides.
    if (m_progressWindow)
        m_progressWindow->EndDialog(kBoxReportCode);
}

void CFirmwareUpgrade::EndModalBoxes(int32_t linkError) {
    if (!m_progressWindow)
        return;
    if (linkError == DMP_ERROR_CONNECT || linkError == DMP_ERROR_NOT_CONNECTED)
        m_progressWindow->EndDialog(kNetworkErrorCode);
    else if (linkError == 0)
        m_progressWindow->EndDialog(CProgressWindow::kCancelled);
}

void CFirmwareUpgrade::TransferProgress(const std::string& path, uint32_t sentBytes,
                                        uint32_t totalBytes) {
    if (path.find(".img") == std::string::npos || totalBytes < kProgressMinimumBytes)
        return;
    if (!m_progressWindow)
        return;
    const ScaledProgress progress = ScaleProgress(sentBytes, totalBytes);
    m_progressWindow->SetProgress(progress.position, progress.total);
    if (sentBytes == totalBytes)
        m_progressWindow->EndDialog(CProgressWindow::kCompleted);
}

std::string CFirmwareUpgrade::serverUrl(const std::string& localAddress,
                                        const std::string& path) const {
    return "http://" + localAddress + ":" + std::to_string(kServerPort) + "/" + path;
}

void CFirmwareUpgrade::stopServer() {
    if (!m_server)
        return;
    m_server->Stop();
    m_server.reset();
}

#pragma once

#include "CFirmwareDownload.h"
#include "CProgressWindow.h"
#include "UpgradeFiles.h"
#include "dmp_vellumo.h"
#include "network/HttpStatusObserver.h"
#include "resources/CStringTable.h"

#include <cstdint>
#include <memory>
#include <string>

class CUpgradeHost;
class HttpServer;

// The firmware-upgrade command of the main window: makes sure "install.img"
// is there (downloading it if the user agrees), points "appliance.xml" at the
// PC's own file server, serves the user's own folder on port 7272, opens a
// library instance for the Box and gives it the manifest's URL. The server's
// transfer of the image drives a progress window; after a whole image the
// writing notice waits for the Box to close its link, then the success
// message and the main window's close request follow.
//
// User-interface thread, except TransferProgress (the server's thread).
class CFirmwareUpgrade : public HttpStatusObserver {
public:
    static constexpr uint16_t kServerPort = 7272;
    static constexpr int32_t kBoxPort = 7171;
    // Smaller transfers do not move the progress window.
    static constexpr uint32_t kProgressMinimumBytes = 1048576;
    static constexpr int kNetworkErrorCode = 3;
    // The progress window's end when the Box reported a failure or went away.
    static constexpr int kBoxReportCode = 4;

    explicit CFirmwareUpgrade(CUpgradeHost& host, UpgradeFiles& files = UpgradeFiles::Get(),
                              const CStringTable& strings = CStringTable::Get());
    // Stops a server left running.
    ~CFirmwareUpgrade() override;
    CFirmwareUpgrade(const CFirmwareUpgrade&) = delete;
    CFirmwareUpgrade& operator=(const CFirmwareUpgrade&) = delete;

    // The command; returns when the upgrade has ended one way or another.
    void Run();

    // The main window's playback session ended while the upgrade may wait:
    // a link that cannot reach the Box (linkError -4 or -1) ends the progress
    // window as a network error; the last instance closing (0) ends it with
    // nothing to report.
    void EndModalBoxes(int32_t linkError);
    // A link's error, which may be the Box's word on the upgrade: its failure
    // report, or its going away before it reported a result.
    void LinkReported(DmpVellumoInfo* instance, int32_t linkError);

    CFirmwareDownload& Download() { return m_download; }
    // The upgrade's progress window; kept until the next upgrade.
    CProgressWindow* ProgressWindow() const { return m_progressWindow.get(); }

    void TransferStarted(const std::string&) override {}
    void TransferProgress(const std::string& path, uint32_t sentBytes,
                          uint32_t totalBytes) override;
    void TransferFinished(const std::string&) override {}

private:
    bool ensureImage();
    void serve(const std::string& localAddress);
    void reportOutcome(int code, bool isLinkOpen);
    void reportBoxFailure();
    std::string serverUrl(const std::string& localAddress, const std::string& path) const;
    void stopServer();

    CUpgradeHost& m_host;
    UpgradeFiles& m_files;
    const CStringTable& m_strings;
    CFirmwareDownload m_download;
    // Replaced only while no server runs: the server's thread reads it.
    std::unique_ptr<CProgressWindow> m_progressWindow;
    std::unique_ptr<HttpServer> m_server;
    // While the upgrade instance runs: it, and the Box's report on it
    // (DMP_ERROR_BOX_FAILED or DMP_ERROR_BOX_LOST; 0 for none).
    DmpVellumoInfo* m_instance = nullptr;
    int32_t m_boxReport = 0;
};

#pragma once

#include <cstdint>
#include <string>

class CProgressWindow;
class CUpgradeHost;
class UpgradeFiles;

// Downloads the firmware image named by "device_info.xml" into
// "install.img". The transfer runs on a worker thread; the user-interface
// thread meanwhile runs the background progress window (titled with the
// percentage, owned by no window), whose Cancel stops the transfer. A partial or cancelled download
// never becomes "install.img" and leaves no ".upd" file behind.
//
// "ZentharTavoliGlobalMutex", a lock file shared by every process of the
// user, is held while a download runs; the upgrade command refuses to start
// while another holder has it.
class CFirmwareDownload {
public:
    enum Result {
        kReady = 0,     // the image is in place, or there was nothing to do
        kFailed = 1,    // no URL, no download file, or the transfer failed
        kCancelled = 2, // the user cancelled
    };
    static constexpr const char* kMutexName = "ZentharTavoliGlobalMutex";
    // The largest image taken: the largest file the PC's file server hands
    // the Box (2 GiB - 1). A longer declared length, or one beyond the free
    // space of the user's folder, fails before any data; so does a body that
    // is text or markup (an error page sent with status 200).
    static constexpr uint64_t kMaxImageBytes = 0x7FFFFFFF;

    // host: makes the progress window.
    CFirmwareDownload(CUpgradeHost& host, UpgradeFiles& files);

    // User-interface thread; returns when the transfer has ended.
    Result DownloadFirmware();

    // Whether any process, this one included, holds the download lock now.
    static bool IsDownloadRunning();

    // The percentage title of the progress window: bytes stored out of the
    // expected length, whole percent, at most 100; 0 without a length.
    static unsigned Percent(uint64_t storedBytes, uint64_t expectedBytes);

    // The background progress window while a download runs, else null.
    CProgressWindow* ProgressWindow() const { return m_progressWindow; }

private:
    Result transfer(const std::string& url, const std::string& path);

    CUpgradeHost& m_host;
    UpgradeFiles& m_files;
    CProgressWindow* m_progressWindow = nullptr; // while transfer runs
};

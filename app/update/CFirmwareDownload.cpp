#include "CFirmwareDownload.h"

#include "CHttpDownloader.h"
#include "CSingleInstanceLock.h"
#include "CUpgradeHost.h"
#include "DebugPrint.h"
#include "FileUtil.h"
#include "ScaledProgress.h"
#include "Unicode.h"
#include "UpgradeFiles.h"

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

// The code with which the worker ends the progress window.
constexpr int kTransferEnded = 0;
constexpr auto kStopRepeat = std::chrono::milliseconds(50);

QString percentTitle(unsigned percent) {
    return QStringLiteral("%1%").arg(percent);
}

void removeFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        DebugPrint("CFirmwareDownload: unlink(%s) failed: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
}

} // namespace

CFirmwareDownload::CFirmwareDownload(CUpgradeHost& host, UpgradeFiles& files)
    : m_host(host), m_files(files) {}

bool CFirmwareDownload::IsDownloadRunning() {
    CSingleInstanceLock probe(kMutexName);
    return !probe.TryAcquire();
}

unsigned CFirmwareDownload::Percent(uint64_t storedBytes, uint64_t expectedBytes) {
    if (expectedBytes == 0)
        return 0;
    if (storedBytes >= expectedBytes)
        return 100;
    return static_cast<unsigned>(static_cast<unsigned __int128>(storedBytes) * 100 / expectedBytes);
}

CFirmwareDownload::Result CFirmwareDownload::DownloadFirmware() {
    if (!FileExists(m_files.deviceInfoPath()))
        return kReady;
    // Held until this returns: the mark of a download in progress. Another
    // holder means another download runs.
    CSingleInstanceLock lock(kMutexName);
    if (!lock.TryAcquire())
        return kReady;
    m_files.ReadFirmwareUrl();
    if (m_files.firmwareUrl().empty()) {
        DebugPrint("CFirmwareDownload::DownloadFirmware(): no firmware URL\n");
        return kFailed;
    }
    const std::optional<std::string> path = m_files.MakeDownloadFileName();
    if (!path)
        return kFailed;
    const Result result = transfer(kvu::ToUtf8(m_files.firmwareUrl()), *path);
    if (result != kReady) {
        // The downloader removes a file it wrote to; the empty one made for
        // it stays unless removed here.
        removeFile(*path);
        return result;
    }
    // One step, so "install.img" is never a partial image.
    if (std::rename(path->c_str(), m_files.imagePath().c_str()) != 0) {
        DebugPrint("CFirmwareDownload::DownloadFirmware(): rename(%s) failed: 0x%08lx\n",
                   path->c_str(), static_cast<unsigned long>(errno));
        removeFile(*path);
        return kFailed;
    }
    return kReady;
}

CFirmwareDownload::Result CFirmwareDownload::transfer(const std::string& url,
                                                      const std::string& path) {
    const std::unique_ptr<CProgressWindow> progressWindow =
        m_host.MakeProgressWindow(CUpgradeHost::Owner::None);
    CProgressWindow& window = *progressWindow;
    window.SetTitle(percentTitle(0));
    m_progressWindow = &window;
    // Queued title changes die with it, never reaching a window that is gone.
    QObject titleChanges;

    std::atomic<bool> isCancelled{false};
    std::atomic<unsigned> shownPercent{0};
    // Runs on the worker; reaches the window only through its thread-safe
    // calls and queued ones.
    CHttpDownloader downloader(false, [&](CHttpDownloader& current) {
        if (isCancelled.load()) {
            current.Stop();
            return;
        }
        const uint64_t expected = current.ExpectedLength();
        if (current.IsFinished() || expected == 0)
            return;
        const ScaledProgress progress = ScaleProgress(current.BytesReceived(), expected);
        window.SetProgress(progress.position, progress.total);
        const unsigned percent = Percent(current.BytesStored(), expected);
        if (shownPercent.exchange(percent) != percent)
            QMetaObject::invokeMethod(
                &titleChanges, [&window, percent] { window.SetTitle(percentTitle(percent)); },
                Qt::QueuedConnection);
    });
    downloader.SetMaxLength(kMaxImageBytes);
    downloader.SetTextRefused(true);

    std::mutex doneMutex; // guards isDone and isComplete
    std::condition_variable doneChanged;
    bool isDone = false;
    bool isComplete = false;
    // Joined below, before the window and the downloader it uses go.
    std::thread worker([&] {
        pthread_setname_np(pthread_self(), "FirmwareFetch");
        const bool hasCompleted =
            downloader.DownloadToFile(url, path) == 0 && downloader.IsSucceeded();
        {
            std::lock_guard lock(doneMutex);
            isDone = true;
            isComplete = hasCompleted;
        }
        doneChanged.notify_all();
        window.EndDialog(kTransferEnded);
    });

    window.DoModal();
    if (window.WasCancelledByUser()) {
        isCancelled = true;
        // A Stop made before the transfer has begun is forgotten by its
        // start, and a server that sends nothing calls no callback: repeat it
        // until the worker is done.
        std::unique_lock lock(doneMutex);
        while (!isDone) {
            lock.unlock();
            downloader.Stop();
            lock.lock();
            doneChanged.wait_for(lock, kStopRepeat, [&] { return isDone; });
        }
    }
    worker.join();
    m_progressWindow = nullptr;
    if (isCancelled.load())
        return kCancelled;
    return isComplete ? kReady : kFailed;
}

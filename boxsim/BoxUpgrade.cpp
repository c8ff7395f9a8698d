#include "BoxUpgrade.h"

#include "DebugPrint.h"
#include "FirmwareManifest.h"

#include <pthread.h>

#include <chrono>

BoxUpgrade::BoxUpgrade(int pairId, const BoxOptions& options, EventLog& log, StatusWriter& writer,
                       EndPair endPair)
    : m_pairId(pairId), m_options(options), m_log(log), m_writer(writer),
      m_endPair(std::move(endPair)) {}

BoxUpgrade::~BoxUpgrade() {
    stop();
    join();
}

bool BoxUpgrade::start(std::string manifestUrl) {
    {
        std::lock_guard lock(m_mutex);
        if (m_hasStarted || m_isStopping) {
            DebugPrint("BoxUpgrade: pair %d: an upgrade is already under way\n", m_pairId);
            m_log.write(JsonLine("error")
                            .add("pair", m_pairId)
                            .add("text", "an upgrade is already under way"));
            return false;
        }
        m_hasStarted = true;
    }
    m_thread = std::thread([this, url = std::move(manifestUrl)] {
        const std::string name = "bsim-upgr-" + std::to_string(m_pairId);
        pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
        run(url);
    });
    return true;
}

void BoxUpgrade::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_isStopping = true;
    }
    m_stopped.notify_all();
}

void BoxUpgrade::join() {
    if (m_thread.joinable())
        m_thread.join();
}

void BoxUpgrade::run(const std::string& manifestUrl) {
    if (manifestUrl.rfind("http://", 0) != 0) {
        finish(false, "manifest URL \"" + manifestUrl + "\" is not an http:// URL");
        return;
    }
    std::string manifest;
    const auto manifestResult =
        fetch(What::Manifest, manifestUrl, [&](std::string_view piece, const HttpFetch::Result&) {
            manifest.append(piece);
            return true;
        });
    if (!manifestResult.isComplete) {
        finish(false, "manifest: " + manifestResult.error);
        return;
    }
    if (m_options.has(BoxFault::RefuseManifest)) {
        finish(false, "manifest refused (fault)");
        return;
    }
    std::string error;
    const auto imageUrl = FirmwareManifest::imageUrl(manifest, error);
    if (!imageUrl) {
        finish(false, error);
        return;
    }
    const bool isHalfway = m_options.has(BoxFault::ImageHalfway);
    const auto imageResult =
        fetch(What::Image, *imageUrl, [&](std::string_view, const HttpFetch::Result& soFar) {
            return !isHalfway || soFar.expectedBytes <= 0 ||
                   soFar.receivedBytes < soFar.expectedBytes / 2;
        });
    if (!imageResult.isComplete) {
        finish(false, "image: " + imageResult.error);
        return;
    }
    m_log.write(JsonLine("upgrade")
                    .add("pair", m_pairId)
                    .add("stage", "writing")
                    .add("bytes", imageResult.receivedBytes)
                    .add("ms", m_options.flashTimeMs));
    if (m_options.has(BoxFault::CloseAfterImage)) {
        m_log.write(JsonLine("upgrade").add("pair", m_pairId).add("stage", "closed (fault)"));
        m_endPair("fault");
        return;
    }
    const bool isWritten = writeFirmware() && !m_options.has(BoxFault::FailWrite);
    finish(isWritten,
           m_options.has(BoxFault::FailWrite) ? "writing failed (fault)" : "writing interrupted");
}

HttpFetch::Result BoxUpgrade::fetch(What what, const std::string& url,
                                    const HttpFetch::Sink& sink) {
    const bool isManifest = what == What::Manifest;
    const auto result =
        HttpFetch::get(url, isManifest ? kMaxManifestBytes : kMaxImageBytes, m_isStopping, sink);
    JsonLine line("transfer");
    line.add("pair", m_pairId)
        .add("what", isManifest ? "manifest" : "image")
        .add("url", url)
        .add("status", static_cast<int64_t>(result.status))
        .add("size", result.expectedBytes)
        .add("received", result.receivedBytes)
        .add("sha256", result.sha256)
        .add("complete", result.isComplete);
    if (!result.isComplete)
        line.add("error", result.error);
    m_log.write(line);
    return result;
}

// The simulated flash: the firmware is "written" once the flash time has
// passed; a pair that ends meanwhile cuts it short.
bool BoxUpgrade::writeFirmware() {
    std::unique_lock lock(m_mutex);
    return !m_stopped.wait_for(lock, std::chrono::milliseconds(m_options.flashTimeMs),
                               [this] { return m_isStopping.load(); });
}

// A pair that ended meanwhile gets no answer: its connections are gone.
void BoxUpgrade::finish(bool isWritten, const std::string& text) {
    if (m_isStopping) {
        m_log.write(JsonLine("upgrade").add("pair", m_pairId).add("stage", "cancelled"));
        return;
    }
    JsonLine line("upgrade");
    line.add("pair", m_pairId).add("stage", isWritten ? "written" : "failed");
    if (!isWritten) {
        DebugPrint("BoxUpgrade: pair %d: upgrade failed: %s\n", m_pairId, text.c_str());
        line.add("text", text);
    }
    m_log.write(line);
    // "done" makes the peer close its link cleanly; the Box then closes its side.
    m_writer.sendStat("done", isWritten ? 0 : -1);
    m_endPair("upgrade");
}

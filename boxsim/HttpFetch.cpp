#include "HttpFetch.h"

#include "Sha256Digest.h"

#include <curl/curl.h>

#include <memory>

namespace {

constexpr long kConnectTimeoutMs = 10000;
// A server that sends nothing for this long has stalled.
constexpr long kStallSeconds = 30;

struct Transfer {
    CURL* easy = nullptr;
    int64_t maxBytes = 0;
    const std::atomic<bool>* isCancelled = nullptr;
    const HttpFetch::Sink* sink = nullptr;
    HttpFetch::Result result;
    Sha256Digest digest;
    bool hasHeaders = false;
    std::string stopReason;

    // The answer's head is complete once the first body byte arrives; only a
    // 200 answer's body is taken.
    bool takeHeaders() {
        if (!hasHeaders) {
            hasHeaders = true;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
            curl_off_t length = -1;
            curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            result.expectedBytes = length;
            if (result.status != 200)
                stopReason = "answered status " + std::to_string(result.status);
        }
        return result.status == 200;
    }

    size_t take(const char* data, size_t bytes) {
        if (!takeHeaders())
            return 0;
        if (result.receivedBytes + static_cast<int64_t>(bytes) > maxBytes) {
            stopReason = "longer than " + std::to_string(maxBytes) + " bytes";
            return 0;
        }
        digest.update(data, bytes);
        result.receivedBytes += static_cast<int64_t>(bytes);
        if (!(*sink)(std::string_view(data, bytes), result)) {
            stopReason = "stopped by the Box";
            return 0;
        }
        return bytes;
    }
};

size_t onData(char* data, size_t size, size_t count, void* transfer) {
    return static_cast<Transfer*>(transfer)->take(data, size * count);
}

// libcurl calls this often while data flows and about once a second when
// it does not.
int onProgress(void* transfer, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* self = static_cast<Transfer*>(transfer);
    if (!self->isCancelled->load())
        return 0;
    self->stopReason = "cancelled";
    return 1;
}

} // namespace

HttpFetch::Result HttpFetch::get(const std::string& url, int64_t maxBytes,
                                 const std::atomic<bool>& isCancelled, const Sink& sink) {
    Transfer transfer;
    transfer.maxBytes = maxBytes;
    transfer.isCancelled = &isCancelled;
    transfer.sink = &sink;
    const std::unique_ptr<CURL, void (*)(CURL*)> easy(curl_easy_init(), &curl_easy_cleanup);
    if (!easy) {
        transfer.result.error = "curl_easy_init failed";
        return transfer.result;
    }
    transfer.easy = easy.get();
    curl_slist* headers = curl_slist_append(nullptr, "Connection: close");
    const std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers,
                                                                        &curl_slist_free_all);
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(easy.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &onData);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy.get(), CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(easy.get(), CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy.get(), CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = curl_easy_perform(easy.get());
    Result& result = transfer.result;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &result.status);
    curl_off_t length = -1;
    curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    result.expectedBytes = length;
    result.sha256 = transfer.digest.finishHex();
    if (!transfer.stopReason.empty())
        result.error = transfer.stopReason;
    else if (code == CURLE_FILESIZE_EXCEEDED)
        result.error = "longer than " + std::to_string(maxBytes) + " bytes";
    else if (code != CURLE_OK)
        result.error = curl_easy_strerror(code);
    else if (result.status != 200)
        result.error = "answered status " + std::to_string(result.status);
    else if (result.expectedBytes >= 0 && result.receivedBytes != result.expectedBytes)
        result.error = "body shorter than its Content-Length";
    result.isComplete = result.error.empty();
    return result;
}

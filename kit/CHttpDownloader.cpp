#include "CHttpDownloader.h"

#include "DebugPrint.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
        if (result != CURLE_OK)
            DebugPrint("curl_global_init failed: 0x%08lx\n", static_cast<unsigned long>(result));
    });
}

// How often the last response carries the header.
size_t headerCount(CURL* easy, const char* name) {
    curl_header* header = nullptr;
    return curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &header) == CURLHE_OK ? header->amount
                                                                                   : 0;
}

bool hasHeader(CURL* easy, const char* name) {
    return headerCount(easy, name) > 0;
}

bool isTextType(CURL* easy) {
    const char* type = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type) != CURLE_OK || type == nullptr)
        return false;
    std::string_view text(type);
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    constexpr std::string_view kText = "text/";
    return text.size() >= kText.size() &&
           std::equal(kText.begin(), kText.end(), text.begin(), [](char a, char b) {
               return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
           });
}

// A body that begins with "<" after white space: an HTML or XML page.
bool isMarkup(const uint8_t* data, size_t size) {
    size_t start = 0;
    while (start < size && (data[start] == ' ' || data[start] == '\t' || data[start] == '\r' ||
                            data[start] == '\n'))
        ++start;
    return start < size && data[start] == '<';
}

// The free bytes of the folder that holds path, or nothing.
std::optional<uint64_t> freeBytesBeside(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    struct statvfs status {};
    if (statvfs(folder.c_str(), &status) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(status.f_bavail) * status.f_frsize;
}

} // namespace

CHttpDownloader::CHttpDownloader(bool isAsynchronous, Callback callback)
    : m_isAsynchronous(isAsynchronous), m_callback(std::move(callback)) {
    initCurlOnce();
    m_multi = curl_multi_init();
}

CHttpDownloader::~CHttpDownloader() {
    Stop();
    closeFile();
    if (m_multi != nullptr)
        curl_multi_cleanup(m_multi);
}

int32_t CHttpDownloader::DownloadToMemory(const std::string& url) {
    return start(Mode::Memory, url, {});
}

int32_t CHttpDownloader::DownloadToFile(const std::string& url, const std::string& path) {
    return start(Mode::File, url, path);
}

int32_t CHttpDownloader::DownloadToCount(const std::string& url) {
    return start(Mode::Count, url, {});
}

void CHttpDownloader::Stop() {
    m_isCancelled = true;
    if (m_multi != nullptr)
        curl_multi_wakeup(m_multi);
    if (!m_thread.IsRunning() || m_thread.IsCurrentThread())
        return;
    m_thread.Join();
    m_isCancelled = false;
}

void CHttpDownloader::SetStallWindow(long bytes, long seconds) {
    m_stallBytes = bytes;
    m_stallSeconds = std::max(1L, seconds);
}

void CHttpDownloader::Abort() {
    // Set before the cancel flag: a start that clears the cancel flag after
    // this still sees the abort.
    m_isAborted = true;
    m_isCancelled = true;
    if (m_multi != nullptr)
        curl_multi_wakeup(m_multi);
}

int32_t CHttpDownloader::start(Mode mode, const std::string& url, const std::string& path) {
    Stop();
    m_isCancelled = m_isAborted.load();
    m_isSucceeded = false;
    m_isFinished = false;
    m_mode = mode;
    m_url = url;
    m_path = path;
    closeFile();
    std::vector<uint8_t>().swap(m_buffer);
    m_expectedLength = 0;
    m_bytesReceived = 0;
    m_bytesStored = 0;

    m_easy = m_multi != nullptr && !m_isCancelled ? curl_easy_init() : nullptr;
    if (m_easy == nullptr) {
        DebugPrint("CHttpDownloader::start(): curl_easy_init failed\n");
        m_isFinished = true;
        callBack();
        return -1;
    }
    m_requestHeaders = curl_slist_append(nullptr, "Cache-Control: no-cache");
    m_requestHeaders = curl_slist_append(m_requestHeaders, "Pragma: no-cache");
    curl_easy_setopt(m_easy, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(m_easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_requestHeaders);
    // Addresses come from play lists and the network: nothing but the web.
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(m_easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    // A peer that trickles (or sends nothing) ends the transfer; a long but
    // moving one does not. libcurl takes the floor as an average per second
    // over the window.
    curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_LIMIT, std::max(1L, m_stallBytes / m_stallSeconds));
    curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_TIME, m_stallSeconds);
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, static_cast<long>(kBlockBytes));
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &CHttpDownloader::onHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CHttpDownloader::onData);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);

    if (!m_isAsynchronous)
        return transfer();
    if (!m_thread.Start(&CHttpDownloader::threadMain, this)) {
        curl_easy_cleanup(m_easy);
        m_easy = nullptr;
        curl_slist_free_all(m_requestHeaders);
        m_requestHeaders = nullptr;
        m_isFinished = true;
        return -1;
    }
    return 0;
}

void CHttpDownloader::threadMain(void* self) {
    static_cast<CHttpDownloader*>(self)->transfer();
}

int32_t CHttpDownloader::transfer() {
    m_blockFill = 0;
    m_isBodyAccepted = false;
    m_hasCreatedFile = false;

    CURLMcode multiResult = curl_multi_add_handle(m_multi, m_easy);
    int running = multiResult == CURLM_OK ? 1 : 0;
    while (running != 0 && !m_isCancelled) {
        multiResult = curl_multi_perform(m_multi, &running);
        if (multiResult != CURLM_OK || running == 0 || m_isCancelled)
            break;
        // Stop wakes this wait at once.
        multiResult = curl_multi_poll(m_multi, nullptr, 0, 1000, nullptr);
        if (multiResult != CURLM_OK)
            break;
    }
    CURLcode result = CURLE_FAILED_INIT;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE)
            result = message->data.result;
    }
    curl_multi_remove_handle(m_multi, m_easy);
    curl_easy_cleanup(m_easy);
    m_easy = nullptr;
    curl_slist_free_all(m_requestHeaders);
    m_requestHeaders = nullptr;

    bool hasFailed = multiResult != CURLM_OK || result != CURLE_OK || !m_isBodyAccepted;
    if (hasFailed && !m_isCancelled)
        DebugPrint("CHttpDownloader::transfer(): %s failed: %s\n", m_url.c_str(),
                   multiResult != CURLM_OK ? curl_multi_strerror(multiResult)
                                           : curl_easy_strerror(result));
    if (!hasFailed && !m_isCancelled && m_blockFill > 0) {
        hasFailed = !storeBlock(m_block.data(), m_blockFill);
        m_blockFill = 0;
        if (!hasFailed)
            callBack();
    }
    if (!hasFailed && m_bytesReceived != m_expectedLength)
        hasFailed = true;
    return finish(hasFailed);
}

int32_t CHttpDownloader::finish(bool hasFailed) {
    // A file whose last writes fail at close is no complete download either.
    if (!closeFile())
        hasFailed = true;
    const bool isComplete = !hasFailed && m_bytesReceived == m_expectedLength;
    if (m_hasCreatedFile && !(isComplete && m_mode == Mode::File)) {
        if (unlink(m_path.c_str()) != 0)
            DebugPrint("CHttpDownloader::finish(): unlink(%s) failed: 0x%08lx\n", m_path.c_str(),
                       static_cast<unsigned long>(errno));
    }
    if (m_mode == Mode::Memory)
        m_buffer.resize(std::min<uint64_t>(m_buffer.size(), m_bytesReceived));
    m_isSucceeded = isComplete && !m_isCancelled;
    m_isFinished = true;
    callBack();
    return hasFailed && !m_isCancelled ? -1 : 0;
}

size_t CHttpDownloader::onHeader(char* data, size_t size, size_t count, void* self) {
    auto* me = static_cast<CHttpDownloader*>(self);
    const size_t total = size * count;
    // Only the blank line that ends a response's headers matters: libcurl
    // has parsed them by then.
    const std::string_view line(data, total);
    if (line != "\r\n" && line != "\n")
        return total;
    return me->acceptResponse() ? total : 0;
}

bool CHttpDownloader::acceptResponse() {
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    // An interim reply, or a redirect libcurl follows, is no body of ours.
    if (status / 100 == 1 || (status / 100 == 3 && hasHeader(m_easy, "Location")))
        return true;
    if (status / 100 != 2) {
        DebugPrint("CHttpDownloader::acceptResponse(): %s answered status %ld\n", m_url.c_str(),
                   status);
        return false;
    }
    // The length decides the memory reserved and whether the body came whole;
    // of two lengths, neither can be trusted.
    curl_off_t length = -1;
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (hasHeader(m_easy, "Transfer-Encoding") || headerCount(m_easy, "Content-Length") != 1 ||
        length <= 0) {
        DebugPrint("CHttpDownloader::acceptResponse(): %s has not exactly one Content-Length\n",
                   m_url.c_str());
        return false;
    }
    if (!isLengthAccepted(static_cast<uint64_t>(length)))
        return false;
    if (m_isTextRefused && isTextType(m_easy)) {
        DebugPrint("CHttpDownloader::acceptResponse(): %s answered text, refused\n", m_url.c_str());
        return false;
    }
    m_expectedLength = static_cast<uint64_t>(length);
    m_isBodyAccepted = true;
    return true;
}

bool CHttpDownloader::isLengthAccepted(uint64_t length) const {
    const uint64_t limit =
        m_mode == Mode::Memory ? std::min(m_maxLength, kMemoryLimitBytes) : m_maxLength;
    if (length > limit) {
        DebugPrint("CHttpDownloader::acceptResponse(): %s is too large (%llu bytes)\n",
                   m_url.c_str(), static_cast<unsigned long long>(length));
        return false;
    }
    if (m_mode == Mode::File) {
        const std::optional<uint64_t> free = freeBytesBeside(m_path);
        if (!free || length > *free) {
            DebugPrint("CHttpDownloader::acceptResponse(): %llu bytes of %s do not fit beside %s\n",
                       static_cast<unsigned long long>(length), m_url.c_str(), m_path.c_str());
            return false;
        }
    }
    return true;
}

size_t CHttpDownloader::onData(char* data, size_t size, size_t count, void* self) {
    auto* me = static_cast<CHttpDownloader*>(self);
    const size_t total = size * count;
    if (me->m_isCancelled || !me->m_isBodyAccepted)
        return 0;
    // Blocks of kBlockBytes whatever pieces the network delivers, so the
    // callback sees the same blocks for the same body.
    size_t used = 0;
    while (used < total) {
        const size_t take = std::min(total - used, kBlockBytes - me->m_blockFill);
        std::memcpy(me->m_block.data() + me->m_blockFill, data + used, take);
        me->m_blockFill += take;
        used += take;
        if (me->m_blockFill == kBlockBytes) {
            me->m_blockFill = 0;
            if (!me->storeBlock(me->m_block.data(), kBlockBytes))
                return 0;
            me->callBack();
            if (me->m_isCancelled)
                return 0;
        }
    }
    return total;
}

bool CHttpDownloader::storeBlock(const uint8_t* data, size_t size) {
    if (size > m_expectedLength - m_bytesReceived) {
        DebugPrint("CHttpDownloader::storeBlock(): %s sends more than its Content-Length\n",
                   m_url.c_str());
        return false;
    }
    if (m_bytesReceived == 0 && m_isTextRefused && isMarkup(data, size)) {
        DebugPrint("CHttpDownloader::storeBlock(): %s sends markup, refused\n", m_url.c_str());
        return false;
    }
    switch (m_mode) {
    case Mode::Memory: {
        if (m_buffer.empty())
            m_buffer.assign(m_expectedLength, 0);
        const uint64_t position = m_bytesReceived;
        std::memcpy(m_buffer.data() + position, data, size);
        m_bytesReceived += size;
        m_bytesStored += size;
        return true;
    }
    case Mode::Count:
        m_bytesReceived += size;
        m_bytesStored += size;
        return true;
    case Mode::File:
        if (m_file < 0) {
            m_file =
                open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
            if (m_file < 0) {
                DebugPrint("CHttpDownloader::storeBlock(): open(%s) failed: 0x%08lx\n",
                           m_path.c_str(), static_cast<unsigned long>(errno));
                return false;
            }
            m_hasCreatedFile = true;
        }
        m_bytesReceived += size;
        for (size_t written = 0; written < size;) {
            const ssize_t result = write(m_file, data + written, size - written);
            if (result < 0 && errno == EINTR)
                continue;
            if (result <= 0) {
                DebugPrint("CHttpDownloader::storeBlock(): write(%s) failed: 0x%08lx\n",
                           m_path.c_str(), static_cast<unsigned long>(errno));
                return false;
            }
            written += static_cast<size_t>(result);
            m_bytesStored += static_cast<uint64_t>(result);
        }
        return true;
    case Mode::None:
        break;
    }
    return false;
}

void CHttpDownloader::callBack() {
    if (m_callback)
        m_callback(*this);
}

bool CHttpDownloader::closeFile() {
    if (m_file < 0)
        return true;
    const bool isClosed = close(m_file) == 0;
    if (!isClosed)
        DebugPrint("CHttpDownloader::closeFile(): close(%s) failed: 0x%08lx\n", m_path.c_str(),
                   static_cast<unsigned long>(errno));
    m_file = -1;
    return isClosed;
}

#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

class CHttpDownloader;

// Bytes sent to the Box per data write, and read from a source per turn.
inline constexpr int32_t kChunkBytes = 98304;

// What a link streams to the Box, and what play lists are read through: a
// local file, or a web address downloaded into memory. Used by one thread at
// a time, except Abort.
class CDmpFileSource {
public:
    enum class Kind { None, LocalFile, Http, Https };

    CDmpFileSource();
    ~CDmpFileSource();
    CDmpFileSource(const CDmpFileSource&) = delete;
    CDmpFileSource& operator=(const CDmpFileSource&) = delete;

    // Local paths are opened read-only; only regular files are accepted, and
    // none on a pseudo file system (procfs, sysfs and the like).
    // "http://" and "https://" addresses (any case) are downloaded at once,
    // on this thread; the open then succeeds with whatever bytes arrived.
    bool Open(const std::wstring& path);
    // -1 when nothing is open.
    int64_t Size() const;
    // Up to capacity bytes; 0 at the end or when nothing is open.
    int32_t Read(uint8_t* buffer, int32_t capacity);
    // Positions a local file; web sources cannot seek.
    bool Seek(int64_t offset);
    void Close();
    // From any thread: ends a running download at once and makes every later
    // download fail.
    void Abort();

    Kind GetKind() const { return m_kind; }
    // What Open makes of path: a web address by its scheme, else a local file.
    static Kind KindOf(const std::wstring& path);
    const std::wstring& Path() const { return m_path; }

private:
    bool openLocal(const std::string& path);

    Kind m_kind = Kind::None;
    std::wstring m_path;
    FILE* m_file = nullptr;
    // Guards the m_downloader pointer against Abort from another thread.
    std::mutex m_downloaderMutex;
    std::unique_ptr<CHttpDownloader> m_downloader;
    bool m_isAborted = false; // guarded by m_downloaderMutex
    // Bytes of the download already handed out.
    uint64_t m_consumed = 0;
};

#include "CDmpFileSource.h"

#include "AsciiCase.h"
#include "CHttpDownloader.h"
#include "DebugPrint.h"
#include "Unicode.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// Files of the kernel's pseudo file systems look regular but announce sizes
// they do not have (or none) and hold the process's or the system's own
// state: nothing to stream to a Box.
bool isOnPseudoFileSystem(int fd) {
    struct statfs info {};
    if (fstatfs(fd, &info) != 0)
        return true;
    switch (static_cast<unsigned long>(info.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case EFIVARFS_MAGIC:
    case PSTOREFS_MAGIC:
        return true;
    default:
        return false;
    }
}

} // namespace

CDmpFileSource::CDmpFileSource() = default;

CDmpFileSource::~CDmpFileSource() {
    Close();
}

CDmpFileSource::Kind CDmpFileSource::KindOf(const std::wstring& path) {
    if (path.size() > 7 && kvu::StartsWithAsciiNoCase(path, L"http://"))
        return Kind::Http;
    if (path.size() > 8 && kvu::StartsWithAsciiNoCase(path, L"https://"))
        return Kind::Https;
    return Kind::LocalFile;
}

bool CDmpFileSource::Open(const std::wstring& path) {
    if (path.empty())
        return false;
    Close();
    const Kind kind = KindOf(path);
    const std::string utf8 = kvu::ToUtf8(path);
    if (kind == Kind::LocalFile) {
        if (!openLocal(utf8))
            return false;
    } else {
        {
            std::lock_guard lock(m_downloaderMutex);
            m_downloader = std::make_unique<CHttpDownloader>();
            if (m_isAborted)
                m_downloader->Abort();
        }
        m_downloader->DownloadToMemory(utf8);
        m_consumed = 0;
    }
    m_kind = kind;
    m_path = path;
    return true;
}

bool CDmpFileSource::openLocal(const std::string& path) {
    // A NUL inside the name would open a different, shorter path.
    if (path.find('\0') != std::string::npos) {
        DebugPrint("CDmpFileSource::Open(): path holds a NUL character\n");
        return false;
    }
    // Non-blocking, so that a FIFO cannot hang the open; only regular files
    // have a size to announce and an end to reach.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        DebugPrint("CDmpFileSource::Open(): open(%s) failed: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        return false;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        DebugPrint("CDmpFileSource::Open(): %s is not a regular file\n", path.c_str());
        close(fd);
        return false;
    }
    if (isOnPseudoFileSystem(fd)) {
        DebugPrint("CDmpFileSource::Open(): %s is on a pseudo file system\n", path.c_str());
        close(fd);
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_file = fdopen(fd, "rb");
    if (m_file == nullptr) {
        DebugPrint("CDmpFileSource::Open(): fdopen(%s) failed: 0x%08lx\n", path.c_str(),
                   static_cast<unsigned long>(errno));
        close(fd);
        return false;
    }
    return true;
}

int64_t CDmpFileSource::Size() const {
    switch (m_kind) {
    case Kind::LocalFile: {
        // fstat leaves the read position where it is.
        struct stat status {};
        if (fstat(fileno(m_file), &status) != 0)
            return -1;
        return static_cast<int64_t>(status.st_size);
    }
    case Kind::Http:
    case Kind::Https:
        return static_cast<int64_t>(m_downloader->Buffer().size());
    case Kind::None:
        break;
    }
    return -1;
}

int32_t CDmpFileSource::Read(uint8_t* buffer, int32_t capacity) {
    if (buffer == nullptr || capacity <= 0)
        return 0;
    switch (m_kind) {
    case Kind::LocalFile:
        return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(capacity), m_file));
    case Kind::Http:
    case Kind::Https: {
        const std::vector<uint8_t>& data = m_downloader->Buffer();
        const uint64_t count =
            std::min<uint64_t>(data.size() - m_consumed, static_cast<uint64_t>(capacity));
        if (count == 0)
            return 0;
        std::memcpy(buffer, data.data() + m_consumed, count);
        m_consumed += count;
        return static_cast<int32_t>(count);
    }
    case Kind::None:
        break;
    }
    return 0;
}

void CDmpFileSource::Abort() {
    std::lock_guard lock(m_downloaderMutex);
    m_isAborted = true;
    if (m_downloader)
        m_downloader->Abort();
}

bool CDmpFileSource::Seek(int64_t offset) {
    if (m_kind != Kind::LocalFile || offset < 0)
        return false;
    return fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

void CDmpFileSource::Close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    std::unique_ptr<CHttpDownloader> downloader;
    {
        std::lock_guard lock(m_downloaderMutex);
        downloader = std::move(m_downloader);
    }
    if (downloader)
        downloader->Stop();
    m_consumed = 0;
    m_path.clear();
    m_kind = Kind::None;
}

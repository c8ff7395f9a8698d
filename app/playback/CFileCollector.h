#pragma once

#include <QList>
#include <QUrl>

#include <atomic>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

// The local paths of a "text/uri-list" drop, in order: "file:" URIs of this
// host ("file:///p", "file://localhost/p"), percent-decoded. Comment lines,
// other schemes and other hosts are left out (traced).
std::vector<std::string> LocalPathsFromUriList(std::string_view uriList);
// The same reading of URLs a drop or a hand-over already holds parsed.
std::vector<std::string> LocalPathsFromUrls(const QList<QUrl>& urls);

// Collects the media candidates of one drop: the regular files under each
// dropped path, folders walked depth first. The library sorts them by type
// later, so no media test is made here.
//
// The walk ends on every input: each folder (device and inode) is entered
// once per drop, so links that lead back into the tree add nothing. Entries
// of a folder are taken in name order, letter case ignored. Paths of any
// length are kept whole. Skipped, with a trace line: unreadable folders,
// names holding a NUL byte or a line break (a play-list line cannot hold them) or not
// valid UTF-8 (the play list cannot carry them), and anything that is not a
// regular file or folder (devices, sockets, pipes).
//
// Bounded as it goes: the walk stops the moment it holds maxFiles files, or
// when it is cancelled from another thread, and can tell another thread how
// many it holds so far.
class CFileCollector {
public:
    // The files of one drop at most: as many as a playing list may hold.
    static constexpr size_t kMaxFiles = 100000;

    struct Bounds {
        size_t maxFiles = kMaxFiles;
        // Polled per entry; may be set from another thread.
        const std::atomic<bool>* isCancelled = nullptr;
        // Kept up to date with the files held, for another thread to read.
        std::atomic<size_t>* foundCount = nullptr;
    };

    CFileCollector() = default;
    explicit CFileCollector(const Bounds& bounds) : m_bounds(bounds) {}

    void CollectFiles(const std::string& path);
    const std::vector<std::wstring>& Files() const { return m_files; }
    std::vector<std::wstring> TakeFiles() { return std::move(m_files); }
    // Whether the bound or a cancel left files out.
    bool IsCut() const { return m_isCut; }

private:
    // True when the walk must end here (and from now on).
    bool isDone();
    void collectFolder(const std::string& path);
    // The checks after the look at the entry; status null: a regular file
    // known from its folder.
    void collectEntry(const std::string& path, const struct stat* status);
    void addFile(std::wstring path);

    const Bounds m_bounds;
    std::vector<std::wstring> m_files;
    std::set<std::pair<dev_t, ino_t>> m_enteredFolders;
    bool m_isCut = false;
};

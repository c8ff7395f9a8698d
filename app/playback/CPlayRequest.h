#pragma once

#include "CDmpInstances.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Media pool masks: the photo-and-music pool and the video pool.
inline constexpr uint32_t kPhotoMusicPoolMask = DMP_TYPE_IMAGE | DMP_TYPE_AUDIO;
inline constexpr uint32_t kVideoPoolMask = DMP_TYPE_VIDEO;

// Where a play request shows its messages (a one-button message box).
class CPlayRequestReporter {
public:
    virtual void ShowMessage(const QString& text) = 0;

protected:
    ~CPlayRequestReporter() = default;
};

enum class PlayRequestOutcome {
    NothingToPlay, // no file collected, or no pool hit
    NoInstance,    // the library could not give an instance (or is missing)
    InvalidFiles,  // nothing playable: "Invalid files." was shown
    Ignored,       // every type belongs to the other pool: ShowIgnored
    Merged,        // everything joined instances that already play
    Started,       // a new instance plays (it joined the instance list)
};

// Where a drop joins what already plays: "Queue It" at the end, "Play Now"
// in front (what plays restarts there).
enum class Placement { Queue, PlayNow };

// The Box a request plays on and the window its instance posts to. A
// standard renderer (its description's address in boxAddress) has one
// transport: it plays photos or music, not both, and a drop of both plays
// the music.
struct PlayTarget {
    std::wstring boxAddress;
    int32_t boxPort = 7171;
    DmpHostWindow* window = nullptr;
    bool isRenderer = false;
    // The text a player of its own kind gives for one of its errors, shown
    // instead of the handling of the library's codes; empty for those.
    std::function<QString(DmpVellumoInfo* instance, int32_t error)> explainError = {};
};

// What a request did with its files: the instances it started, and those
// that played a type of the files already and took them in (at the head or
// the end), each once.
struct PlayRecord {
    std::vector<DmpVellumoInfo*> started;
    std::vector<std::pair<DmpVellumoInfo*, Placement>> merged;
    // Photos left out for the music of the same drop (one transport).
    bool hasLeftOutPhotos = false;
};

// Turns one drop into a play request: writes the temporary play list, asks a
// new instance for the types of its entries, merges the types that already
// play into their instances (Play Now at the head, Queue It at the end),
// keeps the types of the pool and starts the new instance for them. Its
// messages are shown once the temporary play list is gone, so that no
// message waiting for the user keeps it on disk; a merge cut by the bound of
// a playing list is told once. Calls the library only through the binding
// table; user-interface thread only.
class CPlayRequest {
public:
    CPlayRequest(CDmpInstances& instances, CPlayRequestReporter& reporter)
        : m_instances(instances), m_reporter(reporter) {}

    // files: what CFileCollector gathered; poolMask: the pool's types (0:
    // outside both pools). Drops stay off on the main window after Started
    // only.
    PlayRequestOutcome Play(const std::vector<std::wstring>& files, uint32_t poolMask,
                            Placement placement, const PlayTarget& target);
    // Files opened with the application: the photos and music as a drop on
    // their pool, the videos as one on theirs, queued; what belongs to the
    // other pool is never reported as ignored. Started when either started.
    PlayRequestOutcome PlayOpened(const std::vector<std::wstring>& files, const PlayTarget& target);
    // The entries of files of one media type, on a new instance of their own
    // that joins nothing: a list taken up again.
    PlayRequestOutcome PlayType(const std::vector<std::wstring>& files, uint32_t type,
                                const PlayTarget& target);
    const PlayRecord& Record() const { return m_record; }

    // Hands the new instance's list of type to the instance that plays type:
    // position -1 appends, 0 puts it in front and restarts; what that one
    // queues already is skipped. False when none plays it or the new instance
    // has no such list.
    bool MergeIntoPlaying(uint32_t type, DmpVellumoInfo* newInstance, int32_t position);

    // "Video", "Photo", "/Music" for the mask's bits, then " files dropped to
    // this media pool will be ignored!".
    static QString IgnoredText(uint32_t mask);

    // "Only the first 100,000 files ..." : what is told when a drop is cut.
    static QString CutText();

private:
    // Writes the play list of files, runs play on its path and deletes the
    // list, then shows the messages of play.
    PlayRequestOutcome
    withPlayList(const std::vector<std::wstring>& files,
                 const std::function<PlayRequestOutcome(const std::string& playListPath)>& play);
    // wantedMask: the types of the list this request plays; the others are
    // left out unseen.
    PlayRequestOutcome playFromList(const std::string& playListPath, uint32_t poolMask,
                                    uint32_t wantedMask, Placement placement,
                                    const PlayTarget& target);

    CDmpInstances& m_instances;
    CPlayRequestReporter& m_reporter;
    PlayRecord m_record;
    QStringList m_messages; // shown once the play list is gone
};

#pragma once

#include "CPlayRequest.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// What each playback instance was given and how far it got, so that a list
// the Box lost can be taken up again where it stopped. The files of an
// instance are kept in the order the library keeps each type's list: a drop
// that starts it, then merges at the head or the end. Which entries are of
// which type is the library's to say; the list of a type is taken up again
// from its current entry on, the other types left out by the new instance.
// User-interface thread only.
class CPlayedLists {
public:
    // A list to play again: the entries from the one that played on, and
    // the time it had reached in it (0 for photos, or when unknown).
    struct Resume {
        uint32_t type = 0;
        std::vector<std::wstring> files;
        int32_t elapsedSeconds = 0;
    };

    void Started(DmpVellumoInfo* instance, const std::vector<std::wstring>& files);
    // Files a drop merged into an instance that plays some of their types.
    void Merged(DmpVellumoInfo* instance, const std::vector<std::wstring>& files,
                Placement placement);
    // Takes a request's record in: its started and merged instances.
    void Take(const PlayRecord& record, const std::vector<std::wstring>& files);
    void Forget(DmpVellumoInfo* instance);
    // Forgets every instance that has ended: their addresses may come again.
    void Prune(const CDmpInstances& instances);
    bool Contains(const DmpVellumoInfo* instance) const;

    // A list taken up again: it plays resume's files, and its time is sought
    // once the Box plays the first of them (see TakeSeek).
    void Resumed(DmpVellumoInfo* instance, const Resume& resume);
    // The Box reported on the instance: the list plays.
    void Answered(DmpVellumoInfo* instance);
    bool HasAnswered(const DmpVellumoInfo* instance) const;
    bool IsResuming(const DmpVellumoInfo* instance) const;

    // A status of the type: the entry it plays and the time in it.
    void Seen(DmpVellumoInfo* instance, uint32_t type, const wchar_t* name, int32_t elapsedSeconds);
    // The time to seek to, once, when the resumed type plays its first
    // entry (name); nothing otherwise.
    std::optional<int32_t> TakeSeek(DmpVellumoInfo* instance, uint32_t type, const wchar_t* name);

    // The lists to take up again for each type the instance was seen to
    // play; a resumed list that never played is given again as it was.
    std::vector<Resume> ResumesOf(const DmpVellumoInfo* instance) const;

    // The instance could not read a file: the first of its files that cannot
    // be read and was not told yet joins the skipped ones. Their names so
    // far; empty when no such file is found.
    const std::vector<std::wstring>&
    Skip(DmpVellumoInfo* instance, const std::function<bool(const std::wstring&)>& isReadable);

private:
    struct Position {
        std::wstring name;
        int32_t elapsedSeconds = 0;
    };
    struct Played {
        std::vector<std::wstring> files;
        std::map<uint32_t, Position> positions; // by media type
        std::optional<Resume> resume;           // a list taken up again, its seek pending
        bool hasAnswered = false;
        std::vector<std::wstring> skipped;
    };

    std::map<const DmpVellumoInfo*, Played> m_played;
};

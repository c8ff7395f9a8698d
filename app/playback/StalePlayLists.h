#pragma once

#include <ctime>
#include <string>

// Temporary play lists ("Kvu" + six characters + ".m3u") that a process of
// the user left behind when it was killed before it could delete them.

// When this process started (seconds since the epoch).
std::time_t ProcessStartTime();

// Deletes the plain files of that name in folder that the user owns and
// that were last written before startedAt; what any other process may still
// be writing is younger. The count deleted.
int RemoveStalePlayLists(const std::string& folder, std::time_t startedAt);

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kvu {

// Play-list files (".m3u") as both deliverables write them: UTF-16
// little-endian without byte-order mark, one full path per line, each line
// ended by CR LF.

// Writes the entries, replacing the file. Entries holding CR or LF cannot be
// stored as one line and are left out (logged). False on any write failure,
// with no partial file left.
bool WritePlayList(const std::string& path, const std::vector<std::wstring>& entries);

// $TMPDIR, else /tmp.
std::string TemporaryPlayListFolder();

// Creates "Kvu" + six characters + ".m3u" in TemporaryPlayListFolder(),
// holding the entries, and returns its path. The caller deletes the file.
std::optional<std::string> WriteTemporaryPlayList(const std::vector<std::wstring>& entries);

} // namespace kvu

#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// The user's own folder and files in it: the lock files, the firmware files
// and the downloaded image live where no other user can plant, replace or
// redirect them. Paths are UTF-8.

// The folder: $XDG_RUNTIME_DIR when it is the user's own, else
// $XDG_CACHE_HOME/vellumo ($HOME/.cache/vellumo), made 0700 when missing;
// never a shared folder such as /tmp. Nothing, with the refused folder in
// *refused (traced), when that folder exists but another user owns it, others
// may write to it, or it is no folder.
std::optional<std::string> OwnDirectory(std::string* refused = nullptr);

// Whether path is a folder (not a link to one) of the user's that only the
// user may write to.
bool IsOwnDirectory(const std::string& path);

// Opens path with flags (O_CREAT may be among them, with mode) as a file of
// the user's own: never through a symbolic link, never waiting on a FIFO, and
// refused (-1, traced) unless it is a regular file with one name that the user
// owns and no one else may write to. The descriptor is blocking and closed on
// exec.
int OpenOwnFile(const std::string& path, int flags, mode_t mode = 0600);

// Whether an entry of that name exists that OpenOwnFile would refuse.
bool IsForeignFile(const std::string& path);

// The whole of a file of the user's own, as ReadWholeFile reads it; nothing
// for a file that is missing, refused or unreadable.
std::optional<std::string> ReadOwnFile(const std::string& path);

// Replaces path with a new file of the user's own (0600) holding exactly these
// bytes: written beside it and renamed over it, so that a link or a file of
// another user in its place is replaced, never followed or written through.
bool ReplaceOwnFile(const std::string& path, const char* data, std::size_t size);

// A server folder's lock file, opened without trusting anything on the way, and who holds the
// byte a wineserver locks for its whole life.
#pragma once

#include <sys/types.h>

#include <string>

#include "unique_fd.h"

namespace vidazoz::wineprefix {

// The lock file in `serverDir` (".../server-<dev>-<ino>") when the folder and its parent are
// ours and closed to others (Wine runs a server in no other) and reached without a symlink.
// With `create`, missing folders (0700) and the file (0600) are made as Wine makes them. An
// empty fd with errno 0 means no server can run there.
UniqueFd OpenServerLock(const std::string& serverDir, bool create, int openMode);

// Who holds byte 0 of the lock: 0 nobody, a pid for a process lock (a wineserver's), -1 for
// an open-file-description lock (a writer of ours keeping servers out).
pid_t LockHolder(int lockFd);

// Takes byte 0 as an open-file-description lock: closing another descriptor of the file in
// this process never drops it. False with errno set when it is held or cannot be taken.
[[nodiscard]] bool TakeServerLock(int lockFd);

}  // namespace vidazoz::wineprefix

// Opening files that others may have planted: never blocking on a FIFO or device, never
// following a link where the name is ours.
#pragma once

#include <sys/stat.h>

#include <string>

#include "unique_fd.h"

namespace vidazoz::wineprefix {

// A regular file opened read-only without blocking; `st` receives its fstat. Anything else
// (FIFO, device, folder, and with noFollow a symlink) fails with errno ENXIO (ELOOP for links).
// `path` is relative to the folder dirFd holds (or AT_FDCWD).
UniqueFd OpenRegularForReading(int dirFd, const char* path, bool noFollow, struct stat& st);
UniqueFd OpenRegularForReading(const char* path, bool noFollow, struct stat& st);

// The largest .reg file read: a wineserver keeps the whole registry in memory at several times
// its text's size, and a real prefix's system.reg is a few MiB (tens for a crowded one).
inline constexpr off_t kMaxRegFileSize = off_t{512} << 20;

// A .reg file to read, as OpenRegularForReading opens it; refused with errno EFBIG before any
// byte is read when it is larger than kMaxRegFileSize or mostly holes (a sparse file costs no
// disk and reads as endless zeros).
UniqueFd OpenRegFileForReading(int dirFd, const char* path, struct stat& st);

// A path naming the folder dirFd holds, whatever its own path names by now: for code that takes
// paths, so that it acts on that folder. Empty when the path would name another (no /proc).
std::string HeldFolderPath(int dirFd);

// Whether st describes something only the effective user owns and may change.
bool OwnedByUs(const struct stat& st);

}  // namespace vidazoz::wineprefix

// The bytes an open-file-description lock (F_OFD_*) covers, as fcntl takes them.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

namespace vidazoz::wineprefix {

// `length` bytes from the start of the file; 0 covers the whole file, however long it grows.
// l_pid stays 0, as OFD locks need.
inline struct flock LockRange(short type, off_t length) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = length;
  return range;
}

}  // namespace vidazoz::wineprefix

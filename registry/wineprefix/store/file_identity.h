// What tells one version of a file from another without reading it: a replaced or rewritten
// file differs in one of these, even where the file system hands a freed inode number straight
// to the next file and stamps times to the second.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>

namespace vidazoz::wineprefix {

struct FileIdentity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  std::int64_t mtimeSec = 0;
  long mtimeNsec = 0;
  // Set by the kernel at every change, rename included; no program can set it back.
  std::int64_t ctimeSec = 0;
  long ctimeNsec = 0;
  // The inode's generation, which changes when its number is reused (ext4 and others); 0
  // where the file system keeps none.
  std::uint64_t generation = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file open as fd, whose fstat is st.
FileIdentity IdentityOf(const struct stat& st, int fd);

// The identity of the file at `path` in the folder dirFd holds (or AT_FDCWD), a symlink
// followed; one that does not exist when it cannot be looked at.
FileIdentity IdentityAt(int dirFd, const char* path);

}  // namespace vidazoz::wineprefix

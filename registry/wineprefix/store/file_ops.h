// The file operations the store writes through. Production uses POSIX directly; a test may
// install another to simulate a failing disk or a power cut between any two of them.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>

namespace vidazoz::wineprefix {

// Each returns what the POSIX call returns and sets errno the same way. Names are relative to
// a folder held open (or AT_FDCWD), so that one call acts on the folder it checked.
class FileOps {
 public:
  virtual ~FileOps() = default;
  virtual int Open(int dirFd, const char* path, int flags, mode_t mode);
  virtual ssize_t Writev(int fd, const iovec* pieces, int count);
  virtual int Fsync(int fd);  // a file's contents, or a folder's entries
  virtual int Fchmod(int fd, mode_t mode);
  virtual int Rename(int dirFd, const char* from, const char* to);  // both in that folder
  virtual int Unlink(int dirFd, const char* path);
  virtual int Mkdir(const char* path, mode_t mode);

  // The installed operations (POSIX unless a test installed others).
  static FileOps& Current();
  // Installs `ops` (null: POSIX again); the caller keeps it alive until it is replaced.
  static void Install(FileOps* ops);
};

}  // namespace vidazoz::wineprefix

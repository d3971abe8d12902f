// POSIX behind the store's file-operations seam.
#include "file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace vidazoz::wineprefix {
namespace {

FileOps& Posix() {
  static FileOps posix;
  return posix;
}

std::atomic<FileOps*> installed{nullptr};

}  // namespace

int FileOps::Open(int dirFd, const char* path, int flags, mode_t mode) { return ::openat(dirFd, path, flags, mode); }
ssize_t FileOps::Writev(int fd, const iovec* pieces, int count) { return ::writev(fd, pieces, count); }
int FileOps::Fsync(int fd) { return ::fsync(fd); }
int FileOps::Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int FileOps::Rename(int dirFd, const char* from, const char* to) { return ::renameat(dirFd, from, dirFd, to); }
int FileOps::Unlink(int dirFd, const char* path) { return ::unlinkat(dirFd, path, 0); }
int FileOps::Mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }

FileOps& FileOps::Current() {
  FileOps* ops = installed.load(std::memory_order_acquire);
  return ops != nullptr ? *ops : Posix();
}

void FileOps::Install(FileOps* ops) { installed.store(ops, std::memory_order_release); }

}  // namespace vidazoz::wineprefix

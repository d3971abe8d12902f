// Disks for the store's file-operations seam: one that fails a chosen operation, and one that
// loses at a power cut everything not yet synced (file contents and folder entries alike).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "file_ops.h"

namespace vidazoz::testing {

// Installs a disk for the lifetime of the object.
class InstalledDisk {
 public:
  explicit InstalledDisk(wineprefix::FileOps& ops) { wineprefix::FileOps::Install(&ops); }
  InstalledDisk(const InstalledDisk&) = delete;
  InstalledDisk& operator=(const InstalledDisk&) = delete;
  ~InstalledDisk() { wineprefix::FileOps::Install(nullptr); }
};

// Runs `before` ahead of each operation a save makes; an operation it names fails with its errno.
// With `maxWrite`, each write stores at most that many bytes, as a write the system cut short.
class HookedDisk : public wineprefix::FileOps {
 public:
  enum class Op { Open, Write, Fsync, Fchmod, Rename };
  // Returns an errno to fail the operation with, or 0 to let it run.
  std::function<int(Op, const char* path, int fd)> before = [](Op, const char*, int) { return 0; };
  std::size_t maxWrite = 0;  // 0: no limit

  int Open(int dirFd, const char* path, int flags, mode_t mode) override {
    return Run(Op::Open, path, -1, [&] { return FileOps::Open(dirFd, path, flags, mode); });
  }
  ssize_t Writev(int fd, const iovec* pieces, int count) override {
    std::vector<iovec> cut;
    for (std::size_t room = maxWrite; count > 0 && (maxWrite == 0 || room > 0); ++pieces, --count) {
      cut.push_back(*pieces);
      if (maxWrite == 0) continue;
      cut.back().iov_len = std::min(cut.back().iov_len, room);
      room -= cut.back().iov_len;
    }
    return Run(Op::Write, nullptr, fd, [&] { return FileOps::Writev(fd, cut.data(), static_cast<int>(cut.size())); });
  }
  int Fsync(int fd) override { return Run(Op::Fsync, nullptr, fd, [&] { return FileOps::Fsync(fd); }); }
  int Fchmod(int fd, mode_t mode) override {
    return Run(Op::Fchmod, nullptr, fd, [&] { return FileOps::Fchmod(fd, mode); });
  }
  int Rename(int dirFd, const char* from, const char* to) override {
    return Run(Op::Rename, to, dirFd, [&] { return FileOps::Rename(dirFd, from, to); });
  }

 private:
  template <typename Call>
  auto Run(Op op, const char* path, int fd, Call call) -> decltype(call()) {
    if (const int err = before(op, path, fd)) {
      errno = err;
      return -1;
    }
    return call();
  }
};

// After `cutAfter` operations the power goes: that one and every later one fail and do
// nothing. Recover() then builds, elsewhere, the tree as the disk would hold it on reboot:
// from `root` (durable, empty at the start) only entries a folder sync recorded, each file
// with only the bytes a file sync recorded.
class PowerCutDisk : public wineprefix::FileOps {
 public:
  PowerCutDisk(const std::filesystem::path& root, int cutAfter) : cutAfter_(cutAfter) {
    root_ = RecordOf(root.c_str(), /*fresh=*/true, /*dir=*/true);
  }
  bool Cut() const { return ops_ > cutAfter_; }

  int Open(int dirFd, const char* path, int flags, mode_t mode) override {
    if (Dead()) return -1;
    const bool fresh = (flags & O_CREAT) && ::faccessat(dirFd, path, F_OK, 0) != 0;
    const int fd = FileOps::Open(dirFd, path, flags, mode);
    if (fd >= 0 && fresh) RecordOf(dirFd, path, true, false);
    return fd;
  }
  ssize_t Writev(int fd, const iovec* pieces, int count) override {
    return Dead() ? -1 : FileOps::Writev(fd, pieces, count);
  }
  int Fsync(int fd) override {
    if (Dead()) return -1;
    const std::string path = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd));
    struct stat st {};
    ::fstat(fd, &st);
    Record& record = *RecordOf(path.c_str(), false, S_ISDIR(st.st_mode));
    if (S_ISDIR(st.st_mode)) {
      record.entries.clear();
      for (const auto& entry : std::filesystem::directory_iterator(path))
        record.entries[entry.path().filename()] = RecordOf(entry.path().c_str(), false, entry.is_directory());
    } else {
      std::ifstream in(path, std::ios::binary);
      record.content.assign(std::istreambuf_iterator<char>(in), {});
    }
    return 0;
  }
  int Fchmod(int fd, mode_t mode) override { return Dead() ? -1 : FileOps::Fchmod(fd, mode); }
  int Rename(int dirFd, const char* from, const char* to) override {
    return Dead() ? -1 : FileOps::Rename(dirFd, from, to);
  }
  int Unlink(int dirFd, const char* path) override { return Dead() ? -1 : FileOps::Unlink(dirFd, path); }
  int Mkdir(const char* path, mode_t mode) override {
    if (Dead()) return -1;
    const int done = FileOps::Mkdir(path, mode);
    if (done == 0) RecordOf(path, true, true);
    return done;
  }

  void Recover(const std::filesystem::path& to) const { Build(*root_, to); }

 private:
  struct Record {
    bool dir = false;
    std::string content;                                   // as last synced
    std::map<std::string, std::shared_ptr<Record>> entries;  // as last synced
  };

  bool Dead() {
    if (++ops_ > cutAfter_) {
      errno = EIO;
      return true;
    }
    return false;
  }
  // The record of the inode at `path`: a new one when the inode was just made (its number
  // may be a freed one's, whose old record synced folders still point at).
  std::shared_ptr<Record> RecordOf(const char* path, bool fresh, bool dir) { return RecordOf(AT_FDCWD, path, fresh, dir); }
  std::shared_ptr<Record> RecordOf(int dirFd, const char* path, bool fresh, bool dir) {
    struct stat st {};
    ::fstatat(dirFd, path, &st, AT_SYMLINK_NOFOLLOW);
    std::shared_ptr<Record>& record = inodes_[{st.st_dev, st.st_ino}];
    if (fresh || !record) record = std::make_shared<Record>(Record{dir, {}, {}});
    return record;
  }
  static void Build(const Record& dir, const std::filesystem::path& at) {
    std::filesystem::create_directories(at);
    for (const auto& [name, record] : dir.entries) {
      if (record->dir) {
        Build(*record, at / name);
      } else {
        std::ofstream(at / name, std::ios::binary) << record->content;
      }
    }
  }

  int ops_ = 0;
  int cutAfter_;
  std::shared_ptr<Record> root_;
  std::map<std::pair<dev_t, ino_t>, std::shared_ptr<Record>> inodes_;
};

}  // namespace vidazoz::testing

// LoadRegFile: parse a file as it is read, in chunks, so a huge file never sits in memory whole.
// (A mapping would do the same but crashes with SIGBUS if Wine truncates the file in place,
// which it does when the .reg file is a symlink.)
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "reg_parse_internal.h"

namespace vidazoz::wineprefix {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

ParseResult LoadRegFile(const std::filesystem::path& path, RegBranch& branch, std::error_code& error) {
  error.clear();
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    error.assign(errno, std::generic_category());
    branch.rootComment.clear();
    branch.options.clear();
    branch.root = RegKey(std::u16string(branch.root.Name()));
    return {};
  }
  int readErrno = 0;
  const ReadChunk read = [&](char* into, std::size_t capacity) -> std::ptrdiff_t {
    for (;;) {
      const ssize_t got = ::read(fd.get(), into, capacity);
      if (got >= 0) return got;
      if (errno != EINTR) {
        readErrno = errno;
        return -1;
      }
    }
  };
  ParseResult result = ParseRegStream(read, branch);
  if (readErrno != 0) error.assign(readErrno, std::generic_category());
  return result;
}

}  // namespace vidazoz::wineprefix

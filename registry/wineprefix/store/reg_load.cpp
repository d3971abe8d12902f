// LoadRegFile: parse a file as it is read, in chunks, so a huge file never sits in memory whole.
// (A mapping would do the same but crashes with SIGBUS if Wine truncates the file in place,
// which it does when the .reg file is a symlink.)
#include "reg_load.h"

#include <fcntl.h>

#include <cerrno>

#include "reg_parse_internal.h"
#include "safe_open.h"

namespace vidazoz::wineprefix {

ParseResult LoadRegFd(int fd, RegBranch& branch, std::error_code& error) {
  error.clear();
  int readErrno = 0;
  ParseResult result = ParseRegStream(ReadFd(fd, &readErrno), branch);
  if (readErrno != 0) error.assign(readErrno, std::generic_category());
  return result;
}

ParseResult LoadRegFile(const std::filesystem::path& path, RegBranch& branch, std::error_code& error) {
  error.clear();
  // Only a regular file: a FIFO would block and a device never end.
  struct stat st {};
  const UniqueFd fd = OpenRegFileForReading(AT_FDCWD, path.c_str(), st);
  if (!fd) {
    error.assign(errno, std::generic_category());
    branch.rootComment.clear();
    branch.options.clear();
    branch.root = RegKey(std::u16string(branch.root.Name()));
    return {};
  }
  return LoadRegFd(fd.Get(), branch, error);
}

}  // namespace vidazoz::wineprefix

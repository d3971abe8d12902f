// A private folder under $TMPDIR, removed with everything in it and with the server folders of
// the Wine prefixes it held.
#include "temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "server_folders.h"

namespace vidazoz::testing {

TempDir::TempDir(const std::string& tag) {
  const auto base = std::filesystem::temp_directory_path() / (tag + "-XXXXXX");
  std::string pattern = base.string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Undo any read-only bits a test set, so the removal cannot fail half-way.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  // Those named after a prefix's device and inode can only be found while it exists.
  RemoveServerFolders(path_);
  std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  const char* old = std::getenv(name_.c_str());
  had_ = old != nullptr;
  if (had_) old_ = old;
  setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

}  // namespace vidazoz::testing

// Removing the server folders our writers made for a prefix (Wine's upstream one and Debian's
// <tmp>/<name> one), for tests, benchmarks and fuzz targets that throw their prefixes away.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "wineserver_probe.h"

namespace vidazoz::testing {

// Each server folder of `prefix` that holds nothing but the lock goes, and Debian's base
// folder with it when that leaves it empty. The name file is read whoever owns it now: a test
// may have given the prefix away.
inline void RemoveServerFoldersOf(const std::filesystem::path& prefix) {
  namespace fs = std::filesystem;
  auto removeIfOnlyLock = [](const fs::path& server) {
    std::error_code ec;
    int entries = 0;
    for (fs::directory_iterator it(server, ec), end; !ec && it != end; it.increment(ec)) ++entries;
    if (ec || entries != 1 || !fs::is_regular_file(server / "lock", ec)) return;
    fs::remove(server / "lock", ec);
    fs::remove(server, ec);
    if (server.parent_path().filename().string().rfind("wine-", 0) == 0) fs::remove(server.parent_path(), ec);
  };
  const std::vector<std::string> locks = wineprefix::WineserverLockPaths(prefix.string());
  if (locks.empty()) return;
  const fs::path server = fs::path(locks.front()).parent_path();
  removeIfOnlyLock(server);
  std::ifstream nameFile(prefix / "wineserver");
  std::string name;
  if (!std::getline(nameFile, name) || name.empty() || name.find('/') != std::string::npos || name == "..") return;
  const char* tmp = std::getenv("TMPDIR");
  for (const fs::path& root : {fs::path("/tmp"), fs::path(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp")})
    removeIfOnlyLock(root / name / server.filename());
}

// Writers make the server folders Wine would use for their prefix (/tmp/.wine-<uid>/server-...,
// Debian's <tmp>/<name>/server-... named in the prefix); removes those of every folder in `tree`
// that hold nothing but the lock, and Debian's base folder when that leaves it empty.
inline void RemoveServerFolders(const std::filesystem::path& tree) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(tree, ec)) return;
  RemoveServerFoldersOf(tree);
  for (fs::recursive_directory_iterator it(tree, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec))
    if (it->is_directory(ec) && !it->is_symlink(ec)) RemoveServerFoldersOf(it->path());
}

}  // namespace vidazoz::testing

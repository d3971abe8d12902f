// Atomic file writes for export: the prefix layer's temp file on Linux, a
// renamed stream on Windows.
#include "reg_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>

#include "temp_file.h"
#include "unique_fd.h"
#endif

namespace vidazoz::reg {

namespace fs = std::filesystem;

bool NameTaken(const std::string &path) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(fs::path(path), error);
  return fs::exists(status) || (error && error != std::errc::no_such_file_or_directory);
}

std::string WriteWholeFile(const std::string &path, std::string_view bytes) {
  const fs::path target(path);
  if (target.filename().empty()) return "'" + path + "' names a folder, not a file";
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
#ifdef _WIN32
  const fs::path temp = dir / ("." + target.filename().string() + ".vidazoz-tmp");
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      fs::remove(temp, ignored);
      return "cannot write '" + temp.string() + "'";
    }
  }
  std::error_code error;
  fs::rename(temp, target, error);
  if (error) {
    fs::remove(temp, error);
    return "cannot rename onto '" + path + "'";
  }
  return {};
#else
  const auto failed = [&](const char *step, int err) {
    return std::string(step) + " '" + path + "': " + std::strerror(err);
  };
  // One folder for every step, however its path changes meanwhile.
  const wineprefix::UniqueFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return failed("cannot open the folder of", errno);
  wineprefix::TempFile file(wineprefix::FileOps::Current(), folder.Get());
  if (int err = file.Create(target.filename().string(), 0644)) return failed("cannot create a file beside", err);
  if (int err = file.Write(bytes)) return failed("cannot write", err);
  if (int err = file.Sync()) return failed("cannot sync", err);
  const int err = file.Keep(target.filename().string());
  if (err == wineprefix::TempFile::kFolderNotSynced)
    return "'" + path + "' is written, but its folder could not be synced";
  if (err) return failed("cannot rename onto", err);
  return {};
#endif
}

}  // namespace vidazoz::reg

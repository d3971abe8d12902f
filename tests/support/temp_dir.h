// A private folder under $TMPDIR, removed with everything in it and the server folders of the
// Wine prefixes it held (Linux).
#pragma once

#include <filesystem>
#include <string>

namespace vidazoz::testing {

class TempDir {
 public:
  explicit TempDir(const std::string& tag = "vidazoz");
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value);
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv();

 private:
  std::string name_;
  bool had_;
  std::string old_;
};

}  // namespace vidazoz::testing

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

#include "temp_dir.h"

namespace vidazoz::testing {

TempDir::TempDir(const std::string& tag) {
  const auto base = std::filesystem::temp_directory_path();
  for (unsigned n = GetTickCount() ^ GetCurrentProcessId(), tries = 0; tries < 1000; ++n, ++tries) {
    path_ = base / (tag + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n));
    if (CreateDirectoryA(path_.string().c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw std::runtime_error("cannot make a folder under " + base.string());
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

// Both environments: the C runtime's (getenv) and the process's (ExpandEnvironmentStringsA).
ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  const char* old = std::getenv(name_.c_str());
  had_ = old != nullptr;
  if (had_) old_ = old;
  _putenv_s(name_.c_str(), value.c_str());
  SetEnvironmentVariableA(name_.c_str(), value.c_str());
}

ScopedEnv::~ScopedEnv() {
  _putenv_s(name_.c_str(), had_ ? old_.c_str() : "");
  SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

}  // namespace vidazoz::testing

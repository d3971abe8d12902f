#include "prefix_location.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace vidazoz::wineprefix {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

bool Absolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

// $HOME when it is absolute, else the effective user's home from the password database.
std::string Home() {
  if (std::string home = Env("HOME"); Absolute(home)) return home;
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  std::string home = found->pw_dir != nullptr ? found->pw_dir : "";
  return Absolute(home) ? home : std::string();
}

bool HoldsRegistry(const std::string& dir) {
  struct stat st {};
  return ::stat((dir + "/system.reg").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

PrefixLocation LocatePrefix() {
  if (std::string prefix = Env("WINEPREFIX"); !prefix.empty()) {
    if (!Absolute(prefix)) return {};
    return {std::move(prefix), false};
  }
  const std::string home = Home();
  if (!home.empty() && HoldsRegistry(home + "/.wine")) return {home + "/.wine", false};
  std::string data = Env("XDG_DATA_HOME");
  if (!Absolute(data)) {
    if (home.empty()) return {};
    data = home + "/.local/share";
  }
  return {data + "/vidazoz/prefix", true};
}

}  // namespace vidazoz::wineprefix

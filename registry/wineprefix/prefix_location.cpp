#include "prefix_location.h"

#include <sys/stat.h>

#include <cstdlib>

namespace vidazoz::wineprefix {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

bool HoldsRegistry(const std::string& dir) {
  struct stat st {};
  return ::stat((dir + "/system.reg").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

PrefixLocation LocatePrefix() {
  if (std::string prefix = Env("WINEPREFIX"); !prefix.empty()) return {std::move(prefix), false};
  const std::string home = Env("HOME");
  if (!home.empty() && HoldsRegistry(home + "/.wine")) return {home + "/.wine", false};
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty()) data = home + "/.local/share";
  return {data + "/vidazoz/prefix", true};
}

}  // namespace vidazoz::wineprefix

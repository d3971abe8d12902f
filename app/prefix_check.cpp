// The prefix the check will read, and why it cannot be read when it cannot.
#include "prefix_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "prefix_location.h"
#include "safe_open.h"

namespace vidazoz::cli {
namespace {

constexpr std::string_view kRegistryHeader = "WINE REGISTRY Version 2";

std::string Quoted(std::string_view path) { return "'" + std::string(path) + "'"; }

// What is wrong with the prefix folder `dir` and its system.reg; empty when nothing is.
std::string ProblemWith(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) {
    const int error = errno;
    if (error == ENOENT) return "the Wine prefix " + Quoted(dir) + " does not exist";
    return "cannot reach the Wine prefix " + Quoted(dir) + ": " + std::strerror(error);
  }
  if (!S_ISDIR(st.st_mode)) return "the Wine prefix " + Quoted(dir) + " is not a folder";

  const std::string reg = dir + "/system.reg";
  struct stat regSt {};
  const wineprefix::UniqueFd fd = wineprefix::OpenRegularForReading(reg.c_str(), false, regSt);
  if (!fd) {
    const int error = errno;
    if (error == ENOENT) return "the Wine prefix " + Quoted(dir) + " holds no registry (no system.reg)";
    if (error == ENXIO) return Quoted(reg) + " is not a regular file";
    return "cannot read " + Quoted(reg) + ": " + std::strerror(error);
  }
  char head[kRegistryHeader.size()];
  std::size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = ::read(fd.Get(), head + got, sizeof head - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return "cannot read " + Quoted(reg) + ": " + std::strerror(errno);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (std::string_view(head, got) != kRegistryHeader) return Quoted(reg) + " is not a Wine registry file";
  return {};
}

bool Unexpanded(std::string_view path) { return path.starts_with("~"); }

}  // namespace

PrefixFinding InspectPrefix(const std::optional<std::string>& option) {
  PrefixFinding found;
  const char* env = std::getenv("WINEPREFIX");
  if (option) {
    found.source = "--prefix";
    if (Unexpanded(*option)) {
      found.problem = "the prefix " + Quoted(*option) + " starts with '~', which no shell expanded; use $HOME";
      return found;
    }
    std::error_code ec;
    found.dir = std::filesystem::absolute(*option, ec).lexically_normal().string();
    if (ec) {
      found.problem = "cannot use the prefix " + Quoted(*option) + ": " + ec.message();
      return found;
    }
  } else if (env != nullptr && *env != '\0') {
    found.source = "WINEPREFIX";
    const std::string_view value = env;
    if (Unexpanded(value)) {
      found.problem = "WINEPREFIX=" + Quoted(value) + " starts with '~', which no shell expanded; use $HOME";
      return found;
    }
    if (!value.starts_with('/')) {
      found.problem = "WINEPREFIX=" + Quoted(value) + " is relative; Wine takes only an absolute path";
      return found;
    }
    found.dir = value;
  } else {
    const wineprefix::PrefixLocation at = wineprefix::LocatePrefix();
    found.source = at.isPrivate ? "the default prefix" : "~/.wine";
    found.dir = at.dir;
    if (found.dir.empty()) {
      found.problem = "no Wine prefix: WINEPREFIX is not set and no home folder is known";
      return found;
    }
  }
  if (std::string problem = ProblemWith(found.dir); !problem.empty()) found.problem = std::move(problem);
  return found;
}

}  // namespace vidazoz::cli

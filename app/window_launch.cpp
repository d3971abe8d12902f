// Finding and starting the window program in place of the command-line one.
#include "window_launch.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vidazoz::cli {
namespace {

// This program's folder with its trailing slash, as the kernel knows it (argv[0] may be anything).
std::string OwnFolder() {
  std::array<char, 4096> self{};
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (n <= 0) return {};
  std::string dir(self.data(), static_cast<std::size_t>(n));
  return dir.substr(0, dir.rfind('/') + 1);
}

}  // namespace

std::string WindowProgram() {
  const std::string dir = OwnFolder();
  if (dir.empty()) return {};
  for (const std::string& candidate : {dir + VIDAZOZ_WINDOW_FROM_BINDIR, dir + VIDAZOZ_WINDOW_NAME})
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  return {};
}

int ExecWindowProgram(char** argv, std::ostream& err) {
  const std::string program = WindowProgram();
  if (program.empty()) {
    err << "vidazoz: cannot show the window: its program " VIDAZOZ_WINDOW_NAME " is neither in "
        << OwnFolder() << VIDAZOZ_WINDOW_FROM_BINDIR << " nor beside this program (vidazoz --check works without it)\n";
    return kExitNoWindow;
  }
  std::vector<char*> args{const_cast<char*>(program.c_str())};
  for (char** arg = argv + (*argv != nullptr ? 1 : 0); *arg != nullptr; ++arg) args.push_back(*arg);
  args.push_back(nullptr);
  err.flush();
  ::execv(program.c_str(), args.data());
  const int error = errno;
  err << "vidazoz: cannot show the window: cannot start " << program << ": " << std::strerror(error) << '\n';
  return kExitNoWindow;
}

}  // namespace vidazoz::cli

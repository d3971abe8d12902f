// The helper program running under a prefix's Wine: started without a shell in its own
// process group, talked to over two pipes, and let go by closing them. Pid 0 is a link to a
// broker's helper: closing it lets go of the link only.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "channel.h"

namespace vidazoz::live {

// Where the helper program is: $VIDAZOZ_LIVE_HELPER (for the tests, which must not pick up
// an installed copy), else <bindir>/../libexec/vidazoz/ from this program's own folder, else
// the installed one, else the one in the build tree.
std::string HelperProgram();

// The broker program, a native one beside the helper: $VIDAZOZ_LIVE_BROKER, else found as the
// helper is. "" when there is none (every process then runs a helper of its own).
std::string BrokerProgram();

// The Wine loader of the Wine whose server binary is `serverExe`: wine64, else wine, beside it.
std::string LoaderBeside(const std::string& serverExe);

class HelperProcess {
 public:
  // Runs `loader program` with WINEPREFIX=`prefixDir`; null when it could not be spawned.
  static std::unique_ptr<HelperProcess> Start(const std::string& loader, const std::string& program,
                                              const std::string& prefixDir);
  HelperProcess(pid_t pid, Channel channel) : pid_(pid), channel_(std::move(channel)) {}
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  // Closes the pipes, on which the helper exits, and reaps it.
  ~HelperProcess();

  Channel& Link() { return channel_; }
  pid_t Pid() const { return pid_; }
  bool Shared() const { return pid_ == 0; }
  // Whether our own helper has exited (and been reaped).
  bool Exited();

 private:
  pid_t pid_;
  Channel channel_;
};

}  // namespace vidazoz::live

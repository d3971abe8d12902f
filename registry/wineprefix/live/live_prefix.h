// A prefix while a wineserver serves it: its branches as the server holds them now, and
// changes made through the server, both by way of the helper. No server, no helper: the
// caller reads and writes the files as ever.
#pragma once

#include <sys/types.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "branch.h"
#include "frame.h"
#include "reg_file.h"
#include "win32_types.h"

namespace vidazoz::live {

class HelperProcess;

class LivePrefix {
 public:
  explicit LivePrefix(std::string prefixDir);
  ~LivePrefix();
  LivePrefix(const LivePrefix&) = delete;
  LivePrefix& operator=(const LivePrefix&) = delete;

  // Whether a server runs for the prefix and the helper serves it: calls go there then.
  bool Serving();
  // Whether a server runs that the helper cannot reach: the files may be up to one save old.
  bool Unreachable();

  // The branch as the server holds it now, or null (read the file). `poll` asks the helper
  // which branches changed since the last look; once per call is enough.
  std::shared_ptr<wineprefix::RegBranch> Current(wineprefix::Branch branch, bool poll);

  // The "#arch=" of the server's machine branch as last taken; null when none was taken.
  const std::string* MachineArch() const { return helper_ && snapshots_[0] ? &machineArch_ : nullptr; }

  // One change; the branch is looked at again afterwards. ERROR_REGISTRY_IO_FAILED when the
  // helper died or answered garbage: the change may or may not be in the server then.
  LONG Change(Kind kind, wineprefix::Branch branch, std::vector<std::uint8_t> payload,
              std::vector<std::uint8_t>* reply = nullptr);

  // How long a request may take, for the tests of slow or silent helpers.
  static constexpr std::chrono::milliseconds kStartDeadline{15000};
  static constexpr std::chrono::milliseconds kRequestDeadline{10000};
  // How long a server whose helper died may take to save and exit (Wine kills what is left of
  // its processes 2 s into a shutdown, and -k waits 10 s before SIGKILL).
  static constexpr std::chrono::milliseconds kShutdownWait{5000};
  // How long "no server runs" is believed (a Wine start without a server takes 0.25 s or more).
  static constexpr std::chrono::milliseconds kNoServerWindow{50};

 private:
  pid_t ServerNow();
  bool EnsureHelper();
  void DropHelper();
  LONG Call(Kind kind, const std::vector<std::uint8_t>& payload, std::vector<std::uint8_t>& reply);

  std::string dir_;
  std::chrono::steady_clock::time_point probedAt_{};
  pid_t server_ = 0;
  std::string serverExe_;
  std::unique_ptr<HelperProcess> helper_;
  pid_t helperServer_ = 0;  // the server the helper was started for
  pid_t failedServer_ = 0;  // a server no helper could be started for, or whose helper died
  pid_t brokerFailedServer_ = 0;  // a server whose shared helper failed us: ours is used instead
  std::array<std::shared_ptr<wineprefix::RegBranch>, 3> snapshots_;
  std::uint32_t stale_ = 7;
  std::string machineArch_;  // branches whose snapshot must be taken again
};

}  // namespace vidazoz::live

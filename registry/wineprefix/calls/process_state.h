// What this process holds across calls: the prefix in use, the open handles and the one mutex that
// serialises the calls. Shared by the advapi32_*.cpp files.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ansi_units.h"
#include "file_time.h"
#include "handle_table.h"
#include "look_again.h"
#include "prefix_registry.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {

class ProcessState {
 public:
  static ProcessState& Instance();

  std::mutex& Mutex() { return mutex_; }
  HandleTable& Handles() { return handles_; }
  // The prefix the environment names now; a new one when $WINEPREFIX (or HOME) changed.
  std::shared_ptr<PrefixRegistry> CurrentPrefix();

  // Whether this process answers as a 32-bit program under WoW64: the 32-bit view by default.
  bool Wow64Process() const { return wow64Process_.load(std::memory_order_relaxed); }
  void SetWow64Process(bool on) { wow64Process_.store(on, std::memory_order_relaxed); }

 private:
  std::mutex mutex_;
  HandleTable handles_;
  std::atomic<bool> wow64Process_{false};
  std::shared_ptr<PrefixRegistry> prefix_;
  struct {  // the environment the prefix was last located from, when $WINEPREFIX was unset
    bool located = false;
    std::string home, dataHome;
  } unnamed_;
  LookAgain unnamedLook_;  // when ~/.wine is located again though HOME and XDG_DATA_HOME stayed
};

// What an access mask grants, generic rights mapped as Wine maps them for keys.
REGSAM GrantedAccess(REGSAM desired);

}  // namespace vidazoz::wineprefix

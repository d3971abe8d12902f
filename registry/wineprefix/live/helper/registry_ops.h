// What the helper does for each request, with Wine's own W calls on the three branch roots.
#pragma once

#include <cstdint>
#include <vector>

#include "frame.h"

namespace vidazoz::live::helper {

class RegistryOps {
 public:
  RegistryOps();
  RegistryOps(const RegistryOps&) = delete;
  RegistryOps& operator=(const RegistryOps&) = delete;
  ~RegistryOps();

  // The reply payload for a request: its status first, then what its kind returns.
  std::vector<std::uint8_t> Handle(Kind kind, PayloadReader& in);

 private:
  void Arm(int branch);
  std::uint32_t Poll();
  std::uint32_t Snapshot(int branch, std::vector<std::uint8_t>& bytes);

  void* roots_[3] = {};
  void* snapshotFile_ = nullptr;  // a temporary file of ours, deleted when closed
  void* saveKey_ = nullptr;
  void* statusToError_ = nullptr;
  void* events_[3] = {};
};

}  // namespace vidazoz::live::helper

// One request at a time to the helper and its reply, with a deadline. A peer that closes,
// stalls or answers garbage breaks the channel for good: the caller starts a new helper.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "frame.h"
#include "unique_fd.h"
#include "win32_types.h"

namespace vidazoz::live {

class Channel {
 public:
  Channel(wineprefix::UniqueFd toPeer, wineprefix::UniqueFd fromPeer);

  // The reply's status (the helper's Win32 status), its payload after the status in `reply`.
  // ERROR_REGISTRY_IO_FAILED when no sound reply came in time: never a status the peer did
  // not give.
  LONG Call(Kind kind, std::span<const std::uint8_t> payload, std::chrono::milliseconds deadline,
            std::vector<std::uint8_t>& reply);
  bool Broken() const { return broken_; }

 private:
  bool Send(const std::vector<std::uint8_t>& bytes);
  bool Receive(std::uint32_t id, std::chrono::steady_clock::time_point until, Frame& reply);

  wineprefix::UniqueFd to_, from_;
  FrameReader reader_;
  std::uint32_t nextId_ = 1;
  bool broken_ = false;
};

}  // namespace vidazoz::live

// One helper shared by every process of ours on a running server: requests from any number of
// clients on a Unix socket, served one at a time by the helper. What the helper kept for its
// one client (which branches changed since the last look) is kept here per client, and the
// last snapshot of each branch is handed to the next client that asks while nothing changed.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frame.h"
#include "helper_process.h"
#include "unique_fd.h"

namespace vidazoz::live {

class Broker {
 public:
  // Takes a started helper that answered Hello with `hello`, and a listening socket.
  Broker(std::unique_ptr<HelperProcess> helper, std::uint32_t hello, wineprefix::UniqueFd listener,
         std::string prefixDir, pid_t server);

  // Serves until the helper goes (the server shut down, or it failed) or another server serves
  // the prefix. A request the helper did not answer is never answered: its client sees its
  // link break, as with a helper of its own.
  void Run();

 private:
  struct Client {
    wineprefix::UniqueFd fd;
    FrameReader reader;
    std::uint32_t stale = 7;  // branches changed since this client last looked
  };

  bool Accept();
  // False when the helper broke: everything ends then.
  bool Serve(Client& client, const Frame& request);
  bool PollHelper();
  void Changed(std::uint32_t branches);
  bool StillServing();

  std::unique_ptr<HelperProcess> helper_;
  std::uint32_t hello_;
  wineprefix::UniqueFd listener_;
  std::string prefixDir_;
  pid_t server_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::uint32_t accepted_ = 0;
  std::array<std::optional<std::vector<std::uint8_t>>, 3> snapshots_;  // the helper's whole reply
};

}  // namespace vidazoz::live

// The client's side of the broker: one helper per running server, shared by every process of
// ours through a Unix socket in that server's private folder. Nothing found there is trusted
// until it proves to be ours; anything else sends the caller back to a helper of its own.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "helper_process.h"
#include "unique_fd.h"

namespace vidazoz::live {

inline constexpr const char* kBrokerSocketName = "vidazoz-broker";
inline constexpr const char* kBrokerLockName = "vidazoz-broker.lock";

// The folder of the server `server` for `prefixDir`: the place whose lock that pid holds, the
// folder and its parent ours and closed to others. "" when none is.
std::string ServerFolderOf(const std::string& prefixDir, pid_t server);

// The socket's path in `serverDir`, "" when it would not fit a socket address.
std::string BrokerSocketPath(const std::string& serverDir);

enum class BrokerReach {
  Connected,
  Absent,   // nothing listens there: a broker may be started
  Refused,  // something there is not ours, or not as ours would be: leave it alone
};

// Connects to the broker at `socketPath` when the folder and the socket are ours and closed to
// others and the process listening runs as us.
BrokerReach ConnectBroker(const std::string& socketPath, wineprefix::UniqueFd& out);

// Whether the process at the other end of a connected Unix socket runs as our uid.
bool PeerIsUs(int socketFd);

// What starting a broker came to.
enum class BrokerStart { Serving, Busy, Failed };

// Runs the broker program for the server `server` (serving `prefixDir` from `serverDir`) and
// waits until it listens, found another starting, or gave up.
BrokerStart StartBroker(const std::string& broker, const std::string& prefixDir, const std::string& serverDir,
                        pid_t server, const std::string& loader, const std::string& helper);

// A channel to the running broker of `server`, starting one when none listens; null when no
// broker can serve (the caller starts a helper of its own then).
std::unique_ptr<HelperProcess> OpenBroker(const std::string& prefixDir, pid_t server, const std::string& loader,
                                          const std::string& helper);

}  // namespace vidazoz::live

// The helper's life beside the server's, and snapshots taken only when a branch changed.
#include "live_prefix.h"

#include <string_view>
#include <thread>

#include <sys/stat.h>

#include "broker_link.h"
#include "change_counter.h"
#include "helper_process.h"
#include "key_scan.h"
#include "running_server.h"
#include "safe_open.h"

namespace vidazoz::live {
namespace {

// The helper is a 64-bit program: a 32-bit prefix cannot run it, and wine64 would only refuse
// after making folders in the prefix. Wine reads a system.reg without "#arch=" as 32-bit.
bool Runs64BitPrograms(const std::string& dir) {
  struct stat st {};
  const wineprefix::UniqueFd fd =
      wineprefix::OpenRegularForReading((dir + "/system.reg").c_str(), /*noFollow=*/false, st);
  return fd && wineprefix::DeclaredArch(fd.Get()) == "win64";
}

}  // namespace

LivePrefix::LivePrefix(std::string prefixDir) : dir_(std::move(prefixDir)) {}
LivePrefix::~LivePrefix() = default;

pid_t LivePrefix::ServerNow() {
  const auto now = std::chrono::steady_clock::now();
  // "None" holds longer: a change through a server that was not running takes a server start
  // and a Wine program's start first, each far longer than the window. The look costs up to a
  // few ms (a scan of /proc when the server folders are missing), which reads must not pay often.
  const auto window = server_ != 0 ? std::chrono::milliseconds(wineprefix::kExternalChangeWindow) : kNoServerWindow;
  if (probedAt_ != std::chrono::steady_clock::time_point{} && now - probedAt_ < window) return server_;
  probedAt_ = now;
  const std::optional<wineprefix::RunningServer> found = dir_.empty() ? std::nullopt : wineprefix::FindRunningServer(dir_);
  server_ = found ? found->pid : 0;
  serverExe_ = found ? found->exe : std::string();
  if (helper_ && helperServer_ != server_) DropHelper();
  return server_;
}

void LivePrefix::DropHelper() {
  helper_.reset();
  helperServer_ = 0;
  snapshots_ = {};
  stale_ = 7;
}

bool LivePrefix::EnsureHelper() {
  const pid_t server = ServerNow();
  if (server == 0) return false;  // never start Wine where none runs: that would start a server
  if (helper_ && !helper_->Link().Broken()) return true;
  if (server == failedServer_) return false;
  if (!Runs64BitPrograms(dir_)) {
    failedServer_ = server;
    return false;
  }
  // Looked at again right before the start: a Wine program started where no server runs would
  // start one. (A server that exits in the microseconds between still can; Wine offers no way
  // to start a program only on a running server.)
  probedAt_ = {};
  if (ServerNow() != server) return false;
  const std::string loader = LoaderBeside(serverExe_);
  std::vector<std::uint8_t> reply;
  // The server's shared helper first; anything wrong with it and this process runs its own.
  if (server != brokerFailedServer_) {
    helper_ = OpenBroker(dir_, server, loader, HelperProgram());
    if (helper_ && helper_->Link().Call(Kind::Hello, {}, kStartDeadline, reply) == ERROR_SUCCESS) {
      helperServer_ = server;
      return true;
    }
    helper_.reset();
    brokerFailedServer_ = server;
  }
  helper_ = HelperProcess::Start(loader, HelperProgram(), dir_);
  if (!helper_ || helper_->Link().Call(Kind::Hello, {}, kStartDeadline, reply) != ERROR_SUCCESS) {
    helper_.reset();
    failedServer_ = server;
    return false;
  }
  helperServer_ = server;
  return true;
}

bool LivePrefix::Serving() { return EnsureHelper(); }

bool LivePrefix::Unreachable() { return ServerNow() != 0 && !EnsureHelper(); }

LONG LivePrefix::Call(Kind kind, const std::vector<std::uint8_t>& payload, std::vector<std::uint8_t>& reply) {
  const LONG status = helper_->Link().Call(kind, payload, kRequestDeadline, reply);
  if (helper_->Link().Broken()) {
    // Not started again under this server: a helper dies when its server shuts down (-k ends
    // every Wine process), and a Wine program started at that moment would start a new server.
    const pid_t server = helperServer_;
    const bool shared = helper_->Shared();
    DropHelper();
    // The server saves its files last: they are current only once it has gone, a moment later.
    const auto until = std::chrono::steady_clock::now() + kShutdownWait;
    bool serverLeft = false;
    while (!serverLeft && std::chrono::steady_clock::now() < until) {
      const std::optional<wineprefix::RunningServer> now = wineprefix::FindRunningServer(dir_);
      serverLeft = !now || now->pid != server;
      if (!serverLeft) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // A broker that failed while its server stays is replaced by a helper of our own.
    if (shared && !serverLeft)
      brokerFailedServer_ = server;
    else
      failedServer_ = server;
    probedAt_ = {};
  }
  return status;
}

std::shared_ptr<wineprefix::RegBranch> LivePrefix::Current(wineprefix::Branch branch, bool poll) {
  if (!EnsureHelper()) return nullptr;
  std::vector<std::uint8_t> reply;
  if (poll) {
    std::uint32_t changed = 0;
    if (Call(Kind::Poll, {}, reply) != ERROR_SUCCESS || !PayloadReader(reply).U32(changed)) return nullptr;
    stale_ |= changed;
  }
  const std::uint32_t bit = 1u << wineprefix::Index(branch);
  auto& snapshot = snapshots_[wineprefix::Index(branch)];
  if (snapshot && !(stale_ & bit)) return snapshot;
  std::vector<std::uint8_t> bytes;
  PayloadWriter request;
  request.U8(static_cast<std::uint8_t>(wineprefix::Index(branch)));
  if (Call(Kind::Snapshot, request.Take(), reply) != ERROR_SUCCESS || !PayloadReader(reply).Bytes(bytes)) return nullptr;
  auto parsed = std::make_shared<wineprefix::RegBranch>();
  const wineprefix::ParseResult result =
      wineprefix::ParseRegFile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), *parsed);
  if (!result.valid) return nullptr;
  if (branch == wineprefix::Branch::Machine) machineArch_ = result.arch;
  snapshot = std::move(parsed);
  stale_ &= ~bit;
  return snapshot;
}

LONG LivePrefix::Change(Kind kind, wineprefix::Branch branch, std::vector<std::uint8_t> payload,
                        std::vector<std::uint8_t>* reply) {
  if (!EnsureHelper()) return ERROR_REGISTRY_IO_FAILED;
  std::vector<std::uint8_t> answer;
  std::vector<std::uint8_t> request = PayloadWriter().U8(static_cast<std::uint8_t>(wineprefix::Index(branch))).Take();
  request.insert(request.end(), payload.begin(), payload.end());
  const LONG status = Call(kind, request, answer);
  stale_ |= 1u << wineprefix::Index(branch);
  if (reply != nullptr) *reply = std::move(answer);
  return status;
}

}  // namespace vidazoz::live

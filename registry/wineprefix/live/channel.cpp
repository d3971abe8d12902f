// Writing a request without dying of SIGPIPE, and waiting for its reply with poll().
#include "channel.h"

#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <ctime>

namespace vidazoz::live {
namespace {

// A write to a helper that died raises SIGPIPE, which would end this whole process: it is
// blocked around the write and a pending one taken back, leaving the program's handling alone.
class SigpipeBlocked {
 public:
  SigpipeBlocked() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  SigpipeBlocked(const SigpipeBlocked&) = delete;
  SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;
  void Consume() {
    const timespec zero{};
    while (sigtimedwait(&pipe_, nullptr, &zero) > 0) {
    }
  }
  ~SigpipeBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t pipe_{}, old_{};
};

}  // namespace

Channel::Channel(wineprefix::UniqueFd toPeer, wineprefix::UniqueFd fromPeer)
    : to_(std::move(toPeer)), from_(std::move(fromPeer)) {}

bool Channel::Send(const std::vector<std::uint8_t>& bytes) {
  SigpipeBlocked blocked;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = ::write(to_.Get(), bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (errno == EPIPE) blocked.Consume();
      return false;
    }
    at += static_cast<std::size_t>(n);
  }
  return true;
}

bool Channel::Receive(std::uint32_t id, std::chrono::steady_clock::time_point until, Frame& reply) {
  std::vector<std::uint8_t> chunk(65536);
  for (;;) {
    switch (reader_.Next(reply)) {
      case FrameReader::Result::Ready: return reply.id == id && reply.kind == Kind::Reply;
      case FrameReader::Result::Bad: return false;
      case FrameReader::Result::NeedMore: break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{from_.Get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t n = ::read(from_.Get(), chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the helper is gone
    reader_.Feed({chunk.data(), static_cast<std::size_t>(n)});
  }
}

LONG Channel::Call(Kind kind, std::span<const std::uint8_t> payload, std::chrono::milliseconds deadline,
                   std::vector<std::uint8_t>& reply) {
  reply.clear();
  if (broken_) return ERROR_REGISTRY_IO_FAILED;
  const auto until = std::chrono::steady_clock::now() + deadline;
  const std::uint32_t id = nextId_++;
  Frame request{id, kind, {payload.begin(), payload.end()}};
  Frame answer;
  std::uint32_t status = 0;
  if (!Send(EncodeFrame(request)) || !Receive(id, until, answer)) {
    broken_ = true;
    return ERROR_REGISTRY_IO_FAILED;
  }
  PayloadReader in(answer.payload);
  if (!in.U32(status)) {
    broken_ = true;
    return ERROR_REGISTRY_IO_FAILED;
  }
  reply.assign(answer.payload.begin() + 4, answer.payload.end());
  return static_cast<LONG>(status);
}

}  // namespace vidazoz::live

// The broker's loop: poll() over the listening socket and its clients, each whole request
// served before the next is read.
#include "broker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "broker_link.h"
#include "live_prefix.h"
#include "running_server.h"

namespace vidazoz::live {
namespace {

// How often the helper's life and the server's pid are looked at while no request comes.
constexpr int kLookEveryMs = 250;
// A client that does not take its reply within this long is dropped, not waited for.
constexpr timeval kSendTimeout{10, 0};

std::vector<std::uint8_t> Status(std::uint32_t status) { return PayloadWriter().U32(status).Take(); }

bool SendAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

bool ChangesBranch(Kind kind) {
  return kind == Kind::CreateKey || kind == Kind::SetValue || kind == Kind::DeleteValue || kind == Kind::DeleteKey;
}

}  // namespace

Broker::Broker(std::unique_ptr<HelperProcess> helper, std::uint32_t hello, wineprefix::UniqueFd listener,
               std::string prefixDir, pid_t server)
    : helper_(std::move(helper)), hello_(hello), listener_(std::move(listener)), prefixDir_(std::move(prefixDir)),
      server_(server) {}

bool Broker::StillServing() {
  if (helper_->Exited() || helper_->Link().Broken()) return false;
  const std::optional<wineprefix::RunningServer> now = wineprefix::FindRunningServer(prefixDir_);
  return now && now->pid == server_;
}

void Broker::Changed(std::uint32_t branches) {
  for (int b = 0; b < 3; ++b)
    if (branches & (1u << b)) snapshots_[b].reset();
  for (const auto& client : clients_) client->stale |= branches;
}

bool Broker::PollHelper() {
  std::vector<std::uint8_t> reply;
  std::uint32_t changed = 0;
  const LONG status = helper_->Link().Call(Kind::Poll, {}, LivePrefix::kRequestDeadline, reply);
  if (helper_->Link().Broken()) return false;
  // An answer that says nothing sound: every branch counts as changed.
  if (status != ERROR_SUCCESS || !PayloadReader(reply).U32(changed)) changed = 7;
  Changed(changed);
  return true;
}

bool Broker::Accept() {
  wineprefix::UniqueFd fd(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!fd) return errno == EAGAIN || errno == EINTR || errno == ECONNABORTED;
  if (!PeerIsUs(fd.Get())) return true;  // closed: another user's process gets nothing
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &kSendTimeout, sizeof kSendTimeout);
  auto client = std::make_unique<Client>();
  client->fd = std::move(fd);
  clients_.push_back(std::move(client));
  ++accepted_;
  return true;
}

bool Broker::Serve(Client& client, const Frame& request) {
  Channel& helper = helper_->Link();
  std::vector<std::uint8_t> payload;
  switch (request.kind) {
    case Kind::Hello: payload = Status(hello_); break;
    case Kind::Info:
      payload = PayloadWriter().U32(ERROR_SUCCESS).U32(static_cast<std::uint32_t>(helper_->Pid())).U32(accepted_).Take();
      break;
    case Kind::Poll:
      if (!PollHelper()) return false;
      payload = PayloadWriter().U32(ERROR_SUCCESS).U32(client.stale).Take();
      client.stale = 0;
      break;
    case Kind::Snapshot: {
      if (request.payload.size() != 1 || request.payload[0] > 2) {
        payload = Status(ERROR_INVALID_PARAMETER);
        break;
      }
      const int branch = request.payload[0];
      // Looked at first: a snapshot kept from before a change is never handed out.
      if (!PollHelper()) return false;
      if (!snapshots_[branch]) {
        std::vector<std::uint8_t> reply;
        const LONG status = helper.Call(Kind::Snapshot, request.payload, LivePrefix::kRequestDeadline, reply);
        if (helper.Broken()) return false;
        payload = Status(static_cast<std::uint32_t>(status));
        payload.insert(payload.end(), reply.begin(), reply.end());
        if (status != ERROR_SUCCESS) break;
        snapshots_[branch] = payload;
      } else {
        payload = *snapshots_[branch];
      }
      client.stale &= ~(1u << branch);
      break;
    }
    default: {
      if (!ChangesBranch(request.kind) || request.payload.empty() || request.payload[0] > 2) {
        payload = Status(ERROR_INVALID_PARAMETER);
        break;
      }
      std::vector<std::uint8_t> reply;
      const LONG status = helper.Call(request.kind, request.payload, LivePrefix::kRequestDeadline, reply);
      if (helper.Broken()) return false;  // done or not: the client must not hear either
      Changed(1u << request.payload[0]);
      payload = Status(static_cast<std::uint32_t>(status));
      payload.insert(payload.end(), reply.begin(), reply.end());
      break;
    }
  }
  // A client gone before its reply loses only its reply.
  if (!SendAll(client.fd.Get(), EncodeFrame(Frame{request.id, Kind::Reply, std::move(payload)}))) client.fd.Reset();
  return true;
}

void Broker::Run() {
  const int flags = ::fcntl(listener_.Get(), F_GETFL);
  ::fcntl(listener_.Get(), F_SETFL, flags | O_NONBLOCK);
  std::vector<std::uint8_t> chunk(65536);
  auto lookedAt = std::chrono::steady_clock::now();
  for (;;) {
    std::vector<pollfd> fds{{listener_.Get(), POLLIN, 0}};
    for (const auto& client : clients_) fds.push_back({client->fd.Get(), POLLIN, 0});
    const int ready = ::poll(fds.data(), fds.size(), kLookEveryMs);
    if (ready < 0 && errno != EINTR) return;
    const auto now = std::chrono::steady_clock::now();
    if (ready <= 0 || now - lookedAt >= std::chrono::milliseconds(kLookEveryMs)) {
      lookedAt = now;
      if (!StillServing()) return;
    }
    if (ready <= 0) continue;
    if ((fds[0].revents & POLLIN) && !Accept()) return;
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      Client& client = *clients_[i - 1];
      const ssize_t n = ::recv(client.fd.Get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        client.fd.Reset();
        continue;
      }
      client.reader.Feed({chunk.data(), static_cast<std::size_t>(n)});
      Frame request;
      FrameReader::Result next = FrameReader::Result::NeedMore;
      while (client.fd && (next = client.reader.Next(request)) == FrameReader::Result::Ready)
        if (!Serve(client, request)) return;
      if (client.fd && next == FrameReader::Result::Bad) client.fd.Reset();  // garbage: nothing after it is sound
    }
    std::erase_if(clients_, [](const std::unique_ptr<Client>& c) { return !c->fd; });
  }
}

}  // namespace vidazoz::live

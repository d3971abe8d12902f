// The helper's channel against a fake peer: only a sound reply to the request just sent gives a
// status; every broken, short, foreign or late answer gives ERROR_REGISTRY_IO_FAILED and breaks the
// channel. And what may sit where a broker's socket belongs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "broker_link.h"
#include "channel.h"
#include "frame.h"
#include "temp_dir.h"

namespace vidazoz::testing {
namespace {

using live::Channel;
using live::Frame;
using live::Kind;
using Bytes = std::vector<std::uint8_t>;

Bytes Le32(std::uint32_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)}; }
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes Reply(std::uint32_t id, const Bytes& payload) { return live::EncodeFrame(Frame{id, Kind::Reply, payload}); }

// What the fake helper does once it has read the request's header.
struct Peer {
  const char* name;
  Bytes answer;            // written back as is
  bool closeAfter = true;  // then it closes its end (dies); else it stays silent
  LONG expected;
  Bytes expectedReply = {};
};

TEST(LiveChannel, OnlyASoundReplyToThisRequestGivesAStatus) {
  const Bytes good = Reply(1, Cat(Le32(0), Le32(0x2A)));
  const Peer peers[] = {
      {"a reply with a status and more", good, true, 0, Le32(0x2A)},
      {"the helper's own failure status", Reply(1, Le32(5)), true, 5},
      {"dies before answering", {}, true, ERROR_REGISTRY_IO_FAILED},
      {"dies half-way through the reply", Bytes(good.begin(), good.begin() + 7), true, ERROR_REGISTRY_IO_FAILED},
      {"says nothing until the deadline", {}, false, ERROR_REGISTRY_IO_FAILED},
      {"answers another request", Reply(9, Le32(0)), true, ERROR_REGISTRY_IO_FAILED},
      {"answers with a request's kind", live::EncodeFrame(Frame{1, Kind::Poll, Le32(0)}), true, ERROR_REGISTRY_IO_FAILED},
      {"a reply without a status", Reply(1, {0, 0}), true, ERROR_REGISTRY_IO_FAILED},
      {"a length shorter than a header", Cat(Le32(2), Bytes(8, 0)), true, ERROR_REGISTRY_IO_FAILED},
      {"a length past the limit", Cat(Le32(live::kMaxFrameBody + 1), Bytes(16, 0)), false, ERROR_REGISTRY_IO_FAILED},
  };
  // Over a helper's two pipes and over a broker's socket alike.
  for (const bool socket : {false, true}) {
    for (const Peer& peer : peers) {
      SCOPED_TRACE(std::string(peer.name) + (socket ? " (broker)" : " (helper)"));
      int toPeer[2], fromPeer[2];
      if (socket) {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, toPeer), 0);
        fromPeer[0] = fcntl(toPeer[1], F_DUPFD_CLOEXEC, 0);
        fromPeer[1] = fcntl(toPeer[0], F_DUPFD_CLOEXEC, 0);
      } else {
        ASSERT_EQ(pipe2(toPeer, O_CLOEXEC), 0);
        ASSERT_EQ(pipe2(fromPeer, O_CLOEXEC), 0);
      }
      Channel channel{wineprefix::UniqueFd(toPeer[1]), wineprefix::UniqueFd(fromPeer[0])};
      std::thread fake([&] {
        std::uint8_t header[9];
        std::size_t got = 0;
        while (got < sizeof header) {
          const ssize_t n = read(toPeer[0], header + got, sizeof header - got);
          if (n <= 0) break;
          got += static_cast<std::size_t>(n);
        }
        if (!peer.answer.empty() && write(fromPeer[1], peer.answer.data(), peer.answer.size()) < 0) return;
        if (!peer.closeAfter) std::this_thread::sleep_for(std::chrono::milliseconds(400));
      });
      Bytes reply;
      const LONG status = channel.Call(Kind::Poll, {}, std::chrono::milliseconds(200), reply);
      fake.join();
      close(toPeer[0]);
      close(fromPeer[1]);
      EXPECT_EQ(status, peer.expected);
      EXPECT_EQ(reply, peer.expectedReply);
      EXPECT_EQ(channel.Broken(), peer.expected == ERROR_REGISTRY_IO_FAILED);
      // A broken channel never answers again, not even with a good reply waiting.
      if (channel.Broken()) {
        EXPECT_EQ(channel.Call(Kind::Poll, {}, std::chrono::milliseconds(50), reply), ERROR_REGISTRY_IO_FAILED);
      }
    }
  }
}

// What sits where the broker's socket belongs decides whether we speak to it at all: only a
// socket of ours, closed to others, in a folder of ours closed to others, with a listener.
TEST(LiveBroker, OnlyAListeningSocketOfOursIsConnected) {
  namespace fs = std::filesystem;
  enum class Plant { Nothing, PlainFile, Symlink, Listening, OpenMode, OpenFolder, Stale, OtherSocket, OtherFolder };
  struct Case {
    const char* name;
    Plant plant;
    live::BrokerReach expected;
  };
  const Case cases[] = {
      {"nothing there", Plant::Nothing, live::BrokerReach::Absent},
      {"a plain file", Plant::PlainFile, live::BrokerReach::Refused},
      {"a symlink to a listening socket", Plant::Symlink, live::BrokerReach::Refused},
      {"a listening socket of ours", Plant::Listening, live::BrokerReach::Connected},
      {"a socket others may write to", Plant::OpenMode, live::BrokerReach::Refused},
      {"a folder others may enter", Plant::OpenFolder, live::BrokerReach::Refused},
      {"a socket nobody listens on", Plant::Stale, live::BrokerReach::Absent},
      {"a listening socket of another user", Plant::OtherSocket, live::BrokerReach::Refused},
      {"a folder of another user", Plant::OtherFolder, live::BrokerReach::Refused},
  };
  constexpr uid_t kNobody = 65534;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool givesAway = c.plant == Plant::OtherSocket || c.plant == Plant::OtherFolder;
    if (givesAway && geteuid() != 0) {
      std::printf("not run: \"%s\" needs root to give a file away\n", c.name);
      continue;
    }
    const TempDir temp("vidazoz-broker");
    const fs::path folder = temp.Path() / "server-1-2";
    fs::create_directory(folder);
    fs::permissions(folder, c.plant == Plant::OpenFolder ? fs::perms::owner_all | fs::perms::group_exec : fs::perms::owner_all);
    const std::string path = live::BrokerSocketPath(folder.string());
    ASSERT_FALSE(path.empty());
    const auto listenAt = [](const std::string& where) {
      wineprefix::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::snprintf(address.sun_path, sizeof address.sun_path, "%s", where.c_str());
      EXPECT_EQ(bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
      EXPECT_EQ(listen(fd.Get(), 4), 0);
      chmod(where.c_str(), 0700);
      return fd;
    };
    wineprefix::UniqueFd listener;
    switch (c.plant) {
      case Plant::Nothing: break;
      case Plant::PlainFile: std::ofstream(path) << "x"; break;
      case Plant::Symlink:
        listener = listenAt((temp.Path() / "elsewhere").string());
        fs::create_symlink(temp.Path() / "elsewhere", path);
        break;
      case Plant::Listening:
      case Plant::OpenFolder: listener = listenAt(path); break;
      case Plant::OpenMode:
        listener = listenAt(path);
        chmod(path.c_str(), 0777);
        break;
      case Plant::Stale: listenAt(path); break;  // closed again at once
      case Plant::OtherSocket:
        listener = listenAt(path);
        ASSERT_EQ(lchown(path.c_str(), kNobody, kNobody), 0);
        break;
      case Plant::OtherFolder:
        listener = listenAt(path);
        ASSERT_EQ(lchown(folder.c_str(), kNobody, kNobody), 0);
        break;
    }
    wineprefix::UniqueFd connected;
    EXPECT_EQ(live::ConnectBroker(path, connected), c.expected);
    EXPECT_EQ(static_cast<bool>(connected), c.expected == live::BrokerReach::Connected);
    if (connected) {
      EXPECT_TRUE(live::PeerIsUs(connected.Get()));
    }
  }
}

TEST(LiveChannel, AWriteToADeadHelperFailsWithoutKillingUs) {
  int toPeer[2], fromPeer[2];
  ASSERT_EQ(pipe2(toPeer, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(fromPeer, O_CLOEXEC), 0);
  close(toPeer[0]);  // the helper is gone: the next write raises SIGPIPE, which must not end this process
  Channel channel{wineprefix::UniqueFd(toPeer[1]), wineprefix::UniqueFd(fromPeer[0])};
  Bytes reply;
  EXPECT_EQ(channel.Call(Kind::Snapshot, Bytes(100000, 1), std::chrono::milliseconds(100), reply), ERROR_REGISTRY_IO_FAILED);
  close(fromPeer[1]);
}

TEST(LiveFrames, ReadersNeverGoPastWhatArrived) {
  // Frames split at every byte still come out whole and in order.
  const Bytes stream = Cat(Reply(1, Le32(7)), live::EncodeFrame(Frame{2, Kind::Snapshot, {3}}));
  live::FrameReader reader;
  std::vector<Frame> out;
  for (const std::uint8_t b : stream) {
    reader.Feed({&b, 1});
    Frame f;
    while (reader.Next(f) == live::FrameReader::Result::Ready) out.push_back(f);
  }
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].id, 1u);
  EXPECT_EQ(out[0].payload, Le32(7));
  EXPECT_EQ(out[1].kind, Kind::Snapshot);

  // A string or byte count beyond the payload is refused, not read past.
  struct Count {
    Bytes payload;
    bool isString, isBytes;
  };
  const Count counts[] = {{Le32(3), false, false},
                          {Cat(Le32(2), {'a', 0}), false, true},  // 2 units need 4 bytes
                          {Le32(0xFFFFFFFF), false, false}};
  for (const Count& c : counts) {
    std::u16string s;
    Bytes b;
    EXPECT_EQ(live::PayloadReader(c.payload).Str(s), c.isString);
    EXPECT_EQ(live::PayloadReader(c.payload).Bytes(b), c.isBytes);
  }
  std::u16string text;
  const Bytes written = live::PayloadWriter().Str(u"caf\u00e9\u65e5").U8(1).Take();
  live::PayloadReader in(written);
  std::uint8_t tail = 0;
  EXPECT_TRUE(in.Str(text) && in.U8(tail) && in.AtEnd());
  EXPECT_EQ(text, u"caf\u00e9\u65e5");
}

}  // namespace
}  // namespace vidazoz::testing

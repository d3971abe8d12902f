// Against the installed Wine's real wineserver: while it runs, our reads are what Wine holds
// at that moment and our writes go into it; Wine's own life (wineserver -w, -k) is untouched.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <thread>

#include "advapi32.h"
#include "broker_link.h"
#include "channel.h"
#include "live_wine.h"
#include "reg_text.h"
#include "running_server.h"
#include "wine_prefix.h"

namespace vidazoz::testing {
namespace {

using Clock = std::chrono::steady_clock;

class LivePrefix : public ::testing::Test {
 protected:
  TempDir home_{"vidazoz-home"};
  ScopedEnv homeEnv_{"HOME", home_.Path().string()};
  ScopedEnv helper_{"VIDAZOZ_LIVE_HELPER", VIDAZOZ_TEST_LIVE_HELPER};
  ScopedEnv broker_{"VIDAZOZ_LIVE_BROKER", VIDAZOZ_TEST_LIVE_BROKER};
  std::unique_ptr<WinePrefix> prefix_ = WinePrefix::Booted();
  std::unique_ptr<ScopedEnv> active_ = prefix_->Activate();
  std::unique_ptr<LiveWine> server_;

  std::string Dir() const { return prefix_->Path().string(); }
  bool ServerRuns() const { return wineprefix::FindRunningServer(Dir()).has_value(); }
  // The installed Wine's server for the prefix, until -k.
  void StartServer() {
    server_ = std::make_unique<LiveWine>(prefix_->Path(), prefix_->Environment());
    ASSERT_TRUE(server_->Start());
    ASSERT_TRUE(ServerRuns());
  }
  // One that leaves `seconds` after its last program, as Wine's own servers do.
  void StartLeavingServer(const std::string& seconds) {
    const CommandResult start =
        RunCommand({"sh", "-c", "exec wineserver -p" + seconds + " >/dev/null 2>&1"}, prefix_->Environment());
    ASSERT_EQ(start.exitCode, 0) << start.output;
    for (int i = 0; i < 200 && !ServerRuns(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_TRUE(ServerRuns());
  }
  // `wine reg`, returning as soon as it is done, the server left running.
  CommandResult WineReg(std::vector<std::string> args) const {
    args.insert(args.begin(), {"wine", "reg"});
    return RunCommand(args, prefix_->Environment());
  }
  void WaitForServerExit() const {
    for (int i = 0; i < 400 && ServerRuns(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  // `vidazoz reg` of this build on the prefix, a process of its own.
  CommandResult OurReg(std::vector<std::string> args) const {
    args.insert(args.begin(), {VIDAZOZ_TEST_PROGRAM, "reg", "--prefix", Dir()});
    return RunCommand(args, prefix_->Environment());
  }
};

// What the broker serving `serverDir` says of itself, or nothing when none answers.
struct BrokerInfo {
  pid_t broker = 0;
  std::uint32_t helper = 0, accepted = 0;
};
std::optional<BrokerInfo> AskBroker(const std::string& serverDir) {
  wineprefix::UniqueFd fd;
  if (live::ConnectBroker(live::BrokerSocketPath(serverDir), fd) != live::BrokerReach::Connected) return std::nullopt;
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return std::nullopt;
  live::Channel channel{wineprefix::UniqueFd(dup(fd.Get())), std::move(fd)};
  std::vector<std::uint8_t> reply;
  if (channel.Call(live::Kind::Info, {}, std::chrono::seconds(5), reply) != 0) return std::nullopt;
  BrokerInfo info{peer.pid};
  live::PayloadReader in(reply);
  if (!in.U32(info.helper) || !in.U32(info.accepted)) return std::nullopt;
  return info;
}

bool Gone(pid_t pid) {
  for (int i = 0; i < 200 && kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return kill(pid, 0) != 0;
}

// A listening socket at `path`, mode 0700 unless told, that answers every connection with
// bytes no frame starts with, until it is destroyed.
class GarbageListener {
 public:
  explicit GarbageListener(const std::string& path, mode_t mode = 0700) : fd_(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(bind(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(fd_.Get(), 8), 0);
    chmod(path.c_str(), mode);
    thread_ = std::thread([this] {
      for (;;) {
        const int client = accept(fd_.Get(), nullptr, nullptr);
        if (client < 0) return;
        const char garbage[] = "\xff\xff\xff\xffgarbage";
        if (send(client, garbage, sizeof garbage, MSG_NOSIGNAL) < 0) {
        }
        close(client);
      }
    });
  }
  ~GarbageListener() {
    shutdown(fd_.Get(), SHUT_RDWR);
    thread_.join();
  }

 private:
  wineprefix::UniqueFd fd_;
  std::thread thread_;
};

LONG SetString(HKEY root, const char* path, const char* name, const std::string& text, REGSAM view = 0) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
  if (status != 0) return status;
  status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return status;
}

// The value's text, or the status that kept us from it.
std::string GetString(HKEY root, const char* path, const char* name, REGSAM view = 0) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(root, path, 0, KEY_READ | view, &key);
  if (status != 0) return "status " + std::to_string(status);
  char buf[256] = {};
  DWORD size = sizeof buf - 1;
  status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  return status == 0 ? std::string(buf) : "status " + std::to_string(status);
}

TEST_F(LivePrefix, AReadSeesWhatWineAddedAMomentAgo) {
  StartServer();
  const char* policy = "Software\\Microsoft\\.NETFramework\\policy\\v2.0";
  ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, policy, "50727", KEY_WOW64_32KEY), "status 2");
  const CommandResult add = WineReg({"add", "HKLM\\" + std::string(policy), "/v", "50727", "/d", "50727-50727", "/f", "/reg:32"});
  ASSERT_EQ(add.exitCode, 0) << add.output;
  // In the 32-bit view, where /reg:32 put it, and not in the 64-bit one: the views stay ours.
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, policy, "50727", KEY_WOW64_32KEY), "50727-50727");
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, policy, "50727", KEY_WOW64_64KEY), "status 2");
  const CommandResult del = WineReg({"delete", "HKLM\\" + std::string(policy), "/f", "/reg:32"});
  ASSERT_EQ(del.exitCode, 0) << del.output;
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, policy, "50727", KEY_WOW64_32KEY), "status 2");
  EXPECT_EQ(ReadText(prefix_->File("system.reg")).find("50727-50727"), std::string::npos)
      << "the files were never written by us";
}

TEST_F(LivePrefix, AWriteIsInWineAtOnceAndInTheFilesAfterTheServerExits) {
  StartServer();
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Vidazoz\\Live", "Greeting", "caf\xE9"), 0);
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\VzLive32", "Side", "32", KEY_WOW64_32KEY), 0);
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Vidazoz\\Live\\Gone", "x", "1"), 0);
  EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Vidazoz\\Live", "Greeting"), "caf\xE9") << "our own write, read back";

  const CommandResult user = WineReg({"query", "HKCU\\Software\\Vidazoz\\Live", "/v", "Greeting"});
  EXPECT_EQ(user.exitCode, 0) << user.output;
  EXPECT_NE(user.output.find("REG_SZ"), std::string::npos) << user.output;
  const CommandResult machine = WineReg({"query", "HKLM\\Software\\Wow6432Node\\VzLive32", "/v", "Side"});
  EXPECT_EQ(machine.exitCode, 0) << machine.output;

  HKEY live = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vidazoz\\Live", 0, KEY_ALL_ACCESS, &live), 0);
  EXPECT_EQ(RegDeleteKeyA(live, "Gone"), 0);
  EXPECT_EQ(RegDeleteKeyA(live, "Gone"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(live, "Greeting"), 0);
  EXPECT_EQ(RegDeleteValueA(live, "Greeting"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExA(live, "Kept", 0, REG_SZ, reinterpret_cast<const BYTE*>("caf\xE9"), 5), 0);
  RegCloseKey(live);
  EXPECT_NE(WineReg({"query", "HKCU\\Software\\Vidazoz\\Live\\Gone"}).exitCode, 0);

  server_->Stop();
  WaitForServerExit();
  const std::string userReg = ReadText(prefix_->File("user.reg"));
  EXPECT_NE(userReg.find("\"Kept\"=\"caf\\xe9\""), std::string::npos) << "Wine's own save has our write";
  EXPECT_EQ(userReg.find("\"Greeting\""), std::string::npos);
  EXPECT_EQ(userReg.find("Live\\\\Gone"), std::string::npos);
  EXPECT_NE(ReadText(prefix_->File("system.reg")).find("[Software\\\\Wow6432Node\\\\VzLive32]"), std::string::npos);
  EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Vidazoz\\Live", "Kept"), "caf\xE9") << "from the files again";
  for (const auto& entry : std::filesystem::recursive_directory_iterator(prefix_->File("drive_c")))
    EXPECT_FALSE(entry.path().filename().string().starts_with("vzs")) << entry.path() << ": a snapshot file left behind";
}

TEST_F(LivePrefix, ReadsStayCurrentWhileTheServerLeavesAndWineserverWaitIsNotHeldUp) {
  StartLeavingServer("1");
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Vidazoz", "Up", "1"), 0);  // the helper runs
  const std::string serverDir =
      live::ServerFolderOf(Dir(), wineprefix::FindRunningServer(Dir()).value_or(wineprefix::RunningServer{}).pid);
  const std::optional<BrokerInfo> broker = AskBroker(serverDir);
  ASSERT_TRUE(broker.has_value()) << "through the broker";
  const CommandResult add = WineReg({"add", "HKCU\\Software\\Vidazoz", "/v", "FromWine", "/d", "2", "/f"});
  ASSERT_EQ(add.exitCode, 0) << add.output;
  // The server leaves a second after that last program; every read on the way sees its registry.
  const auto start = Clock::now();
  int reads = 0;
  while (ServerRuns() && Clock::now() - start < std::chrono::seconds(10)) {
    ASSERT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Vidazoz", "FromWine"), "2") << "read " << reads;
    ++reads;
  }
  const CommandResult wait = RunCommand({"timeout", "20", "wineserver", "-w"}, prefix_->Environment());
  EXPECT_EQ(wait.exitCode, 0) << "wineserver -w waited for our helper";
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(ServerRuns());
  EXPECT_TRUE(Gone(broker->broker)) << "the broker left with its server";
  EXPECT_FALSE(std::filesystem::exists(live::BrokerSocketPath(serverDir)));
  EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Vidazoz", "FromWine"), "2") << "saved at exit, read from the file";
}

TEST_F(LivePrefix, ProcessesShareOneHelperAndSeeEachOthersWritesAtOnce) {
  StartServer();
  const std::string serverDir = server_->ServerDir().string();
  const char* path = "Software\\Vidazoz\\Shared";
  EXPECT_EQ(GetString(HKEY_CURRENT_USER, path, "a"), "status 2");  // this process starts the broker
  const std::optional<BrokerInfo> before = AskBroker(serverDir);
  ASSERT_TRUE(before.has_value());
  ASSERT_NE(before->helper, 0u);

  const CommandResult add = OurReg({"add", "HKCU\\Software\\Vidazoz\\Shared", "/v", "a", "/d", "first", "/f"});
  ASSERT_EQ(add.exitCode, 0) << add.output;
  EXPECT_EQ(GetString(HKEY_CURRENT_USER, path, "a"), "first") << "another process's write, seen at once";
  const CommandResult query = OurReg({"query", "HKCU\\Software\\Vidazoz\\Shared", "/v", "a"});
  EXPECT_EQ(query.exitCode, 0) << query.output;
  EXPECT_NE(query.output.find("first"), std::string::npos) << query.output;
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, path, "a", "second"), 0);
  const CommandResult again = OurReg({"query", "HKCU\\Software\\Vidazoz\\Shared", "/v", "a"});
  EXPECT_NE(again.output.find("second"), std::string::npos) << "no snapshot kept from before a change: " << again.output;
  ASSERT_EQ(WineReg({"add", "HKCU\\Software\\Vidazoz\\Shared", "/v", "a", "/d", "third", "/f"}).exitCode, 0);
  const CommandResult afterWine = OurReg({"query", "HKCU\\Software\\Vidazoz\\Shared", "/v", "a"});
  EXPECT_NE(afterWine.output.find("third"), std::string::npos) << "nor one from before Wine's change: " << afterWine.output;

  // A client that speaks garbage loses its link and nobody else's.
  {
    wineprefix::UniqueFd rogue;
    ASSERT_EQ(live::ConnectBroker(live::BrokerSocketPath(serverDir), rogue), live::BrokerReach::Connected);
    const std::uint8_t bad[] = {2, 0, 0, 0, 1, 2, 3, 4, 5};
    ASSERT_EQ(send(rogue.Get(), bad, sizeof bad, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof bad));
    char byte = 0;
    EXPECT_EQ(recv(rogue.Get(), &byte, 1, 0), 0) << "dropped";
  }
  const std::optional<BrokerInfo> after = AskBroker(serverDir);
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->broker, before->broker);
  EXPECT_EQ(after->helper, before->helper) << "the same helper served every process";
  EXPECT_GE(after->accepted, before->accepted + 5) << "three reg processes, a rogue and this look";
  EXPECT_EQ(kill(static_cast<pid_t>(after->helper), 0), 0);

  server_->Stop();
  EXPECT_TRUE(Gone(after->broker)) << "the broker leaves with its server";
  EXPECT_FALSE(std::filesystem::exists(live::BrokerSocketPath(serverDir)));
}

TEST_F(LivePrefix, WhatIsNotOurBrokerIsLeftAloneAndAHelperOfOurOwnServes) {
  StartServer();
  const std::string socketPath = live::BrokerSocketPath(server_->ServerDir().string());
  enum class Plant { PlainFile, OpenSocket, GarbageSocket, StaleSocket };
  const struct {
    const char* name;
    Plant plant;
  } cases[] = {{"a plain file", Plant::PlainFile},
               {"a socket others may write to", Plant::OpenSocket},
               {"a socket of ours that answers garbage", Plant::GarbageSocket},
               {"a socket nobody listens on: a new broker takes its place", Plant::StaleSocket}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(socketPath);
    std::unique_ptr<GarbageListener> listener;
    switch (c.plant) {
      case Plant::PlainFile: std::ofstream(socketPath) << "mine"; break;
      case Plant::OpenSocket: listener = std::make_unique<GarbageListener>(socketPath, 0777); break;
      case Plant::GarbageSocket: listener = std::make_unique<GarbageListener>(socketPath); break;
      case Plant::StaleSocket: GarbageListener{socketPath}; break;
    }
    const std::string name = "v" + std::to_string(++n);
    const CommandResult add = OurReg({"add", "HKCU\\Software\\Vidazoz\\Hostile", "/v", name, "/d", "ok", "/f"});
    EXPECT_EQ(add.exitCode, 0) << add.output;
    const CommandResult seen = WineReg({"query", "HKCU\\Software\\Vidazoz\\Hostile", "/v", name});
    EXPECT_NE(seen.output.find("ok"), std::string::npos) << "the write reached the server: " << seen.output;
    if (c.plant == Plant::PlainFile) {
      EXPECT_EQ(ReadText(socketPath), "mine") << "not ours to remove";
    }
    EXPECT_EQ(AskBroker(server_->ServerDir().string()).has_value(), c.plant == Plant::StaleSocket);
  }
}

TEST_F(LivePrefix, ABrokerKilledMidUseNeverGivesAFalseSuccessAndIsReplaced) {
  StartServer();
  const std::string serverDir = server_->ServerDir().string();
  const char* path = "Software\\Vidazoz\\Orphan";
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, path, "before", "1"), 0);
  const std::optional<BrokerInfo> broker = AskBroker(serverDir);
  ASSERT_TRUE(broker.has_value());
  ASSERT_EQ(kill(broker->broker, SIGKILL), 0);
  ASSERT_TRUE(Gone(broker->broker));
  // The write that met the dead link is reported failed, not done; the next goes through a
  // helper of this process's own, and a new process starts a new broker in the dead one's place.
  const LONG during = SetString(HKEY_CURRENT_USER, path, "during", "2");
  EXPECT_TRUE(during == 0 || during == ERROR_REGISTRY_IO_FAILED) << during;
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, path, "after", "3"), 0);
  EXPECT_EQ(GetString(HKEY_CURRENT_USER, path, "after"), "3");
  const CommandResult wine = WineReg({"query", "HKCU\\Software\\Vidazoz\\Orphan"});
  EXPECT_NE(wine.output.find("after"), std::string::npos) << wine.output;
  EXPECT_EQ(wine.output.find("during") != std::string::npos, during == 0) << wine.output;
  const CommandResult ours = OurReg({"query", "HKCU\\Software\\Vidazoz\\Orphan", "/v", "after"});
  EXPECT_EQ(ours.exitCode, 0) << ours.output;
  const std::optional<BrokerInfo> replaced = AskBroker(serverDir);
  ASSERT_TRUE(replaced.has_value()) << "a new broker in the dead one's place";
  EXPECT_NE(replaced->broker, broker->broker);
}

TEST_F(LivePrefix, AServerKilledDuringWritesNeverLeavesAFalseSuccess) {
  StartServer();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vidazoz\\Kill", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr), 0);
  // Writes go on through the kill and after it, when they reach the files again.
  constexpr int kWrites = 4000;
  std::vector<LONG> status(kWrites, -1);
  std::atomic<int> done{0};
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < kWrites && !stop; ++i) {
      const std::string name = "v" + std::to_string(i);
      const DWORD value = static_cast<DWORD>(i);
      status[i] = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
      done = i + 1;
    }
  });
  while (done < 50) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(AskBroker(server_->ServerDir().string()).has_value()) << "the writes go through the broker";
  server_->Stop();
  WaitForServerExit();
  const int atExit = done;
  for (int i = 0; i < 1000 && done < atExit + 10 && done < kWrites; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  stop = true;
  writer.join();
  RegCloseKey(key);
  ASSERT_FALSE(ServerRuns());

  int succeeded = 0, failed = 0;
  for (int i = 0; i < kWrites; ++i) {
    // Refused while the server went (the helper gone: ERROR_REGISTRY_IO_FAILED; its files still
    // its own: ERROR_SHARING_VIOLATION).
    if (status[i] == ERROR_REGISTRY_IO_FAILED || status[i] == ERROR_SHARING_VIOLATION) ++failed;
    EXPECT_TRUE(status[i] == 0 || status[i] == -1 || status[i] == ERROR_REGISTRY_IO_FAILED ||
                status[i] == ERROR_SHARING_VIOLATION)
        << i << ": " << status[i];
    if (status[i] != 0) continue;
    ++succeeded;
    HKEY check = nullptr;
    DWORD value = 0, size = 4;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vidazoz\\Kill", 0, KEY_READ, &check), 0);
    const std::string name = "v" + std::to_string(i);
    EXPECT_EQ(RegQueryValueExA(check, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), 0)
        << name << " was reported written";
    RegCloseKey(check);
  }
  EXPECT_GE(succeeded, 50);
  EXPECT_GE(failed, 1) << "the kill came between writes to the server";
}

TEST_F(LivePrefix, A32BitPrefixWithoutA32BitWineIsReadFromItsFilesAndWarned) {
  // Turned into a prefix only a 32-bit Wine could run programs in; its server runs all the same.
  // Any Wine program started in it would make dosdevices again before it gave up.
  std::filesystem::remove_all(prefix_->File("dosdevices"));
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
    std::string text = ReadText(prefix_->File(name));
    const std::size_t at = text.find("#arch=win64");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 11, "#arch=win32");
    WriteText(prefix_->File(name), text);
  }
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Vidazoz", "Before", "1"), 0);
  StartServer();
  EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Vidazoz", "Before"), "1");
  EXPECT_EQ(SetString(HKEY_CURRENT_USER, "Software\\Vidazoz", "During", "2"), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(std::filesystem::exists(prefix_->File("dosdevices"))) << "no Wine program was started in it";

  const CommandResult check = RunCommand({VIDAZOZ_TEST_PROGRAM, "--prefix", Dir(), "--check"});
  EXPECT_EQ(check.exitCode, 2) << check.output;
  EXPECT_NE(check.output.find("vidazoz: a Wine server is running for " + Dir() +
                              "; this answer may be up to 30 s old"),
            std::string::npos)
      << check.output;
}

}  // namespace
}  // namespace vidazoz::testing

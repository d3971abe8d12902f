// Several processes on one prefix: crashes mid-write, concurrent writers, another user, and a
// wineserver's lock.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "reg_file.h"
#include "reg_text.h"
#include "change_counter.h"
#include "registry_fixture.h"
#include "wineserver_probe.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;

// Runs body in a child process; returns its exit status (body's result, or 99 on a crash).
template <typename Body>
int InChild(Body body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

LONG SetNumber(HKEY key, const std::string& name, DWORD v) {
  return RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
}

bool HasValue(HKEY key, const std::string& name) {
  return RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == 0;
}

TEST_F(RegistryTest, AnotherProcessesWriteIsSeenAtOnce) {
  HKEY key = Create(HKEY_CURRENT_USER, "Shared");
  EXPECT_FALSE(HasValue(key, "fromChild"));  // loads the branch into this process's cache
  ASSERT_EQ(InChild([] {
              HKEY k = nullptr;
              if (RegOpenKeyExA(HKEY_CURRENT_USER, "Shared", 0, KEY_ALL_ACCESS, &k) != 0) return 1;
              return static_cast<int>(SetNumber(k, "fromChild", 1));
            }),
            0);
  EXPECT_TRUE(HasValue(key, "fromChild"));
  RegCloseKey(key);
}

TEST_F(RegistryTest, ChangeCounterIsSharedThroughTheLockFile) {
  fs::create_directories(PrefixDir());
  const std::string lockPath = PrefixDir() + "/.vidazoz-registry.lock";
  wineprefix::ChangeCounter reader;
  EXPECT_EQ(reader.Read(lockPath), wineprefix::ChangeCounter::kUnknown) << "no lock file yet";
  const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(InChild([fd] {
              wineprefix::ChangeCounter::Bump(fd);
              return 0;
            }),
            0);
  std::this_thread::sleep_for(wineprefix::kExternalChangeWindow * 2);  // mapping is retried once per window
  const std::uint64_t first = reader.Read(lockPath);
  EXPECT_EQ(first, 1u);
  ASSERT_EQ(InChild([fd] {
              wineprefix::ChangeCounter::Bump(fd);
              return 0;
            }),
            0);
  EXPECT_EQ(reader.Read(lockPath), first + 1) << "another process's bump is seen through the mapping";
  close(fd);
}

TEST_F(RegistryTest, KilledWritersNeverTearTheFile) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "Durable"));
  const fs::path user = fs::path(PrefixDir()) / "user.reg";
  std::mt19937 random(12345);
  std::set<DWORD> reported;
  DWORD next = 0;
  for (int round = 0; round < 50; ++round) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      close(pipeFds[0]);
      HKEY k = nullptr;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, "Durable", 0, KEY_ALL_ACCESS, &k) != 0) _exit(1);
      for (DWORD i = next;; ++i) {
        if (SetNumber(k, "v" + std::to_string(i), i) == 0 && write(pipeFds[1], &i, sizeof i) != sizeof i) _exit(2);
      }
    }
    close(pipeFds[1]);
    // Once the writer is under way, kill it at a random moment of its next writes.
    DWORD i = 0;
    if (read(pipeFds[0], &i, sizeof i) == sizeof i) {
      reported.insert(i);
      next = i + 1;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(random)));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    while (read(pipeFds[0], &i, sizeof i) == sizeof i) {
      reported.insert(i);
      next = i + 1;
    }
    close(pipeFds[0]);

    wineprefix::RegBranch branch;
    ASSERT_TRUE(wineprefix::ParseRegFile(ReadText(user), branch).complete) << "round " << round;
  }
  ASSERT_GE(reported.size(), 50u) << "every writer got a write done";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Durable", 0, KEY_READ, &key), 0);
  for (DWORD i : reported) EXPECT_TRUE(HasValue(key, "v" + std::to_string(i))) << "reported write " << i << " lost";
  RegCloseKey(key);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Busy"));
  auto writer = [](const char* tag) {
    return [tag] {
      HKEY k = nullptr;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Busy", 0, KEY_ALL_ACCESS, &k) != 0) return 1;
      for (DWORD i = 0; i < 200; ++i)
        if (SetNumber(k, std::string(tag) + std::to_string(i), i) != 0) return 2;
      return 0;
    };
  };
  const pid_t a = fork();
  if (a == 0) _exit(writer("a")());
  const pid_t b = fork();
  if (b == 0) _exit(writer("b")());
  int sa = 0, sb = 0;
  waitpid(a, &sa, 0);
  waitpid(b, &sb, 0);
  ASSERT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0);
  ASSERT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Busy", 0, KEY_READ, &key), 0);
  DWORD values = 0;
  EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            0);
  EXPECT_EQ(values, 400u);
  RegCloseKey(key);
}

TEST_F(RegistryTest, UnwritablePrefixRefusesWritesWithAccessDenied) {
  HKEY key = Create(HKEY_CURRENT_USER, "Locked");
  SetString(key, "v", "old");
  RegCloseKey(key);
  const fs::path user = fs::path(PrefixDir()) / "user.reg";
  const std::string before = ReadText(user);
  // Reachable by an unprivileged user, but nothing in it writable.
  ASSERT_EQ(::chmod(dir_.Path().c_str(), 0755), 0);
  for (const auto& entry : fs::directory_iterator(PrefixDir())) ::chmod(entry.path().c_str(), 0444);
  ASSERT_EQ(::chmod(PrefixDir().c_str(), 0555), 0);

  const int result = InChild([] {
    // Root writes through any mode: be someone else, as a real user would be.
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 10;
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Locked", 0, KEY_ALL_ACCESS, &k) != 0) return 11;  // reads go on
    char buffer[8] = {};
    DWORD cb = sizeof buffer;
    if (RegQueryValueExA(k, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb) != 0 ||
        std::string(buffer) != "old")
      return 12;
    const BYTE data[] = "new";
    if (RegSetValueExA(k, "v", 0, REG_SZ, data, 4) != ERROR_ACCESS_DENIED) return 13;
    HKEY made = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Locked\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr) !=
        ERROR_ACCESS_DENIED)
      return 14;
    if (RegDeleteValueA(k, "v") != ERROR_ACCESS_DENIED) return 15;
    return 0;
  });
  ::chmod(PrefixDir().c_str(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadText(user), before);
}

TEST_F(RegistryTest, WritesWaitOutNoServerButStopForARunningOne) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "Served"));
  // Stand in for a wineserver: hold the write lock on byte 0 of its lock file from a child.
  // Debian's layout (a folder named in $WINEPREFIX/wineserver) keeps it in a folder of our own.
  const std::string base = "vidazoz-fake-server-" + std::to_string(getpid());
  WriteText(fs::path(PrefixDir()) / "wineserver", base);
  const std::vector<std::string> candidates = wineprefix::WineserverLockPaths(PrefixDir());
  ASSERT_FALSE(candidates.empty());
  const fs::path lock = candidates.back();
  ASSERT_EQ(lock.string().rfind("/tmp/" + base + "/server-", 0), 0u) << lock;
  fs::create_directories(lock.parent_path());
  { std::ofstream(lock.string()); }
  ::chmod(lock.parent_path().c_str(), 0700);
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t server = fork();
  if (server == 0) {
    const int fd = open(lock.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_len = 1;
    const char ok = (fd >= 0 && fcntl(fd, F_SETLK, &fl) == 0) ? 'y' : 'n';
    if (write(ready[1], &ok, 1) != 1) _exit(1);
    char c;
    if (read(release[0], &c, 1) < 0) _exit(1);
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Served", 0, KEY_ALL_ACCESS, &key), 0) << "reads go on";
  // Wine runs a server only in a folder closed to others: a lock in any other proves nothing.
  ::chmod(("/tmp/" + base).c_str(), 0755);
  EXPECT_FALSE(wineprefix::WineserverRunning(PrefixDir()));
  EXPECT_EQ(SetNumber(key, "open", 1), 0);
  ::chmod(("/tmp/" + base).c_str(), 0700);
  EXPECT_TRUE(wineprefix::WineserverRunning(PrefixDir()));

  EXPECT_EQ(SetNumber(key, "v", 1), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(HasValue(key, "v"));

  ASSERT_EQ(write(release[1], "x", 1), 1);
  waitpid(server, nullptr, 0);
  EXPECT_FALSE(wineprefix::WineserverRunning(PrefixDir()));
  EXPECT_EQ(SetNumber(key, "v", 1), 0);
  RegCloseKey(key);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
  fs::remove_all("/tmp/" + base);
}

}  // namespace
}  // namespace vidazoz::testing

// Several processes on one prefix: crashes mid-write, concurrent writers, another user, hostile
// files, and a wineserver's lock.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/file.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "reg_file.h"
#include "reg_text.h"
#include "change_counter.h"
#include "registry_fixture.h"
#include "server_places.h"
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
  ASSERT_EQ(InChild([fd] { return wineprefix::ChangeCounter::Bump(fd) ? 0 : 1; }), 0);
  std::this_thread::sleep_for(wineprefix::kExternalChangeWindow * 2);  // mapping is retried once per window
  const std::uint64_t first = reader.Read(lockPath);
  EXPECT_EQ(first, 1u);
  ASSERT_EQ(InChild([fd] { return wineprefix::ChangeCounter::Bump(fd) ? 0 : 1; }),
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
  // A killed writer leaves its temporary file (a whole copy of the branch); the next save removes it.
  auto leftovers = [&] {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(PrefixDir()))
      n += entry.path().filename().string().starts_with(".user.reg.vidazoz-");
    return n;
  };
  EXPECT_LE(leftovers(), 1) << "each writer removed what the one killed before it left";
  RegCloseKey(Create(HKEY_CURRENT_USER, "Durable\\After"));
  EXPECT_EQ(leftovers(), 0);
}

// Process A (this one) has HKCU\Reused cached with "z"; process B sets "b" and deletes "z", a
// save each, which leaves user.reg the size A cached. Then `disguise` may make the file look as
// A cached it (same device, inode, size and mtime); true when it did. A's next write must keep
// B's changes and this process must read them. `cached` runs once A's cache is made.
bool OtherWritersChangesSurvive(const fs::path& user, const std::function<void()>& cached,
                                const std::function<bool(const struct stat&)>& disguise) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Reused", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
  for (const char* left : {"b", "c"}) {  // from an earlier round, or never there
    const LONG status = RegDeleteValueA(key, left);
    EXPECT_TRUE(status == 0 || status == ERROR_FILE_NOT_FOUND) << status;
  }
  EXPECT_EQ(SetNumber(key, "z", 1), 0);
  EXPECT_TRUE(HasValue(key, "z"));  // cached, as the file is now
  struct stat look {};
  ::stat(user.c_str(), &look);
  cached();
  EXPECT_EQ(InChild([] {
              HKEY k = nullptr;
              if (RegOpenKeyExA(HKEY_CURRENT_USER, "Reused", 0, KEY_ALL_ACCESS, &k) != 0) return 1;
              return SetNumber(k, "b", 1) == 0 && RegDeleteValueA(k, "z") == 0 ? 0 : 2;
            }),
            0);
  const bool disguised = disguise(look);
  if (disguised) {
    EXPECT_EQ(SetNumber(key, "c", 1), 0);
    EXPECT_TRUE(HasValue(key, "b")) << "B's set is kept";
    EXPECT_FALSE(HasValue(key, "z")) << "B's delete is not undone";
    const std::string text = ReadText(user);
    EXPECT_TRUE(text.find("\"b\"=dword:00000001") != std::string::npos && text.find("\"z\"=") == std::string::npos) << text;
  }
  RegCloseKey(key);
  return disguised;
}

TEST_F(RegistryTest, AFileThatLooksAsCachedIsNotTrustedUnderTheLock) {
  // A version of the file with the cached inode, size and mtime, made by keeping the cached inode
  // alive (a hard link), writing B's text into it and setting its mtime back.
  const fs::path user = fs::path(PrefixDir()) / "user.reg", kept = fs::path(PrefixDir()) / "kept";
  RegCloseKey(Create(HKEY_CURRENT_USER, "Reused"));
  auto link = [&] { fs::create_hard_link(user, kept); };
  const bool disguised = OtherWritersChangesSurvive(user, link, [&](const struct stat& cached) {
    const std::string text = ReadText(user);
    if (static_cast<off_t>(text.size()) != cached.st_size) return false;
    std::ofstream(kept, std::ios::binary | std::ios::in) << text;  // in place: the same inode
    const struct timespec times[2] = {cached.st_atim, cached.st_mtim};
    if (::utimensat(AT_FDCWD, kept.c_str(), times, 0) != 0) return false;
    fs::rename(kept, user);
    struct stat now {};
    ::stat(user.c_str(), &now);
    return now.st_ino == cached.st_ino && now.st_size == cached.st_size &&
           now.st_mtim.tv_sec == cached.st_mtim.tv_sec && now.st_mtim.tv_nsec == cached.st_mtim.tv_nsec;
  });
  EXPECT_TRUE(disguised) << "the file looked as cached";
}

// A small ext4 with 128-byte inodes, whose times go by whole seconds, loop-mounted (as root)
// for the object's life; unmounted lazily, as this process's cache may hold a file there open.
struct CoarseExt4 {
  explicit CoarseExt4(const fs::path& at) : image(at / "ext4.img"), mount(at / "ext4") {
    fs::create_directories(mount);
    mounted = ::geteuid() == 0 && std::system(("truncate -s 16M '" + image.string() + "' && mkfs.ext4 -q -F -I 128 '" +
                                               image.string() + "' >/dev/null 2>&1 && mount -o loop '" + image.string() +
                                               "' '" + mount.string() + "' 2>/dev/null").c_str()) == 0;
  }
  ~CoarseExt4() {
    if (mounted && std::system(("umount -l '" + mount.string() + "'").c_str()) != 0) ADD_FAILURE() << "umount";
  }
  fs::path image, mount;
  bool mounted = false;
};

TEST_F(RegistryTest, AReusedInodeStampedToTheSecondIsNotTakenForTheCachedFile) {
  // ext4 hands B's second file the inode number B's first save freed: A's cached one.
  const CoarseExt4 disk(dir_.Path());
  if (!disk.mounted) GTEST_SKIP() << "no ext4 loop mount here (needs root, mkfs.ext4 and a loop device)";
  const fs::path prefix = disk.mount / "prefix", user = prefix / "user.reg";
  const ScopedEnv env("WINEPREFIX", prefix.string());
  RegCloseKey(Create(HKEY_CURRENT_USER, "Reused"));
  bool reused = false;
  for (int attempt = 0; attempt < 20 && !reused; ++attempt)
    reused = OtherWritersChangesSurvive(user, [] {}, [&](const struct stat& cached) {
      struct stat now {};
      ::stat(user.c_str(), &now);
      return now.st_ino == cached.st_ino && now.st_size == cached.st_size &&
             now.st_mtim.tv_sec == cached.st_mtim.tv_sec && now.st_mtim.tv_nsec == cached.st_mtim.tv_nsec;
    });
  RemoveServerFolders(prefix);
  if (!reused) GTEST_SKIP() << "the file system never gave the cached inode back within its second";
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Busy"));
  // Two processes of two threads each; every value written must read back with its data.
  auto process = [](char tag) {
    return [tag] {
      std::atomic<int> failures{0};
      auto writer = [&](int thread) {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Busy", 0, KEY_ALL_ACCESS, &k) != 0) return ++failures, void();
        for (DWORD i = 0; i < 60; ++i)
          if (SetNumber(k, std::string(1, tag) + std::to_string(thread) + "_" + std::to_string(i), i) != 0) ++failures;
        RegCloseKey(k);
      };
      std::thread first(writer, 0), second(writer, 1);
      first.join();
      second.join();
      return failures.load();
    };
  };
  const pid_t a = fork();
  if (a == 0) _exit(process('a')());
  const pid_t b = fork();
  if (b == 0) _exit(process('b')());
  int sa = 0, sb = 0;
  waitpid(a, &sa, 0);
  waitpid(b, &sb, 0);
  ASSERT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0) << sa;
  ASSERT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0) << sb;
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Busy", 0, KEY_READ, &key), 0);
  for (const char* name : {"a0_", "a1_", "b0_", "b1_"})
    for (DWORD i = 0; i < 60; ++i) {
      DWORD v = ~0u, cb = sizeof v;
      EXPECT_EQ(RegQueryValueExA(key, (name + std::to_string(i)).c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&v), &cb), 0);
      EXPECT_EQ(v, i) << name << i;
    }
  RegCloseKey(key);
}

// As another user would be: root writes through any mode, so the child drops to nobody.
bool BecomeNobody() { return geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0); }

// Points the process at the fixture's prefix again, so a child does not start with the last
// one's cache.
void LeavePrefix() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Nothing", 0, KEY_READ, &key) == 0) RegCloseKey(key);
}

void GiveToNobody(const fs::path& dir) {
  for (const auto& entry : fs::recursive_directory_iterator(dir)) ::lchown(entry.path().c_str(), 65534, 65534);
  ::lchown(dir.c_str(), 65534, 65534);
}

// Caps this process's memory, where the sanitizers (which reserve terabytes) allow it.
void LimitAddressSpace() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  const struct rlimit limit {std::uintmax_t{4} << 30, std::uintmax_t{4} << 30};
  ::setrlimit(RLIMIT_AS, &limit);
#endif
}

TEST_F(RegistryTest, HostileFilesAreRefusedNeverFollowed) {
  // Each case: a prefix written once, then something planted in it; then, as its owner, a read
  // and a write. Nothing may hang, crash or touch the planted target.
  const fs::path open = dir_.Path() / "open";  // where anyone may create
  fs::create_directories(open);
  ::chmod(open.c_str(), 0777);
  ::chmod(dir_.Path().c_str(), 0755);
  const fs::path victim = open / "victim";
  const struct Case {
    const char* what;
    std::function<void(const fs::path& prefix)> plant;
    LONG read, write;  // opening HKCU\Key; creating HKCU\New
  } cases[] = {
      {"lock file links to another file",
       [&](const fs::path& p) { fs::remove(p / ".vidazoz-registry.lock"), fs::create_symlink(victim, p / ".vidazoz-registry.lock"); },
       0, ERROR_REGISTRY_IO_FAILED},
      {"lock file links nowhere yet",
       [&](const fs::path& p) { fs::remove(p / ".vidazoz-registry.lock"), fs::create_symlink(open / "made", p / ".vidazoz-registry.lock"); },
       0, ERROR_REGISTRY_IO_FAILED},
      {"user.reg is a FIFO", [](const fs::path& p) { fs::remove(p / "user.reg"), ::mkfifo((p / "user.reg").c_str(), 0666), ::chmod((p / "user.reg").c_str(), 0666); },
       ERROR_FILE_NOT_FOUND, ERROR_REGISTRY_IO_FAILED},
      {"user.reg is a device", [](const fs::path& p) { fs::remove(p / "user.reg"), fs::create_symlink("/dev/zero", p / "user.reg"); },
       ERROR_FILE_NOT_FOUND, ERROR_REGISTRY_IO_FAILED},
      // Read as Wine reads it, as an empty branch; never replaced by what we could not read.
      {"user.reg is unreadable", [](const fs::path& p) { ::chmod((p / "user.reg").c_str(), 0); },
       ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED},
      {"the prefix is another user's", [](const fs::path& p) { ::chown(p.c_str(), 0, 0), ::chmod(p.c_str(), 0777); },
       0, ERROR_ACCESS_DENIED},
      {"another user holds the old temporary name in a sticky folder",
       [](const fs::path& p) {
         ::chmod(p.c_str(), 01777);
         std::ofstream((p / ".user.reg.vidazoz-new").string()) << "";
         ::chown((p / ".user.reg.vidazoz-new").c_str(), 0, 0);
       },
       0, 0},
      // Refused at once: no Wine could load it, and reading it would take memory and seconds.
      {"user.reg is 64 GiB of holes", [](const fs::path& p) { fs::resize_file(p / "user.reg", std::uintmax_t{64} << 30); },
       ERROR_FILE_NOT_FOUND, ERROR_BADDB},
      {"user.reg is a header and 100 MiB of holes", [](const fs::path& p) { fs::resize_file(p / "user.reg", 100u << 20); },
       ERROR_FILE_NOT_FOUND, ERROR_BADDB},
      {"the lock file is cut short while mapped",
       [](const fs::path& p) { ::chmod((p / ".vidazoz-registry.lock").c_str(), 0666); }, 0, 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path prefix = dir_.Path() / ("case" + std::to_string(n++));
    WriteText(victim, "echo planted\n");
    ::chmod(victim.c_str(), 0666);
    {
      ScopedEnv env("WINEPREFIX", prefix.string());
      RegCloseKey(Create(HKEY_CURRENT_USER, "Key"));
    }
    LeavePrefix();
    GiveToNobody(prefix);
    c.plant(prefix);
    const fs::path user = prefix / "user.reg";
    const std::uintmax_t planted = fs::is_regular_file(fs::symlink_status(user)) ? fs::file_size(user) : 0;
    const bool truncate = std::string(c.what).find("cut short") != std::string::npos;
    const int result = InChild([&] {
      alarm(20);  // a hang fails the case
      LimitAddressSpace();  // a runaway read fails the case, not the machine
      if (!BecomeNobody()) return 10;
      setenv("WINEPREFIX", prefix.c_str(), 1);
      HKEY key = nullptr;
      const LONG read = RegOpenKeyExA(HKEY_CURRENT_USER, "Key", 0, KEY_READ, &key);
      if (read == 0) RegCloseKey(key);
      if (read != c.read) return 30 + static_cast<int>(read % 50);
      if (truncate) {
        if (::truncate((prefix / ".vidazoz-registry.lock").c_str(), 0) != 0) return 12;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Key", 0, KEY_READ, &key) != 0) return 13;
        RegCloseKey(key);
      }
      HKEY made = nullptr;
      const LONG write = RegCreateKeyExA(HKEY_CURRENT_USER, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr);
      if (write == 0) RegCloseKey(made);
      return write == c.write ? 0 : 20 + static_cast<int>(write % 200);
    });
    EXPECT_EQ(result, 0) << "30+status: read, 20+status: write, 99: hung or crashed";
    EXPECT_EQ(ReadText(victim), "echo planted\n");
    EXPECT_FALSE(fs::exists(open / "made"));
    if (c.write != 0 && planted != 0) {
      EXPECT_EQ(fs::file_size(user), planted) << "a refused file stays as it was";
    }
    const fs::path lock = prefix / ".vidazoz-registry.lock";
    if (!truncate && fs::is_regular_file(fs::symlink_status(lock))) {
      EXPECT_EQ(ModeOf(lock) & 077, 0u) << "private";
    }
  }
}

TEST_F(RegistryTest, AHeldLockTimesOutAndStopsNoReader) {
  HKEY key = Create(HKEY_CURRENT_USER, "Waiting");
  SetDword(key, "v", 1);
  // Anyone who opened the lock file can hold it for as long as they like.
  const int held = open((PrefixDir() + "/.vidazoz-registry.lock").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_SH), 0);
  const int result = InChild([&] {
    alarm(20);
    std::atomic<LONG> written{-1};
    std::thread writer([&] { written = SetNumber(key, "v", 2); });
    // While the writer waits, this process's readers go on.
    int reads = 0;
    while (written == -1) {
      DWORD v = 0, cb = sizeof v;
      if (RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &cb) != 0 || v != 1) return 1;
      ++reads;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    writer.join();
    if (reads < 10) return 2;
    return written == ERROR_LOCK_VIOLATION ? 0 : 3;
  });
  EXPECT_EQ(result, 0) << "1: a reader failed, 2: readers were stopped, 3: the write did not time out, 99: hung";
  close(held);
  EXPECT_EQ(SetNumber(key, "v", 3), 0) << "once released";
  RegCloseKey(key);
}

TEST_F(RegistryTest, UnwritablePrefixRefusesWritesWithAccessDenied) {
  ASSERT_EQ(::chmod(dir_.Path().c_str(), 0755), 0);
  // Read-only for its owner, in three ways: the files, the folder, both.
  const struct {
    const char* what;
    mode_t files, folder;
  } cases[] = {{"files read-only", 0444, 0755}, {"folder read-only", 0644, 0555}, {"both", 0444, 0555}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path prefix = dir_.Path() / ("case" + std::to_string(n++));
    {
      ScopedEnv env("WINEPREFIX", prefix.string());
      HKEY key = Create(HKEY_CURRENT_USER, "Locked");
      SetString(key, "v", "old");
      RegCloseKey(key);
    }
    LeavePrefix();
    GiveToNobody(prefix);
    const std::string before = ReadText(prefix / "user.reg");
    ::chmod((prefix / "user.reg").c_str(), c.files);
    ::chmod(prefix.c_str(), c.folder);
    const int result = InChild([&] {
      if (!BecomeNobody()) return 10;
      setenv("WINEPREFIX", prefix.c_str(), 1);
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
      if (RegCreateKeyExA(HKEY_CURRENT_USER, "Locked\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made,
                          nullptr) != ERROR_ACCESS_DENIED)
        return 14;
      if (RegDeleteValueA(k, "v") != ERROR_ACCESS_DENIED) return 15;
      if (RegQueryValueExA(k, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb) != 0) return 16;
      return 0;
    });
    ::chmod(prefix.c_str(), 0755);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadText(prefix / "user.reg"), before);
  }
}

TEST_F(RegistryTest, WritesWaitOutNoServerButStopForARunningOne) {
  // Stand in for a wineserver: hold the write lock on byte 0 of its lock file from a child.
  // Debian's layout (a folder named in $WINEPREFIX/wineserver) keeps it in a folder of our own.
  const std::string base = "vidazoz-fake-server-" + std::to_string(getpid());
  fs::create_directories(PrefixDir());
  WriteText(fs::path(PrefixDir()) / "wineserver", base);
  RegCloseKey(Create(HKEY_CURRENT_USER, "Served"));
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

TEST_F(RegistryTest, HostileServerPlacesAreNeverTrustedNorFollowed) {
  // Debian's Wine names its server folder after $WINEPREFIX/wineserver when /run/user/<uid> is
  // missing; these cases plant a bad name or a bad folder there. A name Wine could not have
  // written leaves a place we cannot hold: writes are refused. A folder no server could start in
  // is skipped, and nothing is made in it or through it.
  if (!wineprefix::DebianUsesTmpName()) GTEST_SKIP() << "/run/user/<uid> exists: the name file is not read";
  const fs::path victim = dir_.Path() / "victim";
  const std::string tag = "vidazoz-hostile-" + std::to_string(getpid());
  const fs::path tmp = wineprefix::TmpRoot();
  const struct Case {
    const char* what;
    std::function<void(const fs::path& prefix, const std::string& name)> plant;
    LONG write;
  } cases[] = {
      {"name with a slash", [](const fs::path& p, const std::string&) { WriteText(p / "wineserver", "../victim"); },
       ERROR_ACCESS_DENIED},
      {"name \"..\"", [](const fs::path& p, const std::string&) { WriteText(p / "wineserver", ".."); }, ERROR_ACCESS_DENIED},
      {"overlong name", [](const fs::path& p, const std::string&) { WriteText(p / "wineserver", std::string(300, 'w')); },
       ERROR_ACCESS_DENIED},
      {"name file is a link",
       [&](const fs::path& p, const std::string& name) {
         WriteText(victim / "name", name);
         fs::create_symlink(victim / "name", p / "wineserver");
       },
       ERROR_ACCESS_DENIED},
      {"base folder is a link",
       [&](const fs::path& p, const std::string& name) {
         WriteText(p / "wineserver", name);
         fs::create_symlink(victim, tmp / name);
       },
       0},
      {"base folder open to others",
       [&](const fs::path& p, const std::string& name) {
         WriteText(p / "wineserver", name);
         fs::create_directories(tmp / name);
         ::chmod((tmp / name).c_str(), 0755);
       },
       0},
      {"base folder another user's",
       [&](const fs::path& p, const std::string& name) {
         WriteText(p / "wineserver", name);
         fs::create_directories(tmp / name);
         ::chmod((tmp / name).c_str(), 0700);
         if (::chown((tmp / name).c_str(), 65534, 65534) != 0) ::chmod((tmp / name).c_str(), 0777);
       },
       0},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path prefix = dir_.Path() / ("case" + std::to_string(n));
    const std::string name = tag + "-" + std::to_string(n++);
    fs::remove_all(victim);
    fs::create_directories(victim);
    fs::create_directories(prefix);
    c.plant(prefix, name);
    const auto before = std::distance(fs::directory_iterator(victim), fs::directory_iterator());
    ScopedEnv env("WINEPREFIX", prefix.string());
    EXPECT_FALSE(wineprefix::WineserverRunning(prefix.string()));
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Planted", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              c.write);
    if (key != nullptr) RegCloseKey(key);
    EXPECT_EQ(std::distance(fs::directory_iterator(victim), fs::directory_iterator()), before)
        << "nothing made through a link";
    std::error_code ec;
    if (fs::is_directory(tmp / name, ec) && !fs::is_symlink(tmp / name, ec)) {
      EXPECT_TRUE(fs::is_empty(tmp / name, ec)) << "nothing made in a folder no server could use";
    }
    fs::remove_all(tmp / name, ec);
  }
}

}  // namespace
}  // namespace vidazoz::testing

// The store under failing disks, power cuts, exhausted memory and a wineserver starting
// mid-save: whatever fails, memory matches the file and no acknowledged write is lost.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <thread>

#include "change_counter.h"
#include "disk_seams.h"
#include "prefix_registry.h"
#include "reg_file.h"
#include "reg_text.h"
#include "registry_fixture.h"
#include "wineserver_probe.h"

// Allocation failure on demand: the n-th allocation after FailAllocation(n) throws, the others
// succeed. (GCC takes the replaced operators' malloc/free for a mismatch with new/delete.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<long> allocationsUntilFailure{-1};
}  // namespace

void* operator new(std::size_t size) {
  if (allocationsUntilFailure.load(std::memory_order_relaxed) >= 0 && allocationsUntilFailure.fetch_sub(1) == 0)
    throw std::bad_alloc();
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;
using Op = HookedDisk::Op;

void FailAllocation(long n) { allocationsUntilFailure = n; }
bool AllocationFailed() { return allocationsUntilFailure.exchange(-1) == -1; }

HKEY OpenKey(const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != 0) return nullptr;
  return key;
}

// The value as this process reads it, and as user.reg on disk holds it ("" when absent).
std::string Read(HKEY key, const char* name) {
  char buffer[64] = {};
  DWORD cb = sizeof buffer - 1;
  return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb) == 0 ? buffer : "";
}
std::string OnDisk(const std::string& prefix, const char* key, const char* name) {
  const std::string text = ReadText(fs::path(prefix) / "user.reg");
  const std::size_t at = text.find(std::string("[") + key + "]");
  if (at == std::string::npos) return "";
  const std::size_t value = text.find(std::string("\n\"") + name + "\"=\"", at);
  const std::size_t next = text.find("\n[", at + 1);
  if (value == std::string::npos || value > next) return "";
  const std::size_t start = value + std::strlen(name) + 5;
  return text.substr(start, text.find('"', start) - start);
}

LONG Set(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

TEST_F(RegistryTest, PowerCutKeepsEveryAcknowledgedWrite) {
  std::mt19937 random(2026);
  for (int round = 0; round < 60; ++round) {
    TempDir root("vidazoz-power");
    const fs::path prefix = root.Path() / "disk/a/b/prefix";
    fs::create_directories(root.Path() / "disk");
    PowerCutDisk disk(root.Path() / "disk", std::uniform_int_distribution<int>(0, 90)(random));
    std::vector<int> acknowledged;
    {
      ScopedEnv env("WINEPREFIX", prefix.string());
      const InstalledDisk installed(disk);
      HKEY key = nullptr;
      for (int i = 0; i < 12 && !disk.Cut(); ++i) {
        if (key == nullptr && RegCreateKeyExA(HKEY_CURRENT_USER, "Power", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                              &key, nullptr) != 0)
          continue;
        if (Set(key, ("v" + std::to_string(i)).c_str(), std::to_string(i)) == 0) acknowledged.push_back(i);
      }
      if (key != nullptr) RegCloseKey(key);
    }
    const fs::path rebooted = root.Path() / "rebooted";
    disk.Recover(rebooted);
    const fs::path after = rebooted / "a/b/prefix";
    if (fs::exists(after / "user.reg")) {
      wineprefix::RegBranch branch;
      EXPECT_TRUE(wineprefix::ParseRegFile(ReadText(after / "user.reg"), branch).complete)
          << "round " << round << ":\n" << ReadText(after / "user.reg");
    }
    for (int i : acknowledged)
      EXPECT_EQ(OnDisk(after.string(), "Power", ("v" + std::to_string(i)).c_str()), std::to_string(i))
          << "round " << round << ": acknowledged write " << i << " lost";
    RemoveServerFolders(root.Path());
  }
}

TEST_F(RegistryTest, AFailedChangeLeavesMemoryAsTheFile) {
  HKEY key = Create(HKEY_CURRENT_USER, "Kept");
  SetString(key, "v", "old");
  RegCloseKey(Create(HKEY_CURRENT_USER, "Kept\\Child"));
  HookedDisk disk;
  const InstalledDisk installed(disk);
  const struct {
    const char* what;
    Op op;
    int err;
    LONG status;
  } failures[] = {
      {"no temporary file (folder not writable)", Op::Open, EACCES, ERROR_ACCESS_DENIED},
      {"no temporary file (out of descriptors)", Op::Open, EMFILE, ERROR_REGISTRY_IO_FAILED},
      {"disk full", Op::Write, ENOSPC, ERROR_REGISTRY_IO_FAILED},
      {"sync fails", Op::Fsync, EIO, ERROR_REGISTRY_IO_FAILED},
      {"rename fails", Op::Rename, EIO, ERROR_REGISTRY_IO_FAILED},
  };
  int n = 0;
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.what);
    const std::string value = "new" + std::to_string(n++);
    disk.before = [&](Op op, const char*, int) { return op == failure.op ? failure.err : 0; };
    EXPECT_EQ(Set(key, "v", value), failure.status);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Kept\\Child"), failure.status);
    disk.before = [](Op, const char*, int) { return 0; };
    EXPECT_EQ(Read(key, "v"), OnDisk(PrefixDir(), "Kept", "v")) << "memory is the file";
    HKEY child = OpenKey("Kept\\Child");
    EXPECT_NE(child, nullptr) << "a key whose deletion failed is still there";
    if (child != nullptr) RegCloseKey(child);
    EXPECT_EQ(Set(key, "v", value), 0) << "a retry really writes";
    EXPECT_EQ(OnDisk(PrefixDir(), "Kept", "v"), value);
  }

  // Every write cut short, across the pieces of one save: each goes on where the last stopped.
  disk.maxWrite = 7;
  EXPECT_EQ(Set(key, "v", "cut short"), 0);
  disk.maxWrite = 0;
  EXPECT_EQ(OnDisk(PrefixDir(), "Kept", "v"), "cut short");
  const std::string saved = ReadText(fs::path(PrefixDir()) / "user.reg");
  wineprefix::RegBranch reread;
  EXPECT_TRUE(wineprefix::ParseRegFile(saved, reread).complete);
  EXPECT_TRUE(wineprefix::WriteRegFile(reread) == saved) << "the file is whole, byte for byte";

  // Memory running out anywhere in a write: it is written whole or not at all, and never
  // only in memory.
  disk.before = [](Op, const char*, int) { return 0; };
  for (long n = 0;; ++n) {
    const std::string value = "oom" + std::to_string(n);
    LONG status = 0;
    FailAllocation(n);
    try {
      status = Set(key, "v", value);
    } catch (const std::bad_alloc&) {
      status = ERROR_OUTOFMEMORY;  // outside the store: the caller's wrapper answers 14
    }
    if (!AllocationFailed()) break;
    EXPECT_TRUE(status == 0 || status == ERROR_OUTOFMEMORY) << status;
    EXPECT_EQ(Read(key, "v"), OnDisk(PrefixDir(), "Kept", "v")) << "allocation " << n;
    EXPECT_EQ(OnDisk(PrefixDir(), "Kept", "v") == value, status == 0) << "allocation " << n;
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, VolatileKeysLiveThroughEveryReloadAndFailure) {
  // A key with no values whose only sub-key is volatile is still a key of the file.
  RegCloseKey(Create(HKEY_CURRENT_USER, "Holder"));
  HKEY vol = Create(HKEY_CURRENT_USER, "Holder\\Vol", nullptr, REG_OPTION_VOLATILE);
  ASSERT_EQ(Set(vol, "v", "here"), 0);
  RegCloseKey(Create(HKEY_CURRENT_USER, "Holder\\Vol\\Deeper", nullptr, REG_OPTION_VOLATILE));
  HKEY key = Create(HKEY_CURRENT_USER, "Kept");
  RegCloseKey(Create(HKEY_CURRENT_USER, "Kept\\Child"));
  auto volatileKeysStay = [&](const std::string& when) {
    EXPECT_EQ(Read(vol, "v"), "here") << when;
    HKEY deeper = OpenKey("Holder\\Vol\\Deeper");
    EXPECT_EQ(RegCloseKey(deeper), 0) << when;
    const std::string text = ReadText(fs::path(PrefixDir()) / "user.reg");
    EXPECT_NE(text.find("\n[Holder] "), std::string::npos) << when << ": the holder is in the file";
    EXPECT_EQ(text.find("Vol"), std::string::npos) << when << ": volatile keys are not";
  };
  volatileKeysStay("at the start");

  // Another process's write: this process reads the file anew.
  if (const pid_t pid = fork(); pid == 0) _exit(Set(OpenKey("Kept"), "fromChild", "1") == 0 ? 0 : 1);
  ::wait(nullptr);
  EXPECT_EQ(Read(key, "fromChild"), "1");
  volatileKeysStay("after another process's write");

  HookedDisk disk;
  {
    const InstalledDisk installed(disk);
    for (const Op failing : {Op::Open, Op::Write, Op::Fsync, Op::Rename}) {
      disk.before = [&](Op op, const char*, int) { return op == failing ? EIO : 0; };
      EXPECT_NE(Set(key, "v", "lost"), 0);
      EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Kept\\Child"), ERROR_REGISTRY_IO_FAILED);
      volatileKeysStay("after a failed write, step " + std::to_string(static_cast<int>(failing)));
    }
    // A volatile key is in no file: changing it needs no disk.
    EXPECT_EQ(Set(vol, "w", "1"), 0);
    EXPECT_EQ(Read(vol, "w"), "1");
  }
  for (long n = 0;; ++n) {
    FailAllocation(n);
    try {
      Set(key, "v", "oom" + std::to_string(n));
    } catch (const std::bad_alloc&) {
    }
    if (!AllocationFailed()) break;
    volatileKeysStay("after allocation " + std::to_string(n) + " failed");
    EXPECT_EQ(Read(key, "v"), OnDisk(PrefixDir(), "Kept", "v")) << "and the rest is the file";
  }
  // A file that cannot be read for a while shows none of their parents; they come back with it.
  const fs::path user = fs::path(PrefixDir()) / "user.reg", aside = fs::path(PrefixDir()) / "user.aside";
  fs::rename(user, aside);
  ASSERT_EQ(::mkfifo(user.c_str(), 0600), 0);
  std::this_thread::sleep_for(wineprefix::kExternalChangeWindow * 2);
  EXPECT_EQ(OpenKey("Holder\\Vol"), nullptr) << "no parent while the file cannot be read";
  fs::remove(user);
  fs::rename(aside, user);
  std::this_thread::sleep_for(wineprefix::kExternalChangeWindow * 2);
  volatileKeysStay("after its file could not be read for a while");

  // A create that fails anywhere leaves no volatile key behind.
  for (long n = 0;; ++n) {
    HKEY fresh = nullptr;
    LONG made = -1;
    FailAllocation(n);
    try {
      made = RegCreateKeyExA(HKEY_CURRENT_USER, "Holder\\Vol\\Fresh\\Deep", 0, nullptr, REG_OPTION_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &fresh, nullptr);
    } catch (const std::bad_alloc&) {
    }
    const bool failed = AllocationFailed();
    HKEY left = OpenKey("Holder\\Vol\\Fresh");
    EXPECT_EQ(left != nullptr, made == 0) << "allocation " << n;
    if (made == 0) RegCloseKey(fresh);
    if (left != nullptr) RegCloseKey(left);
    // Whichever of the two the failed create made goes; the other is not there to delete.
    (void)RegDeleteKeyA(HKEY_CURRENT_USER, "Holder\\Vol\\Fresh\\Deep");
    (void)RegDeleteKeyA(HKEY_CURRENT_USER, "Holder\\Vol\\Fresh");
    if (!failed) break;
  }
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Holder\\Vol\\Deeper"), 0) << "until this process deletes them";
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Holder\\Vol"), 0);
  EXPECT_EQ(Read(vol, "v"), "");
  RegCloseKey(vol);
  RegCloseKey(key);
}

TEST_F(RegistryTest, AReloadThatRunsOutOfMemoryChangesNothing) {
  const fs::path user = fs::path(PrefixDir()) / "user.reg";
  const std::string header = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n";
  WriteText(user, header + "\n[Old] 1700000000\n");
  wineprefix::PrefixRegistry prefix({PrefixDir(), false});
  wineprefix::BranchStore& store = prefix.Store(wineprefix::Branch::User);
  ASSERT_NE(store.Current(0, true)->root.FindSubkey(u"Old"), nullptr);
  for (long n = 0;; ++n) {
    // Another process's version of the file, each time a new one.
    const std::string name = "New" + std::to_string(n);
    WriteText(user, header + "\n[" + name + "] 1700000000\n\"a\"=\"1\"\n\"b\"=\"2\"\n");
    FailAllocation(n);
    try {
      store.Current(0, true);
    } catch (const std::bad_alloc&) {
    }
    if (!AllocationFailed()) break;
    const std::u16string expected(name.begin(), name.end());
    EXPECT_NE(store.Current(0, true)->root.FindSubkey(expected), nullptr)
        << "allocation " << n << ": the next look reads the new file";
  }
}

// What a starting wineserver does (server/request.c): make its folders private, create the
// lock file, take byte 0 without waiting; exit 2 when it is held.
int StartServerAsWineDoes(const std::string& lockPath) {
  const fs::path dir = fs::path(lockPath).parent_path();
  ::mkdir(dir.parent_path().c_str(), 0700);
  ::mkdir(dir.c_str(), 0700);
  const int fd = ::open(lockPath.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  if (fd < 0) return 1;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_len = 1;
  return ::fcntl(fd, F_SETLK, &fl) == 0 ? 0 : 2;
}

int ServerStartStatus(const std::string& lockPath) {
  const pid_t pid = fork();
  if (pid == 0) _exit(StartServerAsWineDoes(lockPath));
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

TEST_F(RegistryTest, AServerStartingMidSaveFindsItsLockHeld) {
  HKEY key = Create(HKEY_CURRENT_USER, "Served");
  const std::string lock = wineprefix::WineserverLockPaths(PrefixDir()).front();
  fs::remove_all(fs::path(lock).parent_path());  // after a reboot: no server folder at all
  int started = -1;
  HookedDisk disk;
  disk.before = [&](Op op, const char*, int) {
    if (op != Op::Rename || started != -1) return 0;
    // Opening and closing the lock file elsewhere in the process must not drop our lock.
    ::close(::open(lock.c_str(), O_RDONLY));
    started = ServerStartStatus(lock);
    return 0;
  };
  {
    const InstalledDisk installed(disk);
    SetString(key, "v", "x");
  }
  EXPECT_EQ(started, 2) << "the server started while the file was being replaced";
  EXPECT_EQ(ServerStartStatus(lock), 0) << "and can start once the save is done";
  RegCloseKey(key);
  fs::remove_all(fs::path(lock).parent_path());
}

}  // namespace
}  // namespace vidazoz::testing

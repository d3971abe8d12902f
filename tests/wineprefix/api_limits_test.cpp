// The calls at their limits: memory that runs out, values no DWORD can measure, and the cap
// on open handles. This binary's operator new is the seam that starves them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform.h"
#include "registry_fixture.h"

namespace {

// Armed: allocations left before each one fails with bad_alloc. Unarmed: -1.
long allocationsLeft = -1;
long allocationsMade = 0;

// Sizes of 4 GiB and more get address space whose 2 MiB stretches all share one memory block,
// so a value that large costs 2 MiB: its bytes repeat with that period.
constexpr std::size_t kHuge = std::size_t{1} << 32, kAliasPeriod = std::size_t{1} << 21;
struct Aliased {
  void* base = nullptr;
  std::size_t length = 0;
} aliased[4];

void* MapAliased(std::size_t n) {
  const std::size_t length = (n + kAliasPeriod - 1) / kAliasPeriod * kAliasPeriod;
  for (Aliased& slot : aliased) {
    if (slot.base != nullptr) continue;
    void* base = ::mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    const int fd = ::memfd_create("aliased", MFD_CLOEXEC);
    bool ok = base != MAP_FAILED && fd >= 0 && ::ftruncate(fd, kAliasPeriod) == 0;
    for (std::size_t at = 0; ok && at < length; at += kAliasPeriod)
      ok = ::mmap(static_cast<char*>(base) + at, kAliasPeriod, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED | MAP_POPULATE, fd,
                  0) != MAP_FAILED;
    if (fd >= 0) ::close(fd);
    if (!ok) {
      if (base != MAP_FAILED) ::munmap(base, length);
      throw std::bad_alloc();
    }
    slot = {base, length};
    return base;
  }
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) {
  if (n >= kHuge) return MapAliased(n);
  if (allocationsLeft == 0) throw std::bad_alloc();
  if (allocationsLeft > 0) --allocationsLeft;
  ++allocationsMade;
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
  for (Aliased& slot : aliased) {
    if (slot.base != nullptr && slot.base == p) {
      ::munmap(slot.base, slot.length);
      slot = {};
      return;
    }
  }
  std::free(p);
}

namespace vidazoz::testing {
namespace {

using wineprefix::Branch;
using wineprefix::Platform;

// Forgets what the process cached; the next call reads the files.
void DropCaches() {
  auto prefix = Platform::Instance().CurrentPrefix();
  for (const Branch branch : wineprefix::kBranches) {
    prefix->Store(branch).Invalidate();
    prefix->Store(branch).Current(prefix->Generation(), true);
  }
}

TEST_F(RegistryTest, RunningOutOfMemoryAnywhereGivesAStatusAndLosesNothing) {
  enum Call { kCreate, kSetS, kSetD, kMakeGone, kDeleteGone, kDeleteD, kQuery, kEnumValue, kEnumKey, kInfo, kCount };
  const DWORD seven = 7;
  auto sequence = [&](LONG (&status)[kCount]) {
    HKEY b = nullptr, gone = nullptr;
    char name[32], data[32];
    DWORD cch = sizeof name, cb = sizeof data;
    char cls[] = "cls";
    status[kCreate] = RegCreateKeyExA(HKEY_CURRENT_USER, "Sweep\\A\\B", 0, cls, 0, KEY_ALL_ACCESS, nullptr, &b, nullptr);
    status[kSetS] = RegSetValueExA(b, "s", 0, REG_SZ, reinterpret_cast<const BYTE*>("text"), 5);
    status[kSetD] = RegSetValueExA(b, "d", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4);
    status[kMakeGone] = RegCreateKeyExA(HKEY_CURRENT_USER, "Sweep\\Gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        &gone, nullptr);
    RegCloseKey(gone);
    status[kDeleteGone] = RegDeleteKeyA(HKEY_CURRENT_USER, "Sweep\\Gone");
    status[kDeleteD] = RegDeleteValueA(b, "d");
    status[kQuery] = RegQueryValueExA(b, "s", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &cb);
    status[kEnumValue] = RegEnumValueA(b, 0, name, &cch, nullptr, nullptr, nullptr, nullptr);
    status[kEnumKey] = RegEnumKeyA(HKEY_CURRENT_USER, 0, name, sizeof name);
    cch = sizeof name;
    status[kInfo] = RegQueryInfoKeyA(b, name, &cch, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
    RegCloseKey(b);
  };
  // What the registry holds must be exactly what the calls that returned 0 said.
  auto check = [](const LONG (&status)[kCount], const std::string& when) {
    auto exists = [](const char* path) {
      HKEY key = nullptr;
      const LONG s = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
      RegCloseKey(key);
      return s == 0;
    };
    auto hasValue = [](const char* name) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, "Sweep\\A\\B", 0, KEY_READ, &key) != 0) return false;
      const LONG s = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr);
      RegCloseKey(key);
      return s == 0;
    };
    EXPECT_EQ(exists("Sweep\\A\\B"), status[kCreate] == 0) << when;
    EXPECT_EQ(hasValue("s"), status[kSetS] == 0) << when;
    EXPECT_EQ(hasValue("d"), status[kSetD] == 0 && status[kDeleteD] != 0) << when;
    EXPECT_EQ(exists("Sweep\\Gone"), status[kMakeGone] == 0 && status[kDeleteGone] != 0) << when;
  };

  LONG status[kCount];
  allocationsMade = 0;
  {
    const ScopedEnv prefix("WINEPREFIX", (dir_.Path() / "count").string());
    sequence(status);
  }
  const long total = allocationsMade;
  for (const LONG s : status) ASSERT_EQ(s, 0) << "with memory to spare every call succeeds";

  // Every failure point among the first ones, then a spread over the rest.
  for (long n = 0; n < total; n += n < 64 ? 1 : 4) {
    const std::string when = "allocation " + std::to_string(n) + " of " + std::to_string(total) + " fails";
    const ScopedEnv prefix("WINEPREFIX", (dir_.Path() / ("p" + std::to_string(n))).string());
    allocationsLeft = n;
    sequence(status);  // an exception leaving a call fails the test here
    allocationsLeft = -1;
    check(status, when + ", as cached");
    DropCaches();
    check(status, when + ", as on disk");
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "after", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4), 0)
        << when << ": the file still loads whole";
  }
}

// Sizes as big as 4 GiB are aliased memory here (see operator new): no 4 GiB is used.
TEST_F(RegistryTest, SizesADwordCannotGiveAreRefused) {
  HKEY key = Create(HKEY_CURRENT_USER, "Big");
  {
    // A value of 4 GiB + 16 bytes, as a hostile file may hold one.
    std::vector<std::uint8_t> huge(kHuge + 16);
    auto prefix = Platform::Instance().CurrentPrefix();
    auto branch = prefix->Store(Branch::User).Current(prefix->Generation(), true);
    branch->root.FindSubkey(u"Big")->SetValue(u"huge", REG_BINARY, std::move(huge));
  }
  char buffer[32];
  std::memset(buffer, '#', sizeof buffer);
  DWORD cb = 16, cch = sizeof buffer, maxValue = 0;
  EXPECT_EQ(RegQueryValueExA(key, "huge", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb),
            ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(cb, 16u);
  char name[8];
  cb = 16;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &cch, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb),
            ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(buffer[0], '#') << "nothing copied";
  EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxValue,
                             nullptr, nullptr),
            ERROR_REGISTRY_CORRUPT);
  DropCaches();  // the value never reaches a file

  // A string whose count wraps past 32 bits when its NUL is taken in: refused, not stored empty.
  auto* text = static_cast<BYTE*>(MapAliased(kHuge + 1));  // zeros, byte i is byte i % kAliasPeriod
  text[kAliasPeriod - 2] = 'x';
  EXPECT_EQ(RegSetValueExA(key, "wrap", 0, REG_SZ, text, 0xFFFFFFFF), ERROR_INVALID_PARAMETER);
  operator delete(text);
  EXPECT_EQ(RegQueryValueExA(key, "wrap", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryTest, OpenHandlesAreCapped) {
  wineprefix::HandleTable& handles = Platform::Instance().Handles();
  RegCloseKey(Create(HKEY_CURRENT_USER, "Capped"));
  handles.SetLimit(handles.Size() + 2);
  HKEY first = nullptr, second = nullptr, refused = Bogus(0x55);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Capped", 0, KEY_READ, &first), 0);
  ASSERT_EQ(RegOpenKeyExA(first, "", 0, KEY_READ, &second), 0);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Capped", 0, KEY_READ, &refused), ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Capped\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &refused,
                            nullptr),
            ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Capped", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  RegCloseKey(second);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Capped\\New"), ERROR_FILE_NOT_FOUND) << "the refused create made nothing";
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Capped", 0, KEY_READ, &second), 0) << "a closed handle frees its place";
  RegCloseKey(second);
  RegCloseKey(first);
  handles.SetLimit(wineprefix::HandleTable::kDefaultLimit);
}

}  // namespace
}  // namespace vidazoz::testing

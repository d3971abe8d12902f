// The calls at their limits: memory that runs out, values no DWORD can measure, and the cap
// on open handles. This binary's operator new is the seam that starves them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "process_state.h"
#include "registry_fixture.h"

namespace {

long allocationsLeft = -1;  // armed (>= 0): allocations before each one fails
long allocationsMade = 0;

// Address space for sizes past 4 GiB, reserved and unreadable: any byte touched faults, and
// only what a test makes readable costs memory.
constexpr std::size_t kHuge = std::size_t{1} << 32;
std::pair<void*, std::size_t> reserved;

std::uint8_t* Reserve(std::size_t size) {
  void* base = ::mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED || reserved.first != nullptr) throw std::bad_alloc();
  reserved = {base, size};
  return static_cast<std::uint8_t*>(base);
}

}  // namespace

void* operator new(std::size_t n) {
  if (allocationsLeft == 0) throw std::bad_alloc();
  allocationsLeft -= allocationsLeft > 0;
  ++allocationsMade;
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
  if (p != nullptr && p == reserved.first) {
    ::munmap(reserved.first, reserved.second);
    reserved = {};
  } else {
    std::free(p);
  }
}
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }

namespace {

// A vector that says it holds `size` bytes of reserved space, none of them ever written: a
// sparse value of 4 GiB. It relies on libstdc++ keeping a vector as its three pointers.
std::vector<std::uint8_t> Hollow(std::size_t size) {
  std::vector<std::uint8_t> v;
  static_assert(sizeof v == 3 * sizeof(std::uint8_t*));
  std::uint8_t* const begin = Reserve(size);
  std::uint8_t* const pointers[3] = {begin, begin + size, begin + size};
  std::memcpy(static_cast<void*>(&v), pointers, sizeof pointers);
  return v;
}

}  // namespace

namespace vidazoz::testing {
namespace {

using wineprefix::Branch;
using wineprefix::ProcessState;

// Forgets what the process cached; the next call reads the files.
void DropCaches() {
  auto prefix = ProcessState::Instance().CurrentPrefix();
  for (const Branch branch : wineprefix::kBranches) {
    prefix->Store(branch).Invalidate();
    prefix->Store(branch).Current(prefix->Generation(), true);
  }
}

TEST_F(RegistryTest, RunningOutOfMemoryAnywhereGivesAStatusAndLosesNothing) {
  enum Call { kCreate, kSetS, kSetD, kMakeGone, kDeleteGone, kDeleteD, kCount };
  const DWORD seven = 7;
  const auto* dword = reinterpret_cast<const BYTE*>(&seven);
  LONG status[kCount];
  auto sequence = [&] {
    HKEY b = nullptr, gone = nullptr;
    char name[32], data[32], cls[] = "cls";
    DWORD cch = sizeof name, cb = sizeof data;
    status[kCreate] =
        RegCreateKeyExA(HKEY_CURRENT_USER, "Sweep\\A\\B", 0, cls, 0, KEY_ALL_ACCESS, nullptr, &b, nullptr);
    status[kSetS] = RegSetValueExA(b, "s", 0, REG_SZ, reinterpret_cast<const BYTE*>("text"), 5);
    status[kSetD] = RegSetValueExA(b, "d", 0, REG_DWORD, dword, 4);
    status[kMakeGone] = RegCreateKeyExA(HKEY_CURRENT_USER, "Sweep\\Gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        &gone, nullptr);
    RegCloseKey(gone);
    status[kDeleteGone] = RegDeleteKeyA(HKEY_CURRENT_USER, "Sweep\\Gone");
    status[kDeleteD] = RegDeleteValueA(b, "d");
    // Reads only need to come back, with any status.
    (void)RegQueryValueExA(b, "s", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &cb);
    (void)RegEnumValueA(b, 0, name, &cch, nullptr, nullptr, nullptr, nullptr);
    (void)RegEnumKeyA(HKEY_CURRENT_USER, 0, name, sizeof name);
    (void)RegQueryInfoKeyA(b, nullptr, nullptr, nullptr, &cch, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr);
    RegCloseKey(b);
  };
  // What the registry holds must be exactly what the calls that returned 0 said.
  auto check = [&](const std::string& when) {
    auto exists = [](const char* path, const char* value) {
      HKEY key = nullptr;
      LONG s = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
      if (s == 0 && value != nullptr) s = RegQueryValueExA(key, value, nullptr, nullptr, nullptr, nullptr);
      RegCloseKey(key);
      return s == 0;
    };
    EXPECT_EQ(exists("Sweep\\A\\B", nullptr), status[kCreate] == 0) << when;
    EXPECT_EQ(exists("Sweep\\A\\B", "s"), status[kSetS] == 0) << when;
    EXPECT_EQ(exists("Sweep\\A\\B", "d"), status[kSetD] == 0 && status[kDeleteD] != 0) << when;
    EXPECT_EQ(exists("Sweep\\Gone", nullptr), status[kMakeGone] == 0 && status[kDeleteGone] != 0) << when;
  };

  allocationsMade = 0;
  {
    const ScopedEnv prefix("WINEPREFIX", (dir_.Path() / "count").string());
    sequence();
  }
  const long total = allocationsMade;
  for (const LONG s : status) ASSERT_EQ(s, 0) << "with memory to spare every call succeeds";
  // Every failure point among the first ones, then a spread over the rest.
  for (long n = 0; n < total; n += n < 64 ? 1 : 4) {
    const std::string when = "allocation " + std::to_string(n) + " of " + std::to_string(total) + " fails";
    const ScopedEnv prefix("WINEPREFIX", (dir_.Path() / ("p" + std::to_string(n))).string());
    allocationsLeft = n;
    sequence();  // an exception leaving a call fails the test here
    allocationsLeft = -1;
    check(when + ", as cached");
    DropCaches();
    check(when + ", as on disk");
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "after", 0, REG_DWORD, dword, 4), 0)
        << when << ": the file loads whole";
  }
}

TEST_F(RegistryTest, SizesADwordCannotGiveAreRefused) {
  HKEY key = Create(HKEY_CURRENT_USER, "Big");
  {
    // A value of 4 GiB + 16 bytes, as a hostile file may hold one; reading it would fault.
    std::vector<std::uint8_t> huge = Hollow(kHuge + 16);
    auto prefix = ProcessState::Instance().CurrentPrefix();
    auto branch = prefix->Store(Branch::User).Current(prefix->Generation(), true);
    branch->root.FindSubkey(u"Big")->SetValue(u"huge", REG_BINARY, std::move(huge));
  }
  char buffer[32], name[8];
  std::memset(buffer, '#', sizeof buffer);
  DWORD cb = 16, cch = sizeof name, maxValue = 0;
  EXPECT_EQ(RegQueryValueExA(key, "huge", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb),
            ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(RegEnumValueA(key, 0, name, &cch, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb),
            ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(cb, 16u);
  EXPECT_EQ(buffer[0], '#') << "nothing copied";
  EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxValue,
                             nullptr, nullptr),
            ERROR_REGISTRY_CORRUPT);
  DropCaches();  // the value never reaches a file

  // A string whose count wraps past 32 bits when its NUL is taken in: refused, not stored empty.
  BYTE* text = Reserve(kHuge + 1);
  const long page = ::sysconf(_SC_PAGESIZE);
  BYTE* last = text + (0xFFFFFFFE / page) * page;
  ASSERT_EQ(::mprotect(last, 2 * page, PROT_READ | PROT_WRITE), 0);
  text[0xFFFFFFFE] = 'x';
  text[0xFFFFFFFF] = 0;
  EXPECT_EQ(RegSetValueExA(key, "wrap", 0, REG_SZ, text, 0xFFFFFFFF), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "wrap", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  ::operator delete(text);
  RegCloseKey(key);
}

TEST_F(RegistryTest, OpenHandlesAreCapped) {
  wineprefix::HandleTable& handles = ProcessState::Instance().Handles();
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
  RegCloseKey(second);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Capped\\New"), ERROR_FILE_NOT_FOUND) << "the refusal made nothing";
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Capped", 0, KEY_READ, &second), 0) << "a closed handle frees its place";
  RegCloseKey(second);
  RegCloseKey(first);
  handles.SetLimit(wineprefix::HandleTable::kDefaultLimit);
}

}  // namespace
}  // namespace vidazoz::testing

// The A calls against a plain model: a sequence of creates, opens, sets, queries, deletes and
// enumerations on a scratch prefix gives the statuses and results the model predicts, from the
// cache and after reloading the files. Input: one op per few bytes (see Run).
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "advapi32_calls.h"
#include "fuzz_check.h"
#include "process_state.h"
#include "server_folders.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Few names, in several spellings, so that calls meet each other's keys and values.
constexpr std::array<const char*, 5> kKeyNames = {"a", "A", "b", "ab", "B c"};
constexpr std::array<const char*, 5> kValueNames = {"", "v", "V", "v2", "W"};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct ModelValue {
  std::string name;  // the first spelling
  DWORD type = 0;
  Bytes data;        // as an A caller reads it
};

struct ModelKey {
  std::string name;
  std::map<std::string, std::unique_ptr<ModelKey>> subkeys;  // by lower-case name: Wine's order for these names
  std::map<std::string, ModelValue> values;
};

struct Slot {
  HKEY handle = nullptr;
  std::vector<std::string> path;  // lower-case names below HKEY_CURRENT_USER
  bool deleted = false;
};

class Sequence {
 public:
  Sequence(const std::uint8_t* data, std::size_t size) : in_(data), end_(data + size) {
    slots_[0] = {HKEY_CURRENT_USER, {}, false};
  }
  ~Sequence() {
    for (std::size_t i = 1; i < slots_.size(); ++i) RegCloseKey(slots_[i].handle);
  }

  void Run() {
    for (int ops = 0; ops < 64 && in_ < end_; ++ops) {
      switch (Next() % 10) {
        case 0: Create(); break;
        case 1: Open(); break;
        case 2: Close(); break;
        case 3: SetValue(); break;
        case 4: QueryValue(); break;
        case 5: DeleteValue(); break;
        case 6: DeleteKey(); break;
        case 7: EnumValue(); break;
        case 8: EnumKey(); break;
        case 9: Reload(); break;
      }
    }
    Reload();
    CheckTree(root_, {});
  }

 private:
  std::uint8_t Next() { return in_ < end_ ? *in_++ : 0; }
  Slot& AnySlot() { return slots_[Next() % slots_.size()]; }
  Slot& NewSlot() { return slots_[1 + Next() % (slots_.size() - 1)]; }
  std::vector<std::string> Names() {
    std::vector<std::string> names(1 + Next() % 2);
    for (std::string& n : names) n = kKeyNames[Next() % kKeyNames.size()];
    return names;
  }
  static std::string Joined(const std::vector<std::string>& names) {
    std::string s;
    for (const std::string& n : names) s += (s.empty() ? "" : "\\") + n;
    return s;
  }

  // The model key at a path, created when asked; null when missing.
  ModelKey* Find(const std::vector<std::string>& path, bool create = false,
                 const std::vector<std::string>* spelled = nullptr) {
    ModelKey* key = &root_;
    for (std::size_t i = 0; i < path.size(); ++i) {
      auto it = key->subkeys.find(path[i]);
      if (it == key->subkeys.end()) {
        if (!create) return nullptr;
        auto made = std::make_unique<ModelKey>();
        made->name = (*spelled)[i];
        it = key->subkeys.emplace(path[i], std::move(made)).first;
      }
      key = it->second.get();
    }
    return key;
  }
  // The status any call on a slot gives before it looks further.
  static LONG SlotStatus(const Slot& s) {
    return s.handle == nullptr ? ERROR_INVALID_HANDLE : s.deleted ? ERROR_KEY_DELETED : 0;
  }

  void Create() {
    Slot& base = AnySlot();
    const std::vector<std::string> names = Names();
    Slot& target = NewSlot();
    HKEY made = nullptr;
    const LONG status =
        RegCreateKeyExA(base.handle, Joined(names).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr);
    FUZZ_CHECK(status == SlotStatus(base));
    if (status != 0) return;
    std::vector<std::string> path = base.path, spelled = base.path;
    for (const std::string& n : names) {
      path.push_back(Lower(n));
      spelled.push_back(n);
    }
    Find(path, true, &spelled);
    RegCloseKey(target.handle);
    target = {made, path, false};
  }

  void Open() {
    Slot& base = AnySlot();
    const std::vector<std::string> names = Names();
    Slot& target = NewSlot();
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(base.handle, Joined(names).c_str(), 0, KEY_ALL_ACCESS, &opened);
    LONG expected = SlotStatus(base);
    std::vector<std::string> path = base.path;
    for (const std::string& n : names) path.push_back(Lower(n));
    if (expected == 0 && Find(path) == nullptr) expected = ERROR_FILE_NOT_FOUND;
    FUZZ_CHECK(status == expected);
    if (status == 0) {
      RegCloseKey(target.handle);
      target = {opened, path, false};
    }
  }

  void Close() {
    Slot& s = NewSlot();
    FUZZ_CHECK(RegCloseKey(s.handle) == (s.handle == nullptr ? ERROR_INVALID_HANDLE : 0));
    s = {};
  }

  void SetValue() {
    Slot& s = AnySlot();
    const std::string name = kValueNames[Next() % kValueNames.size()];
    const std::uint8_t kind = Next() % 3;
    const std::size_t length = Next() % 9;
    Bytes data;
    DWORD type = REG_BINARY;
    if (kind == 0) {  // a string of letters with its NUL, counted
      type = REG_SZ;
      for (std::size_t i = 0; i < length; ++i) data.push_back(static_cast<std::uint8_t>('a' + Next() % 26));
      data.push_back(0);
    } else {
      type = kind == 1 ? REG_DWORD : REG_BINARY;
      for (std::size_t i = 0; i < (kind == 1 ? 4 : length); ++i) data.push_back(Next());
    }
    const LONG status = RegSetValueExA(s.handle, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    const LONG expected = SlotStatus(s);
    FUZZ_CHECK(status == expected);
    if (status != 0) return;
    ModelKey* key = Find(s.path);
    FUZZ_CHECK(key != nullptr);
    auto [it, added] = key->values.try_emplace(Lower(name), ModelValue{name, type, data});
    if (!added) {
      it->second.type = type;
      it->second.data = data;
    }
  }

  void CheckValue(const Slot& s, const ModelKey* key, const std::string& name) {
    std::uint8_t buffer[64];
    DWORD type = 0, cb = sizeof buffer;
    const LONG status = RegQueryValueExA(s.handle, name.c_str(), nullptr, &type, buffer, &cb);
    const auto it = key->values.find(Lower(name));
    if (it == key->values.end()) {
      FUZZ_CHECK(status == ERROR_FILE_NOT_FOUND);
      return;
    }
    FUZZ_CHECK(status == 0 && type == it->second.type && cb == it->second.data.size());
    FUZZ_CHECK(cb == 0 || std::memcmp(buffer, it->second.data.data(), cb) == 0);
    if (cb == 0) return;
    cb -= 1;  // one byte short: ERROR_MORE_DATA and the size needed
    FUZZ_CHECK(RegQueryValueExA(s.handle, name.c_str(), nullptr, nullptr, buffer, &cb) == ERROR_MORE_DATA);
    FUZZ_CHECK(cb == it->second.data.size());
  }

  void QueryValue() {
    Slot& s = AnySlot();
    const std::string name = kValueNames[Next() % kValueNames.size()];
    if (const LONG expected = SlotStatus(s)) {
      FUZZ_CHECK(RegQueryValueExA(s.handle, name.c_str(), nullptr, nullptr, nullptr, nullptr) == expected);
      return;
    }
    CheckValue(s, Find(s.path), name);
  }

  void DeleteValue() {
    Slot& s = AnySlot();
    const std::string name = kValueNames[Next() % kValueNames.size()];
    const LONG status = RegDeleteValueA(s.handle, name.c_str());
    LONG expected = SlotStatus(s);
    ModelKey* key = expected == 0 ? Find(s.path) : nullptr;
    if (expected == 0) expected = key->values.erase(Lower(name)) != 0 ? 0 : ERROR_FILE_NOT_FOUND;
    FUZZ_CHECK(status == expected);
  }

  void DeleteKey() {
    Slot& base = AnySlot();
    const std::vector<std::string> names = Names();
    const LONG status = RegDeleteKeyA(base.handle, Joined(names).c_str());
    LONG expected = SlotStatus(base);
    std::vector<std::string> path = base.path;
    for (const std::string& n : names) path.push_back(Lower(n));
    if (expected == 0) {
      ModelKey* key = Find(path);
      if (key == nullptr) {
        expected = ERROR_FILE_NOT_FOUND;
      } else if (!key->subkeys.empty()) {
        expected = ERROR_ACCESS_DENIED;
      } else {
        std::vector<std::string> parentPath(path.begin(), path.end() - 1);
        Find(parentPath)->subkeys.erase(path.back());
        for (Slot& other : slots_)
          if (other.handle != nullptr && other.path == path) other.deleted = true;
      }
    }
    FUZZ_CHECK(status == expected);
  }

  void EnumValue() {
    Slot& s = AnySlot();
    const DWORD index = Next() % 6;
    char name[64];
    std::uint8_t data[64];
    DWORD cch = sizeof name, cb = sizeof data, type = 0;
    const LONG status = RegEnumValueA(s.handle, index, name, &cch, nullptr, &type, data, &cb);
    if (const LONG expected = SlotStatus(s)) {
      FUZZ_CHECK(status == expected);
      return;
    }
    const ModelKey* key = Find(s.path);
    if (index >= key->values.size()) {
      FUZZ_CHECK(status == ERROR_NO_MORE_ITEMS);
      return;
    }
    const ModelValue& v = std::next(key->values.begin(), index)->second;
    FUZZ_CHECK(status == 0 && v.name == name && cch == v.name.size() && type == v.type && cb == v.data.size());
    FUZZ_CHECK(cb == 0 || std::memcmp(data, v.data.data(), cb) == 0);
  }

  void EnumKey() {
    Slot& s = AnySlot();
    const DWORD index = Next() % 6;
    char name[64];
    const LONG status = RegEnumKeyA(s.handle, index, name, sizeof name);
    if (const LONG expected = SlotStatus(s)) {
      FUZZ_CHECK(status == expected);
      return;
    }
    const ModelKey* key = Find(s.path);
    if (index >= key->subkeys.size()) {
      FUZZ_CHECK(status == ERROR_NO_MORE_ITEMS);
      return;
    }
    FUZZ_CHECK(status == 0 && std::next(key->subkeys.begin(), index)->second->name == name);
  }

  // Forgets the cache: what follows reads the files.
  static void Reload() {
    auto prefix = vidazoz::wineprefix::ProcessState::Instance().CurrentPrefix();
    for (const auto branch : vidazoz::wineprefix::kBranches) prefix->Store(branch).Invalidate();
  }

  void CheckTree(const ModelKey& key, const std::vector<std::string>& path) {
    Slot s;
    s.path = path;
    if (path.empty()) {
      s.handle = HKEY_CURRENT_USER;
    } else {
      FUZZ_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, Joined(path).c_str(), 0, KEY_READ, &s.handle) == 0);
    }
    DWORD subkeys = 0, values = 0;
    FUZZ_CHECK(RegQueryInfoKeyA(s.handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                nullptr, nullptr, nullptr) == 0);
    FUZZ_CHECK(subkeys == key.subkeys.size() && values == key.values.size());
    for (const auto& [lower, value] : key.values) CheckValue(s, &key, value.name);
    if (!path.empty()) RegCloseKey(s.handle);
    for (const auto& [lower, child] : key.subkeys) {
      std::vector<std::string> below = path;
      below.push_back(child->name);
      CheckTree(*child, below);
    }
  }

  const std::uint8_t* in_;
  const std::uint8_t* end_;
  ModelKey root_;
  std::array<Slot, 6> slots_;
};

// Each input's prefix: a new private folder, on a memory file system when there is one (saves
// are synced, and a disk would make each run slow). Removed after the input.
std::filesystem::path ScratchPrefix() {
  const bool shm = access("/dev/shm", W_OK) == 0;
  std::string pattern = (shm ? std::string("/dev/shm") : std::filesystem::temp_directory_path().string()) +
                        "/vidazoz-api-fuzz-XXXXXX";
  FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
  return pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path prefix = ScratchPrefix();
  setenv("WINEPREFIX", prefix.c_str(), 1);
  {
    Sequence sequence(data, size);
    sequence.Run();
  }
  vidazoz::testing::RemoveServerFoldersOf(prefix);  // the folders its writes made in /tmp
  std::filesystem::remove_all(prefix);
  return 0;
}

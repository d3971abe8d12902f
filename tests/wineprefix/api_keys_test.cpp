// Opening, creating and deleting keys, and connecting: the statuses Wine 8.0 gives.
#include <unistd.h>

#include <string>
#include <thread>

#include "reg_text.h"
#include "registry_fixture.h"

namespace vidazoz::testing {
namespace {

struct PathCase {
  const char* what;
  HKEY root;
  std::string path;
  LONG status;
};

class OpenKey : public RegistryTest {
 protected:
  void SetUp() override {
    RegCloseKey(Create(HKEY_CURRENT_USER, "Sub\\Deep"));
    RegCloseKey(Create(HKEY_CURRENT_USER, "caf\xE9"));
    RegCloseKey(Create(HKEY_CURRENT_USER, "stra\xDF" "e"));
    RegCloseKey(Create(HKEY_CLASSES_ROOT, "CLSID"));
    RegCloseKey(Create(HKEY_CURRENT_USER, std::string(255, 'a').c_str()));
    RegCloseKey(Create(HKEY_CURRENT_USER, std::string(256, 'b').c_str()));
  }
};

TEST_F(OpenKey, PathForms) {
  const PathCase cases[] = {
      {"leading backslash", HKEY_CURRENT_USER, "\\Sub", ERROR_BAD_PATHNAME},
      {"only a backslash", HKEY_CURRENT_USER, "\\", ERROR_BAD_PATHNAME},
      {"two backslashes", HKEY_CURRENT_USER, "\\\\", ERROR_BAD_PATHNAME},
      {"HKCR drops one leading backslash", HKEY_CLASSES_ROOT, "\\CLSID", 0},
      {"HKCR backslash is the root", HKEY_CLASSES_ROOT, "\\", 0},
      {"HKCR drops only one", HKEY_CLASSES_ROOT, "\\\\CLSID", ERROR_BAD_PATHNAME},
      {"trailing backslash", HKEY_CURRENT_USER, "Sub\\", 0},
      {"trailing run", HKEY_CURRENT_USER, "Sub\\\\\\", 0},
      {"inner run", HKEY_CURRENT_USER, "Sub\\\\Deep", 0},
      {"other case", HKEY_CURRENT_USER, "sUB\\dEEP", 0},
      {"accented other case", HKEY_CURRENT_USER, "CAF\xC9", 0},
      {"no full case folding", HKEY_CURRENT_USER, "STRASSE", ERROR_FILE_NOT_FOUND},
      {"missing key", HKEY_CURRENT_USER, "Sub\\Nope", ERROR_FILE_NOT_FOUND},
      {"missing parent", HKEY_CURRENT_USER, "Nope\\Deep", ERROR_FILE_NOT_FOUND},
      {"255-char name", HKEY_CURRENT_USER, std::string(255, 'A'), 0},
      {"256-char name", HKEY_CURRENT_USER, std::string(256, 'B'), 0},
      {"257-char name", HKEY_CURRENT_USER, std::string(257, 'c'), ERROR_INVALID_PARAMETER},
      {"260-char string", HKEY_CURRENT_USER, "Sub\\" + std::string(256, 'x'), ERROR_FILE_NOT_FOUND},
      {"261-char string", HKEY_CURRENT_USER, "Sub\\" + std::string(257, 'x'), ERROR_MORE_DATA},
      {"bogus handle", Bogus(0xdeadbeef), "Sub", ERROR_INVALID_HANDLE},
      {"unknown pseudo root", Bogus(0x80000010), "Sub", ERROR_INVALID_HANDLE},
      {"performance data", HKEY_PERFORMANCE_DATA, "Software", ERROR_INVALID_HANDLE},
  };
  for (const PathCase& c : cases) {
    HKEY key = Bogus(0x55);
    EXPECT_EQ(RegOpenKeyExA(c.root, c.path.c_str(), 0, KEY_READ, &key), c.status) << c.what;
    if (c.status == 0) {
      EXPECT_NE(key, nullptr) << c.what;
      RegCloseKey(key);
    } else {
      EXPECT_EQ(key, nullptr) << c.what << ": the result is cleared on failure";
    }
  }
}

TEST_F(OpenKey, EmptyNamesAndNullHandle) {
  HKEY key = Bogus(0x55);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), 0);
  EXPECT_EQ(key, HKEY_CURRENT_USER) << "a root opened with no name is the pseudo handle itself";
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &key), 0);
  EXPECT_EQ(key, HKEY_LOCAL_MACHINE);

  HKEY sub = Create(HKEY_CURRENT_USER, "Sub");
  EXPECT_EQ(RegOpenKeyExA(sub, "", 0, KEY_READ, &key), 0);
  EXPECT_NE(key, sub) << "a real key opened with no name gives a new handle";
  EXPECT_EQ(RegCloseKey(key), 0);
  EXPECT_EQ(RegCloseKey(sub), 0);
  EXPECT_EQ(RegCloseKey(sub), ERROR_INVALID_HANDLE) << "closed twice";

  key = Bogus(0x55);
  EXPECT_EQ(RegOpenKeyExA(nullptr, "Sub", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(key, Bogus(0x55)) << "hkey 0 leaves the result untouched";
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Sub", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, CreateKeyStatuses) {
  char cls[] = "cls";
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\\B\\C", 0, cls, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition), 0);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  HKEY a = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &a), 0);
  DWORD maxClass = 0;
  EXPECT_EQ(RegQueryInfoKeyA(a, nullptr, nullptr, nullptr, nullptr, nullptr, &maxClass, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            0);
  EXPECT_EQ(maxClass, 3u) << "intermediate keys get the class too";
  RegCloseKey(a);

  const struct {
    const char* what;
    HKEY root;
    std::string path;
    LONG status;
    DWORD disposition;
  } cases[] = {
      {"again", HKEY_CURRENT_USER, "A\\B\\C", 0, REG_OPENED_EXISTING_KEY},
      {"other case", HKEY_CURRENT_USER, "a\\b\\c", 0, REG_OPENED_EXISTING_KEY},
      {"root itself", HKEY_CURRENT_USER, "", 0, REG_CREATED_NEW_KEY},
      {"leading backslash", HKEY_CURRENT_USER, "\\Lead", ERROR_BAD_PATHNAME, 0},
      {"HKCR leading backslash", HKEY_CLASSES_ROOT, "\\x", ERROR_BAD_PATHNAME, 0},
      {"trailing backslashes", HKEY_CURRENT_USER, "Trail\\\\", 0, REG_CREATED_NEW_KEY},
      {"double separator", HKEY_CURRENT_USER, "D1\\\\D2", 0, REG_CREATED_NEW_KEY},
      {"257-char name", HKEY_CURRENT_USER, std::string(257, 'n'), ERROR_INVALID_PARAMETER, 0},
      {"261-char string", HKEY_CURRENT_USER, std::string(261, 'n'), ERROR_MORE_DATA, 0},
      {"hkey 0", nullptr, "X", ERROR_INVALID_HANDLE, 0},
      {"unknown pseudo root", Bogus(0x80000010), "X", ERROR_INVALID_HANDLE, 0},
  };
  for (const auto& c : cases) {
    key = nullptr;
    disposition = 0;
    EXPECT_EQ(RegCreateKeyExA(c.root, c.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              c.status)
        << c.what;
    EXPECT_EQ(disposition, c.disposition) << c.what;
    if (c.status == 0) {
      EXPECT_NE(key, nullptr);
      EXPECT_NE(key, c.root) << c.what << ": always a real handle";
      RegCloseKey(key);
    }
  }
  HKEY d2 = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "D1\\D2", 0, KEY_READ, &d2), 0);
  RegCloseKey(d2);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "R", 1, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "R", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, CreateKeyVolatileAndTimes) {
  HKEY vol = Create(HKEY_CURRENT_USER, "Vol", nullptr, REG_OPTION_VOLATILE);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExA(vol, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_CHILD_MUST_BE_VOLATILE);
  RegCloseKey(vol);

  auto timeOf = [](HKEY k) {
    FILETIME ft{};
    EXPECT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, &ft),
              0);
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  };
  HKEY parent = Create(HKEY_CURRENT_USER, "Times");
  const std::uint64_t created = timeOf(parent);
  EXPECT_GT(created, 0x01D0000000000000u) << "a new key is stamped now";
  usleep(20000);
  RegCloseKey(Create(parent, "Kid"));
  const std::uint64_t afterChild = timeOf(parent);
  EXPECT_GT(afterChild, created) << "gaining a sub-key stamps the parent";
  usleep(20000);
  RegCloseKey(Create(parent, "Kid"));
  EXPECT_EQ(timeOf(parent), afterChild) << "opening an existing sub-key does not";
  usleep(20000);
  SetString(parent, "v", "x");
  const std::uint64_t afterSet = timeOf(parent);
  EXPECT_GT(afterSet, afterChild);
  usleep(20000);
  SetString(parent, "v", "x");
  EXPECT_EQ(timeOf(parent), afterSet) << "an unchanged value leaves the time alone";
  usleep(20000);
  EXPECT_EQ(RegDeleteKeyA(parent, "Kid"), 0);
  EXPECT_GT(timeOf(parent), afterSet) << "losing a sub-key stamps the parent";
  RegCloseKey(parent);
}

TEST_F(RegistryTest, DeleteKeyStatuses) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "P\\Q"));
  RegCloseKey(Create(HKEY_CURRENT_USER, "a\\b\\c"));
  RegCloseKey(Create(HKEY_CURRENT_USER, "Trail"));
  const PathCase cases[] = {
      {"has a sub-key", HKEY_CURRENT_USER, "P", ERROR_ACCESS_DENIED},
      {"missing", HKEY_CURRENT_USER, "P\\Nope", ERROR_FILE_NOT_FOUND},
      {"missing parent", HKEY_CURRENT_USER, "Nope\\Q", ERROR_FILE_NOT_FOUND},
      {"leaf in other case", HKEY_CURRENT_USER, "A\\B\\C", 0},
      {"trailing backslash", HKEY_CURRENT_USER, "Trail\\", 0},
      {"HKCU itself", HKEY_CURRENT_USER, "", ERROR_ACCESS_DENIED},
      {"HKLM itself", HKEY_LOCAL_MACHINE, "", ERROR_ACCESS_DENIED},
      {"hkey 0", nullptr, "P", ERROR_INVALID_HANDLE},
      {"unknown pseudo root", Bogus(0x80000010), "P", ERROR_INVALID_HANDLE},
  };
  for (const PathCase& c : cases) EXPECT_EQ(RegDeleteKeyA(c.root, c.path.c_str()), c.status) << c.what;
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);

  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "P\\Q", 0, KEY_READ, &k), 0) << "a refused delete keeps the keys";
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "a\\b", 0, KEY_READ, &k), 0) << "only the leaf goes";
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "a\\b\\c", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, DeletingAKeyThroughItsHandle) {
  HKEY self = Create(HKEY_CURRENT_USER, "Gone");
  HKEY other = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Gone", 0, KEY_ALL_ACCESS, &other), 0);
  EXPECT_EQ(RegDeleteKeyA(self, ""), 0) << "open handles do not block deletion";
  RegCloseKey(Create(HKEY_CURRENT_USER, "Gone"));  // a new key of the same name is another key
  DWORD cb = 0;
  EXPECT_EQ(RegQueryValueExA(self, nullptr, nullptr, nullptr, nullptr, &cb), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(other, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), ERROR_KEY_DELETED);
  HKEY again = nullptr;
  EXPECT_EQ(RegOpenKeyExA(self, "", 0, KEY_READ, &again), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(self), 0) << "a deleted key's handle still closes";
  EXPECT_EQ(RegCloseKey(other), 0);
}

TEST_F(RegistryTest, RootsAreKnownByTheirLow32Bits) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "Sub"));
  for (const ULONG_PTR form : {ULONG_PTR{0x80000001}, ~ULONG_PTR{0xFFFFFFFF} | 0x80000001,
                               ULONG_PTR{0x80000001} | (ULONG_PTR{1} << (sizeof(ULONG_PTR) * 8 - 4))}) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(Bogus(form), "Sub", 0, KEY_READ, &key), 0) << std::hex << form;
    RegCloseKey(key);
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyA(Bogus(form), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              0)
        << std::hex << form;
    EXPECT_EQ(RegCloseKey(Bogus(form)), 0) << std::hex << form;
  }
  HKEY key = Bogus(0x55);
  EXPECT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "Sub", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
      << "dynamic data is an empty key";
  EXPECT_EQ(key, nullptr);
  // What RegConnectRegistryA hands back for a root it does not know still closes.
  ASSERT_EQ(RegConnectRegistryA(nullptr, Bogus(0x80000010), &key), 0);
  EXPECT_EQ(RegCloseKey(key), 0);
}

#ifndef _WIN32  // our layer's files: Wine keeps its registry in the server
TEST_F(RegistryTest, ChangesThroughAHandleWhosePathBecameALinkLandInTheLinkedFile) {
  const std::filesystem::path dir = PrefixDir();
  const std::string key = "] 1700000000\n\"v\"=dword:00000001\n", kid = "\\\\K\\\\Kid] 1\n";
  WriteText(dir / "system.reg", MachineHeader() + "\n[Software\\\\Src\\\\K" + key + "\n[Software\\\\Src" + kid);
  WriteText(dir / "user.reg", "WINE REGISTRY Version 2\n#arch=win64\n\n[Dest\\\\K" + key + "\n[Dest" + kid);
  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Src\\K", 0, KEY_ALL_ACCESS, &h), 0);
  ASSERT_EQ(RegQueryValueExA(h, "v", nullptr, nullptr, nullptr, nullptr), 0);  // the tree is loaded
  // Another program turns Software\Src into a link into the user file.
  const std::string link = LinkBlock("Software\\\\Src", "\\Registry\\User\\S-1-5-21-0-0-0-1000\\Dest");
  WriteText(dir / "system.reg", MachineHeader() + link);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  // Each change is in the file where the key lives once the call returns.
  auto user = [&] { return ReadText(dir / "user.reg"); };
  const DWORD two = 2;
  EXPECT_EQ(RegSetValueExA(h, "w", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), 4), 0);
  EXPECT_NE(user().find("\"w\"=dword:00000002"), std::string::npos) << user();
  EXPECT_EQ(RegDeleteValueA(h, "v"), 0);
  EXPECT_EQ(user().find("\"v\""), std::string::npos) << user();
  EXPECT_EQ(RegDeleteKeyA(h, "Kid"), 0);
  EXPECT_EQ(user().find("Kid"), std::string::npos) << user();
  EXPECT_EQ(ReadText(dir / "system.reg").find("\"w\""), std::string::npos);
  RegCloseKey(h);
}
#endif

TEST_F(RegistryTest, ConnectRegistry) {
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  std::string computer(host);
  computer = computer.substr(0, computer.find('.'));
  std::string upper = computer;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  const struct {
    const char* what;
    std::string machine;
    LONG status;
  } cases[] = {
      {"empty", "", 0},
      {"host name", computer, 0},
      {"host name, upper case", upper, 0},
      {"with backslashes", "\\\\" + upper, 0},
      {"localhost", "\\\\LocalHost", 0},
      {"another machine", "\\\\no-such-machine-here", ERROR_BAD_NETPATH},
      {"another machine, bare", "no-such-machine-here", ERROR_BAD_NETPATH},
  };
  for (const auto& c : cases) {
    HKEY key = Bogus(0x55);
    EXPECT_EQ(RegConnectRegistryA(c.machine.c_str(), HKEY_LOCAL_MACHINE, &key), c.status) << c.what;
    if (c.status == 0) {
      EXPECT_EQ(key, HKEY_LOCAL_MACHINE) << c.what;
    }
  }
  HKEY key = Bogus(0x55);
  EXPECT_EQ(RegConnectRegistryA(nullptr, HKEY_CURRENT_USER, &key), 0);
  EXPECT_EQ(key, HKEY_CURRENT_USER);
  EXPECT_EQ(RegConnectRegistryA(nullptr, nullptr, &key), 0) << "the handle is not checked";
  EXPECT_EQ(key, nullptr);
}

}  // namespace
}  // namespace vidazoz::testing

// import on a disk that fails part-way: each change is saved on its own, so the report must name
// exactly the lines that took effect, and the registry must hold those and nothing after them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "../wineprefix/disk_seams.h"
#include "../wineprefix/registry_fixture.h"
#include "reg_tool.h"

namespace vidazoz::testing {
namespace {

struct RegRun {
  int status;
  std::string out, err;
};

RegRun Reg(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = reg::RunReg(args, {out, err});
  return {status, out.str(), err.str()};
}

TEST_F(RegistryTest, ImportOnAFailingDiskSaysWhichLinesTookEffect) {
  HKEY setup = Create(HKEY_CURRENT_USER, "Software\\Setup");  // the prefix exists before the disk fails
  RegCloseKey(setup);
  const std::string file = (dir_.Path() / "in.reg").string();
  std::ofstream(file, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                           "[HKEY_CURRENT_USER\\Software\\VzF]\r\n"  // line 3
                                           "\"a\"=\"1\"\r\n"
                                           "\"b\"=hex:01,\\\r\n  02\r\n"  // lines 5 and 6
                                           "[HKEY_CURRENT_USER\\Software\\VzF\\Sub]\r\n"  // line 7
                                           "@=\"c\"\r\n";
  const std::string K = "HKEY_CURRENT_USER\\Software\\VzF";
  const std::string refused = ") failed: the registry refused the change (error 1016); ";
  const struct {
    int failingSave;      // the save that fails, counted from 0
    std::string message;  // stderr after "reg: '<file>' is "
    std::string shown;    // what a query of the key with /s then shows ("" for no key)
  } cases[] = {
      {0, "not imported: line 3 (the key [" + K + "]" + refused + "nothing was changed\n", ""},
      {2, "imported only in part: line 5 (the value \"b\" of [" + K + "]" + refused +
              "lines 3 to 4 took effect, line 5 and the rest did not\n",
       "\n" + K + "\n    a    REG_SZ    1\n\n"},
      {4, "imported only in part: line 8 (the default value of [" + K + "\\Sub]" + refused +
              "lines 3 to 7 took effect, line 8 and the rest did not\n",
       "\n" + K + "\n    a    REG_SZ    1\n    b    REG_BINARY    0102\n\n" + K + "\\Sub\n\n"},
  };
  for (const auto& c : cases) {
    RegRun imported;
    {
      HookedDisk disk;
      int saves = 0;
      disk.before = [&](HookedDisk::Op op, const char*, int) {
        return op == HookedDisk::Op::Rename && saves++ == c.failingSave ? ENOSPC : 0;
      };
      const InstalledDisk installed(disk);
      imported = Reg({"import", file});
    }
    EXPECT_EQ(imported.status, 1) << c.failingSave;
    EXPECT_EQ(imported.out, "");
    EXPECT_EQ(imported.err, "reg: '" + file + "' is " + c.message) << c.failingSave;
    const RegRun query = Reg({"query", K, "/s"});
    EXPECT_EQ(query.out, c.shown) << c.failingSave;
    if (!c.shown.empty()) {
      ASSERT_EQ(Reg({"delete", K, "/f"}).status, 0);
    }
  }
  // On a sound disk the same file is imported whole.
  EXPECT_EQ(Reg({"import", file}).status, 0);
  EXPECT_NE(Reg({"query", K + "\\Sub", "/ve"}).out.find("REG_SZ    c"), std::string::npos);
}

}  // namespace
}  // namespace vidazoz::testing

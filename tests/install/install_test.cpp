// cRegistry as an installed library: `cmake --install` into a fresh prefix, then a program from
// outside this tree built against it by CMake and by pkg-config, run on a booted Wine prefix.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <utility>

#include "temp_dir.h"
#include "wine_prefix.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), {}};
}

TEST(InstalledLibrary, AProgramFromOutsideBuildsWithCMakeAndWithPkgConfigAndUsesAWinePrefix) {
  const TempDir dir("vidazoz-install");
  const fs::path installed = dir.Path() / "installed", source = dir.Path() / "consumer";
  CommandResult r = RunCommand({"cmake", "--install", VIDAZOZ_BUILD_DIR, "--prefix", installed.string()});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  ASSERT_TRUE(fs::exists(installed / "include/vidazoz/cRegistry.h"));
  fs::copy(VIDAZOZ_CONSUMER_DIR, source);

  // CMake: find_package(Vidazoz CONFIG REQUIRED) and the target Vidazoz::registry.
  const fs::path byCMake = dir.Path() / "by-cmake";
  r = RunCommand({"cmake", "-S", source.string(), "-B", byCMake.string(), "-G", "Ninja",
                  "-DCMAKE_PREFIX_PATH=" + installed.string()});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = RunCommand({"cmake", "--build", byCMake.string()});
  ASSERT_EQ(r.exitCode, 0) << r.output;

  // pkg-config: the flags it gives are all a compiler needs.
  r = RunCommand({"pkg-config", "--cflags", "--libs", "vidazoz-registry"},
                 {{"PKG_CONFIG_PATH", (installed / "lib/pkgconfig").string()}});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string flags = r.output;
  const fs::path byPkgConfig = dir.Path() / "by-pkg-config", ownNamesByPkgConfig = dir.Path() / "own-names";
  for (const auto& [file, program] : {std::pair{"main.cpp", byPkgConfig}, {"own_win32_names.cpp", ownNamesByPkgConfig}}) {
    std::vector<std::string> compile{"c++", "-std=c++20", (source / file).string(), "-o", program.string()};
    for (const auto& flag : Words(flags)) compile.push_back(flag);
    r = RunCommand(compile);
    ASSERT_EQ(r.exitCode, 0) << file << r.output;
  }

  for (const fs::path& program : {byCMake / "consumer", byPkgConfig}) {
    const auto prefix = WinePrefix::Booted();
    r = RunCommand({program.string()}, prefix->Environment());
    EXPECT_EQ(r.exitCode, 0) << program << r.output;
    EXPECT_TRUE(std::regex_match(r.output, std::regex("hello\n[0-9]+\\.[0-9]+\n"))) << program << r.output;
    std::ifstream user(prefix->File("user.reg"));
    const std::string saved{std::istreambuf_iterator<char>(user), {}};
    EXPECT_NE(saved.find("[Software\\\\Consumer]"), std::string::npos) << program;
    EXPECT_NE(saved.find("\"Greeting\"=\"hello\""), std::string::npos) << program;
  }

  // Its own DWORD, LONG, ERROR_SUCCESS and HKEY_CURRENT_USER beside <vidazoz/cRegistry.h> and
  // <vidazoz/wow64_process.h>: it compiled above, and it works.
  for (const fs::path& program : {byCMake / "own_win32_names", ownNamesByPkgConfig}) {
    const auto prefix = WinePrefix::Booted();
    r = RunCommand({program.string()}, prefix->Environment());
    EXPECT_EQ(r.exitCode, 0) << program << r.output;
    EXPECT_EQ(r.output, "7 0 1 1\n") << program;
  }
}

}  // namespace
}  // namespace vidazoz::testing

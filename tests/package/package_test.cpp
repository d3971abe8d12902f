// The packages vidazoz and libvidazoz-registry-dev: built from this build by cpack, their
// control data and contents read back with dpkg-deb, judged by lintian, then unpacked into a
// folder and used: the program runs from there and a program from outside builds against it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "framework_check.h"
#include "temp_dir.h"
#include "wine_prefix.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), {}};
}

// The paths of the regular files a package holds, from `dpkg-deb -c`.
std::vector<std::string> Files(const fs::path& deb) {
  const CommandResult r = RunCommand({"dpkg-deb", "-c", deb.string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> files;
  for (const auto& line : Lines(r.output)) {
    const auto words = Words(line);
    if (words.size() >= 6 && words[0].starts_with('-')) files.push_back(words[5]);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Field(const fs::path& deb, const std::string& name) {
  const CommandResult r = RunCommand({"dpkg-deb", "-f", deb.string(), name});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.output;
}

// The packages of this build, made once by cpack into a temporary folder.
class Packages {
 public:
  Packages() {
    const CommandResult r = RunCommand({"cpack", "--config", std::string(VIDAZOZ_BUILD_DIR) + "/CPackConfig.cmake",
                                        "-B", (dir_.Path() / "out").string()});
    built_ = r.exitCode == 0;
    EXPECT_TRUE(built_) << r.output;
  }
  bool Built() const { return built_; }
  fs::path Deb(const std::string& package) const {
    return dir_.Path() / "out" / (package + "_" VIDAZOZ_VERSION "_amd64.deb");
  }
  fs::path Folder() const { return dir_.Path(); }
  // Both unpacked into one root, as dpkg would install them; returns its usr folder.
  fs::path Unpack() const {
    for (const char* package : {"vidazoz", "libvidazoz-registry-dev"}) {
      const CommandResult r = RunCommand({"dpkg-deb", "-x", Deb(package).string(), (dir_.Path() / "root").string()});
      EXPECT_EQ(r.exitCode, 0) << r.output;
    }
    return dir_.Path() / "root/usr";
  }

 private:
  TempDir dir_{"vidazoz-package"};
  bool built_ = false;
};

// cpack takes a while: one case builds the packages and goes through everything.
TEST(Packages, BuiltFromThisBuildCheckedByDpkgAndLintianThenUnpackedAndUsed) {
  const Packages packages;
  ASSERT_TRUE(packages.Built());
  const auto Deb = [&](const std::string& package) { return packages.Deb(package); };
  const std::vector<std::string> program = Files(Deb("vidazoz")), dev = Files(Deb("libvidazoz-registry-dev"));
  std::vector<std::string> wanted{
      "./usr/bin/vidazoz",
      "./usr/share/applications/vidazoz.desktop",
      "./usr/share/bash-completion/completions/vidazoz",
      "./usr/share/doc/vidazoz/changelog.gz",
      "./usr/share/doc/vidazoz/copyright",
      "./usr/share/icons/hicolor/16x16/apps/vidazoz.png",
      "./usr/share/icons/hicolor/32x32/apps/vidazoz.png",
      "./usr/share/icons/hicolor/48x48/apps/vidazoz.png",
      "./usr/share/icons/hicolor/64x64/apps/vidazoz.png",
      "./usr/share/man/man1/vidazoz.1.gz",
      "./usr/share/metainfo/com.dodivezozu.Vidazoz.metainfo.xml",
      "./usr/libexec/vidazoz/vidazoz-window",
  };
  // What the program runs under Wine, once there is such a thing, lies in its own folder too.
  for (const auto& file : program)
    if (file.starts_with("./usr/libexec/vidazoz/") && !file.ends_with("/vidazoz-window")) wanted.push_back(file);
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(program, wanted);

  for (const char* file : {"./usr/include/vidazoz/cRegistry.h", "./usr/include/vidazoz/wow64_process.h",
                           "./usr/include/vidazoz/advapi32.h", "./usr/lib/libvidazoz_registry.a",
                           "./usr/lib/cmake/Vidazoz/VidazozConfig.cmake", "./usr/lib/pkgconfig/vidazoz-registry.pc",
                           "./usr/share/doc/libvidazoz-registry-dev/copyright"})
    EXPECT_TRUE(std::binary_search(dev.begin(), dev.end(), file)) << file;
  for (const auto& file : dev) EXPECT_FALSE(file.starts_with("./usr/bin/")) << "no program in the dev package";

  EXPECT_EQ(Field(Deb("vidazoz"), "Package"), "vidazoz\n");
  EXPECT_EQ(Field(Deb("vidazoz"), "Version"), VIDAZOZ_VERSION "\n");
  EXPECT_EQ(Field(Deb("vidazoz"), "Architecture"), "amd64\n");
  EXPECT_EQ(Field(Deb("vidazoz"), "Section"), "utils\n");
  const std::string depends = Field(Deb("vidazoz"), "Depends");
  for (const char* needed : {"libfltk1.3 (", "libx11-6", "libc6 (", "libstdc++6 (", "fonts-liberation"})
    EXPECT_NE(depends.find(needed), std::string::npos) << needed << " missing from " << depends;
  EXPECT_EQ(Field(Deb("libvidazoz-registry-dev"), "Section"), "libdevel\n");
  EXPECT_NE(Field(Deb("libvidazoz-registry-dev"), "Depends").find("libstdc++"), std::string::npos);

  const CommandResult lintian =
      RunCommand({"lintian", "--fail-on", "error", Deb("vidazoz").string(), Deb("libvidazoz-registry-dev").string()});
  EXPECT_EQ(lintian.exitCode, 0) << lintian.output;
  EXPECT_EQ(lintian.output.find("\nE: "), std::string::npos) << lintian.output;
  std::cout << "lintian:\n" << lintian.output;

  const fs::path usr = packages.Unpack();

  // Stripped, and the check runs from where the package put it.
  const fs::path exe = usr / "bin/vidazoz";
  CommandResult r = RunCommand({"file", "-b", exe.string()});
  EXPECT_NE(r.output.find(", stripped"), std::string::npos) << r.output;
  r = RunCommand({exe.string(), "--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "Vidazoz " VIDAZOZ_VERSION "\n");
  const auto empty = WinePrefix::Empty();
  std::ofstream(empty->Path() / "system.reg") << "WINE REGISTRY Version 2\n";  // a registry with no keys
  r = RunCommand({exe.string(), "--check", "--prefix", empty->Path().string()}, {{"DISPLAY", ""}});
  EXPECT_EQ(r.exitCode, 2) << r.output;
  EXPECT_EQ(r.output, std::string(kVerdictNone.caption) + "\n");
  // The command line loads no window library, nor the shared C++ runtime (each costs every
  // scripted call its start); the window program it runs is found where the package put it (it
  // then fails for want of a display), and its absence is said so.
  r = RunCommand({"readelf", "-d", exe.string()});
  EXPECT_NE(r.output.find("libc.so"), std::string::npos) << r.output;
  for (const char* library : {"libstdc++", "libfltk", "libX11", "libfontconfig", "libfreetype", "libXft"})
    EXPECT_EQ(r.output.find(library), std::string::npos) << library;
  r = RunCommand({exe.string()}, {{"DISPLAY", ":999"}, {"WINEPREFIX", empty->Path().string()}});
  EXPECT_NE(r.output.find("display"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("vidazoz-window"), std::string::npos) << r.output;
  const fs::path alone = packages.Folder() / "alone";
  fs::create_directories(alone);
  fs::copy_file(exe, alone / "vidazoz");
  r = RunCommand({(alone / "vidazoz").string()}, {{"DISPLAY", ":999"}});
  EXPECT_EQ(r.exitCode, 69) << r.output;
  EXPECT_NE(r.output.find("cannot show the window: its program vidazoz-window is neither in"), std::string::npos)
      << r.output;

  // The licence's copyright line, in the copyright file of both packages.
  const std::smatch line = [] {
    static const std::string licence = Read(fs::path(VIDAZOZ_SOURCE_DIR) / "LICENSE");
    std::smatch m;
    std::regex_search(licence, m, std::regex("Copyright \\(c\\) ([0-9]+ [^\n]+)"));
    return m;
  }();
  ASSERT_FALSE(line.empty());
  for (const char* package : {"vidazoz", "libvidazoz-registry-dev"}) {
    const std::string copyright = Read(usr / "share/doc" / package / "copyright");
    EXPECT_NE(copyright.find("Copyright: " + line[1].str() + "\n"), std::string::npos) << package;
    EXPECT_NE(copyright.find("License: Expat"), std::string::npos) << package;
  }
  r = RunCommand({"gzip", "-t", (usr / "share/man/man1/vidazoz.1.gz").string()});
  EXPECT_EQ(r.exitCode, 0) << "the manual page is compressed: " << r.output;

  r = RunCommand({"desktop-file-validate", (usr / "share/applications/vidazoz.desktop").string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "");
  r = RunCommand({"appstreamcli", "validate", "--no-net",
                  (usr / "share/metainfo/com.dodivezozu.Vidazoz.metainfo.xml").string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;

  // The README's example and a program with Win32 names of its own, by CMake and by pkg-config.
  const fs::path source = packages.Folder() / "consumer";
  fs::copy(fs::path(VIDAZOZ_SOURCE_DIR) / "tests/install/consumer", source);
  const fs::path byCMake = packages.Folder() / "by-cmake";
  r = RunCommand({"cmake", "-S", source.string(), "-B", byCMake.string(), "-G", "Ninja",
                  "-DCMAKE_PREFIX_PATH=" + usr.string()});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = RunCommand({"cmake", "--build", byCMake.string()});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = RunCommand({"pkg-config", "--cflags", "--libs", "vidazoz-registry"},
                 {{"PKG_CONFIG_PATH", (usr / "lib/pkgconfig").string()}, {"PKG_CONFIG_LIBDIR", ""}});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("-I" + (usr / "lib/pkgconfig/../../include").string()), std::string::npos)
      << "the flags name the unpacked headers: " << r.output;
  const fs::path byPkgConfig = packages.Folder() / "by-pkg-config";
  std::vector<std::string> compile{"c++", "-std=c++20", (source / "main.cpp").string(), "-o", byPkgConfig.string()};
  for (const auto& flag : Words(r.output)) compile.push_back(flag);
  r = RunCommand(compile);
  ASSERT_EQ(r.exitCode, 0) << r.output;

  const auto prefix = WinePrefix::Booted();
  for (const fs::path& program : {byCMake / "consumer", byPkgConfig}) {
    r = RunCommand({program.string()}, prefix->Environment());
    EXPECT_EQ(r.exitCode, 0) << program << r.output;
    EXPECT_TRUE(r.output.starts_with("hello\n")) << program << r.output;
  }
  r = RunCommand({(byCMake / "own_win32_names").string()}, prefix->Environment());
  EXPECT_EQ(r.output, "7 0 1 1\n");
}

}  // namespace
}  // namespace vidazoz::testing

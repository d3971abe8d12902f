// The program's command line, run as a person runs it: no display, a Wine prefix from the
// environment or from --prefix, the verdict on stdout, refusals on stderr.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "framework_check.h"
#include "temp_dir.h"
#include "wine_prefix.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;

// A booted prefix holding the policy keys of `versions`, in the 64-bit view and the 32-bit one.
std::unique_ptr<WinePrefix> PrefixWith(const std::vector<std::string>& versions) {
  auto prefix = WinePrefix::Booted();
  const fs::path reg = prefix->Path() / "policy.reg";
  std::ofstream out(reg);
  out << "REGEDIT4\n";
  for (const auto& v : versions)
    for (const char* view : {"", "\\Wow6432Node"})
      out << "\n[HKEY_LOCAL_MACHINE\\Software" << view << "\\Microsoft\\.NETFramework\\policy\\v" << v << "]\n";
  out.close();
  const auto r = prefix->Wine({"wine", "regedit", "/S", reg.string()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return prefix;
}

struct Outcome {
  int status;
  std::string out, err;
};

// The program with `args`, without a display, WINEPREFIX set to `prefix`; stdout and stderr apart.
Outcome Vidazoz(const std::vector<std::string>& args, const fs::path& prefix) {
  const TempDir dir("vidazoz-cli");
  const fs::path err = dir.Path() / "stderr";
  std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>" + err.string(), VIDAZOZ_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  const CommandResult r =
      RunCommand(argv, {{"DISPLAY", ""}, {"WINEPREFIX", prefix.string()}, {"HOME", dir.Path().string()}});
  std::ifstream in(err);
  return {r.exitCode, r.output, std::string(std::istreambuf_iterator<char>(in), {})};
}

TEST(CommandLine, ChecksWithoutADisplayHelpsAndRefusesWhatItDoesNotKnow) {
  const auto has20 = PrefixWith({"2.0", "1.1"});
  const auto only11 = PrefixWith({"1.1"});
  const auto empty = WinePrefix::Empty();
  const std::string p20 = has20->Path().string(), p11 = only11->Path().string(), none = empty->Path().string();
  const auto line = [](std::string_view s) { return std::string(s) + "\n"; };
  const std::string usage = "Usage: vidazoz [--check] [--prefix DIR]\n";

  struct Case {
    std::vector<std::string> args;
    std::string envPrefix;
    int status;
    std::string out;  // exactly, or (when it ends in "...") the start of it
    std::string err;  // a part of it
  } cases[] = {
      {{"--check"}, p20, 0, line(kVerdictInstalled.caption), ""},
      {{"--check"}, p11, 1, line(kVerdictOld.caption), ""},
      {{"--check"}, none, 2, line(kVerdictNone.caption), ""},
      // --prefix wins over WINEPREFIX, in both spellings and before or after --check.
      {{"--prefix", p20, "--check"}, none, 0, line(kVerdictInstalled.caption), ""},
      {{"--check", "--prefix=" + p11}, p20, 1, line(kVerdictOld.caption), ""},
      {{"--version"}, none, 0, "Vidazoz 1.2.0\n", ""},
      {{"--help"}, none, 0, usage + "...", ""},
      {{"--chekc"}, p20, 64, "", "vidazoz: unknown option '--chekc'\n" + usage},
      {{"-c"}, p20, 64, "", "unknown option '-c'"},
      {{"--check", "C:\\"}, p20, 64, "", "unexpected argument 'C:\\'"},
      {{"--check", "--prefix"}, p20, 64, "", "vidazoz: option '--prefix' requires a folder\n" + usage},
      {{"--prefix="}, p20, 64, "", "option '--prefix' requires a folder"},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const auto& a : c.args) name += a + " ";
    const Outcome r = Vidazoz(c.args, c.envPrefix);
    EXPECT_EQ(r.status, c.status) << name << r.err;
    if (c.out.ends_with("...")) {
      EXPECT_TRUE(r.out.starts_with(c.out.substr(0, c.out.size() - 3))) << name << r.out;
    } else {
      EXPECT_EQ(r.out, c.out) << name;
    }
    EXPECT_NE(r.err.find(c.err), std::string::npos) << name << r.err;
    if (c.err.empty()) {
      EXPECT_EQ(r.err, "") << name;
    }
  }

  // The help says what is checked, where, and names every option.
  const std::string help = Vidazoz({"--help"}, none).out;
  for (const char* word : {"--check", "--prefix DIR", "--help", "--version", "policy\\v2.0", "WINEPREFIX", "~/.wine"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace vidazoz::testing

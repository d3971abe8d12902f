// The program's command line, run as a person runs it: no display, a Wine prefix from the
// environment or from --prefix, the verdict on stdout, refusals on stderr.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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
  const auto without = PrefixWith({});
  const auto empty = WinePrefix::Empty();
  const std::string p20 = has20->Path().string(), p11 = only11->Path().string(), none = without->Path().string();
  const std::string noRegistry = empty->Path().string();

  // Prefixes that cannot be read: each is exit 3 with one line saying what and where.
  const TempDir bad("vidazoz-cli-bad");
  const fs::path missing = bad.Path() / "missing", file = bad.Path() / "file", fifo = bad.Path() / "fifo",
                 garbage = bad.Path() / "garbage", locked = bad.Path() / "locked";
  std::ofstream(file) << "not a folder";
  for (const fs::path& dir : {fifo, garbage, locked}) fs::create_directory(dir);
  ASSERT_EQ(::mkfifo((fifo / "system.reg").c_str(), 0600), 0);
  std::ofstream(garbage / "system.reg") << "\x7f" "ELF garbage";
  std::ofstream(locked / "system.reg") << "WINE REGISTRY Version 2\n";
  fs::permissions(locked / "system.reg", fs::perms::none);
  const bool rootReadsAnyway = ::geteuid() == 0;
  const std::string relativeP20 = fs::relative(has20->Path(), fs::current_path()).string();
  const auto line = [](std::string_view s) { return std::string(s) + "\n"; };
  const std::string usage = "Usage: vidazoz [--check] [--prefix DIR] [--verbose]\n";

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
      {{"--check"}, missing.string(), 3, "", "vidazoz: cannot check: the Wine prefix '" + missing.string() +
                                                 "' does not exist\n"},
      {{"--check"}, file.string(), 3, "", "the Wine prefix '" + file.string() + "' is not a folder\n"},
      {{"--check"}, noRegistry, 3, "", "'" + noRegistry + "' holds no registry (no system.reg)\n"},
      {{"--check"}, fifo.string(), 3, "", "'" + (fifo / "system.reg").string() + "' is not a regular file\n"},
      {{"--check"}, garbage.string(), 3, "", "'" + (garbage / "system.reg").string() + "' is not a Wine registry"},
      {{"--check"}, locked.string(), rootReadsAnyway ? 2 : 3, rootReadsAnyway ? line(kVerdictNone.caption) : "",
       rootReadsAnyway ? "" : "cannot read '" + (locked / "system.reg").string() + "': Permission denied\n"},
      {{"--check"}, "pfx", 3, "", "WINEPREFIX='pfx' is relative; Wine takes only an absolute path\n"},
      {{"--check"}, "~/pfx", 3, "", "WINEPREFIX='~/pfx' starts with '~'"},
      {{"--check", "--prefix=~/pfx"}, p20, 3, "", "the prefix '~/pfx' starts with '~', which no shell expanded"},
      // No WINEPREFIX, no ~/.wine: the default prefix was never made.
      {{"--check"}, "", 3, "", "/vidazoz/prefix' does not exist\n"},
      // A relative --prefix is the folder below this one, as a relative WINEPREFIX is not.
      {{"--check", "--prefix", relativeP20}, none, 0, line(kVerdictInstalled.caption), ""},
      {{"-V"}, none, 0, "Vidazoz 1.2.0\n", ""},
      {{"-h"}, none, 0, usage + "...", ""},
      {{"--check", "--verbose"}, p11, 1, line(kVerdictOld.caption),
       "vidazoz: probe HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0: absent\n"
       "vidazoz: probe HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v1.1: present\n"
       "vidazoz: decided by HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v1.1 (version 1.1)\n"},
      {{"--verbose", "--check"}, p20, 0, line(kVerdictInstalled.caption), "vidazoz: prefix " + p20 + " (from WINEPREFIX)\n"},
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
  for (const char* word :
       {"--check", "--prefix DIR", "-h, --help", "-V, --version", "--verbose", "policy\\v2.0", "WINEPREFIX", "~/.wine"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace vidazoz::testing

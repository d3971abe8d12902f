#include "command_line.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "registry_freshness.h"
#include "text_verdict.h"

namespace vidazoz::cli {
namespace {

constexpr std::string_view kUsage = "Usage: vidazoz [--check] [--prefix DIR]\n       vidazoz --help | --version\n";

constexpr std::string_view kHelp =
    "Shows whether version 2.0 of the Microsoft .NET Framework is registered in a Wine prefix:\n"
    "green when the key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0 exists,\n"
    "orange when only policy\\v1.1 or policy\\v1.0 does, red when none of them does.\n"
    "\n"
    "The prefix is DIR when --prefix is given, else $WINEPREFIX when it is set, else ~/.wine\n"
    "when it holds a registry (system.reg), else ~/.local/share/vidazoz/prefix (under\n"
    "$XDG_DATA_HOME when that is set). Nothing is written to it by the check.\n"
    "\n"
    "Without options the program opens its window; press Check there.\n"
    "\n"
    "Options:\n"
    "  --check        no window: print the verdict on standard output and exit with\n"
    "                 0 (2.0 found), 1 (only 1.1 or 1.0), 2 (none) or 3 (the registry\n"
    "                 could not be read; the reason on standard error)\n"
    "  --prefix DIR   use the Wine prefix DIR for this run (as WINEPREFIX would)\n"
    "  --help         show this text and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "An unknown option or a missing argument exits with status 64.\n";

struct Options {
  bool check = false, help = false, version = false;
  std::optional<std::string> prefix;
};

// The options, or the one-line reason they are refused (an unknown option, a missing argument).
struct Parsed {
  Options options;
  std::string error;
};

Parsed ParseArguments(std::span<const char* const> args) {
  Parsed parsed;
  Options& o = parsed.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--check") {
      o.check = true;
    } else if (arg == "--help") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--prefix" || arg.starts_with("--prefix=")) {
      std::string_view dir;
      if (arg != "--prefix") {
        dir = arg.substr(arg.find('=') + 1);
      } else if (i + 1 < args.size()) {
        dir = args[++i];
      }
      if (dir.empty()) {
        parsed.error = "option '--prefix' requires a folder";
        return parsed;
      }
      o.prefix = std::string(dir);
    } else {
      parsed.error = (arg.starts_with("-") ? "unknown option '" : "unexpected argument '") + std::string(arg) + "'";
      return parsed;
    }
  }
  return parsed;
}

}  // namespace

int Main(std::span<const char* const> args, std::ostream& out, std::ostream& err, const RegistryFactory& makeRegistry,
         const std::function<int()>& runWindow) {
  const Parsed parsed = ParseArguments(args);
  if (!parsed.error.empty()) {
    err << "vidazoz: " << parsed.error << '\n' << kUsage;
    return kExitUsage;
  }
  const Options& o = parsed.options;
  if (o.help) {
    out << kUsage << '\n' << kHelp;
    return 0;
  }
  if (o.version) {
    out << "Vidazoz " << VIDAZOZ_VERSION << '\n';
    return 0;
  }
  if (o.prefix) {
    // Wine takes only an absolute WINEPREFIX; a relative DIR means the one below this folder.
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::absolute(*o.prefix, ec);
    if (ec || ::setenv("WINEPREFIX", dir.c_str(), 1) != 0) {
      err << "vidazoz: cannot use the prefix '" << *o.prefix << "'\n";
      return kExitUsage;
    }
  }
  if (o.check) {
    const int status = CheckAsText(out, err, makeRegistry);
    // Same verdict and status: the user learns only that Wine may hold a newer registry.
    if (const std::optional<std::string> warning = StaleRegistryWarning()) err << "vidazoz: " << *warning << '\n';
    return status;
  }
  return runWindow();
}

}  // namespace vidazoz::cli

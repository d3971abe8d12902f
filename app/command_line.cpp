#include "command_line.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command_line_doc.h"
#include "prefix_check.h"
#include "reg_tool.h"
#include "registry_freshness.h"
#include "wow64_process.h"
#include "text_verdict.h"

namespace vidazoz::cli {
namespace {

struct Options {
  bool check = false, help = false, version = false, verbose = false;
  std::optional<std::string> prefix;
};

// The options, or the one-line reason they are refused (an unknown option, a missing argument).
struct Parsed {
  Options options;
  std::string error;
};

const OptionDoc* FindOption(std::string_view name) {
  for (const OptionDoc& option : kOptions)
    if (option.name == name || (!option.shortName.empty() && option.shortName == name)) return &option;
  return nullptr;
}

Parsed ParseArguments(std::span<const char* const> args) {
  Parsed parsed;
  Options& o = parsed.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
    const OptionDoc* option = FindOption(arg.substr(0, equals));
    if (!option || (equals != std::string_view::npos && option->argument.empty())) {
      parsed.error = (arg.starts_with("-") ? "unknown option '" : "unexpected argument '") + std::string(arg) + "'";
      return parsed;
    }
    std::string_view value;
    if (!option->argument.empty()) {
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      }
      if (value.empty()) {
        parsed.error = "option '" + std::string(option->name) + "' requires a folder";
        return parsed;
      }
    }
    switch (option->id) {
      case OptionId::Check: o.check = true; break;
      case OptionId::Verbose: o.verbose = true; break;
      case OptionId::Help: o.help = true; break;
      case OptionId::Version: o.version = true; break;
      case OptionId::Prefix: o.prefix = std::string(value); break;
    }
  }
  return parsed;
}

// `vidazoz reg [--prefix DIR] [--crlf] ...`: the prefix must already hold a registry.
int RunRegCommand(std::span<const char* const> args, std::ostream& out, std::ostream& err) {
  std::optional<std::string> prefix;
  bool crlf = false;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--crlf") {
      crlf = true;
    } else if (arg == "--prefix" && i + 1 < args.size() && *args[i + 1] != '\0') {
      prefix = args[++i];
    } else if (arg.starts_with("--prefix=") && arg.size() > 9) {
      prefix = std::string(arg.substr(9));
    } else if (arg.starts_with("--")) {
      err << "vidazoz: unknown option '" << arg << "'\n" << UsageText();
      return kExitUsage;
    } else {
      break;
    }
  }
  const PrefixFinding found = InspectPrefix(prefix);
  if (!found.problem.empty()) {
    err << "vidazoz reg: " << found.problem << '\n';
    return 1;
  }
  if (::setenv("WINEPREFIX", found.dir.c_str(), 1) != 0) {
    err << "vidazoz reg: cannot use the prefix '" << found.dir << "'\n";
    return 1;
  }
  SetWow64Process(false);  // as Wine's 64-bit reg: the 64-bit view unless /reg:32
  std::vector<std::string> words(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  return reg::RunReg(words, {out, err, crlf, ::isatty(STDIN_FILENO) == 1});
}

// --check --verbose: the check, with which prefix and view it read and each key it probed on stderr.
int VerboseCheck(std::ostream& out, std::ostream& err, const RegistryFactory& makeRegistry,
                 const PrefixFinding& prefix) {
  err << "vidazoz: prefix " << prefix.dir << " (from " << prefix.source << ")\n"
      << "vidazoz: registry view: 32-bit, as Vidazoz (a 32-bit program) sees it on Windows\n";
  const Probe* decided = nullptr;
  const int status = CheckAsText(out, err, makeRegistry, [&](const Probe& probe, bool found) {
    err << "vidazoz: probe HKEY_LOCAL_MACHINE\\" << probe.keyPath << ": " << (found ? "present" : "absent") << '\n';
    if (found) decided = &probe;
  });
  if (status != kExitCheckFailed) {
    if (decided != nullptr) {
      err << "vidazoz: decided by HKEY_LOCAL_MACHINE\\" << decided->keyPath << " (version " << decided->version
          << ")\n";
    } else {
      err << "vidazoz: decided by the absence of all three keys\n";
    }
  }
  return status;
}

}  // namespace

int Main(std::span<const char* const> args, std::ostream& out, std::ostream& err, const RegistryFactory& makeRegistry,
         const std::function<int()>& runWindow) {
  if (!args.empty() && std::string_view(args[0]) == "reg") return RunRegCommand(args.subspan(1), out, err);
  const Parsed parsed = ParseArguments(args);
  if (!parsed.error.empty()) {
    err << "vidazoz: " << parsed.error << '\n' << UsageText();
    return kExitUsage;
  }
  const Options& o = parsed.options;
  if (o.help) {
    out << HelpText();
    return 0;
  }
  if (o.version) {
    out << "Vidazoz " << VIDAZOZ_VERSION << '\n';
    return 0;
  }
  if (o.check) {
    // A prefix that cannot be read is said so, never probed into a "not installed".
    const PrefixFinding prefix = InspectPrefix(o.prefix);
    if (!prefix.problem.empty()) {
      err << "vidazoz: cannot check: " << prefix.problem << '\n';
      return kExitCheckFailed;
    }
    if (o.prefix && ::setenv("WINEPREFIX", prefix.dir.c_str(), 1) != 0) {
      err << "vidazoz: cannot use the prefix '" << *o.prefix << "'\n";
      return kExitUsage;
    }
    const int status = o.verbose ? VerboseCheck(out, err, makeRegistry, prefix) : CheckAsText(out, err, makeRegistry);
    // Same verdict and status: the user learns only that Wine may hold a newer registry.
    if (const std::optional<std::string> warning = StaleRegistryWarning()) err << "vidazoz: " << *warning << '\n';
    return status;
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
  return runWindow();
}

}  // namespace vidazoz::cli

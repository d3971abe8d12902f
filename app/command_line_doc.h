// The command line described once: its options, commands and exit statuses, from which the
// parser, --help, the manual page and the shell completion are all made.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vidazoz::cli {

enum class OptionId { Check, Prefix, Verbose, Help, Version };

// What the shell may offer for an option's argument.
enum class ArgumentKind { None, Directory };

struct OptionDoc {
  OptionId id;
  std::string_view name;      // "--prefix"
  std::string_view argument;  // "DIR", or empty when the option takes none
  ArgumentKind completes;
  std::string_view help;  // one paragraph of plain text
  std::string_view shortName = {};  // "-h", or empty
};

// A word after the options that names what to do instead of the window (`vidazoz COMMAND ...`).
struct CommandDoc {
  std::string_view name;
  std::string_view arguments;  // as the synopsis shows them
  std::string_view help;
};

struct ExitStatusDoc {
  int status;
  std::string_view meaning;
};

inline constexpr std::string_view kProgram = "vidazoz";

inline constexpr OptionDoc kOptions[] = {
    {OptionId::Check, "--check", "", ArgumentKind::None,
     "No window: print the verdict on standard output and exit with its status (below)."},
    {OptionId::Prefix, "--prefix", "DIR", ArgumentKind::Directory,
     "Use the Wine prefix DIR for this run, as WINEPREFIX would; also spelt --prefix=DIR. A DIR "
     "starting with ~ (which no shell expanded) is refused."},
    {OptionId::Verbose, "--verbose", "", ArgumentKind::None,
     "With --check, say on standard error which prefix and registry view are read, each key probed "
     "and which one decided."},
    {OptionId::Help, "--help", "", ArgumentKind::None, "Show the help and exit.", "-h"},
    {OptionId::Version, "--version", "", ArgumentKind::None, "Show the version and exit.", "-V"},
};

// A command added here appears in the help, the manual page and the completion.
inline constexpr CommandDoc kCommandList[] = {
    {"reg", "[--prefix DIR] [--crlf] query|add|delete|copy|compare|export|import ARGS",
     "Wine's reg on the prefix, without starting Wine: query KEY [/v NAME | /ve] [/s] [--json]; add KEY [/v NAME | /ve] "
     "[/t TYPE] [/s C] [/d DATA] [/f]; delete KEY [/v NAME | /ve | /va] [/f];"
     " export KEY FILE [/y] writes KEY and every key below it as Wine's .reg file (UTF-16LE, version 5);"
     " import FILE reads a .reg file, REGEDIT4 or version 5, with [-KEY] and \"NAME\"=- deletions; copy KEY1 KEY2 [/s] [/f] copies the values of KEY1 into KEY2 and, with /s, every key below;"
     " compare KEY1 KEY2 [/v NAME | /ve] [/s] [/oa | /od | /os | /on] follows Windows (Wine's reg lacks it):"
     " a line per difference, < for KEY1 and > for KEY2 (/od, the default), = for each match too (/oa), only"
     " the matches (/os) or no lines (/on), then \"Result Compared: Identical\" (exit 0) or \"Different\""
     " (exit 2); 1 when it fails."
     " Switches start with / or -, any "
     "of them may add /reg:32 or /reg:64, and KEY starts with a root, short or long (HKLM, HKCU, HKCR, HKU, "
     "HKCC). Output and exit statuses are Wine's (0 done, 1 failed), with these differences on purpose: "
     "the output is UTF-8 with LF line ends (--crlf for CR LF); messages and errors go to standard error; "
     "REG_QWORD data is shown as 0x and lower-case hexadecimal; a question (without /f) is answered No when "
     "standard input is not a terminal; add without /v or /ve creates the key and touches no value; an add "
     "whose data is refused changes nothing; delete refuses a whole root; REG_DWORD and REG_QWORD data must "
     "be given, in decimal or 0x hexadecimal, without a sign, within the type's range; a prefix that does "
     "not exist or holds no registry is an error and is never created; export takes a FILE starting with / (Wine "
     "takes it for a switch), writes it whole or not at all, and replaces a link there rather than writing "
     "through it; import says what is wrong with a file it refuses, and then changes nothing (Wine skips "
     "a bad line, and exits 1 silently on a bad header); as each of a file's changes is saved on its own, a "
     "registry that fails part-way (a full or failing disk) stops the import, and the message names the line "
     "that failed and the lines that took effect; import accepts a UTF-8 BOM, reads an 8-bit file as UTF-8 when it is "
     "valid UTF-8, else as code page 1252, widens hex(2) and hex(7) data only in an 8-bit REGEDIT4 file, and "
     "reads at most 64 MiB; copy /s into the source's own sub-tree is refused (Wine recurses to the path limit). "
     "On Windows, Vidazoz.exe reg [--crlf] ... does the same on the system's registry. "
     "query --json writes each key (with /s each key below too) as one line of JSON: "
     "path, values (name, type name, data: a string, an array of strings for REG_MULTI_SZ, a number for "
     "the DWORD and QWORD types, else hexadecimal digits in a string) and sub-keys."},
};
inline constexpr std::span<const CommandDoc> kCommands{kCommandList};

inline constexpr ExitStatusDoc kExitStatuses[] = {
    {0, "Version 2.0 is registered (with --check), or the window was closed."},
    {1, "Only version 1.1 or 1.0 is registered (with --check)."},
    {2, "No version is registered (with --check)."},
    {3, "The registry could not be read (with --check): the prefix is missing or not a folder, holds no "
        "system.reg, or its system.reg cannot be read or is no Wine registry; WINEPREFIX is relative; or "
        "a prefix starts with an unexpanded ~. One line on standard error says what and where."},
    {64, "An unknown option or argument, or an option without its argument."},
    {69, "The window could not be shown: its program, vidazoz-window, is missing or cannot be started."},
    {74, "The verdict could not be written to standard output."},
};

// What the program shows, paragraph by paragraph, before the options.
inline constexpr std::string_view kDescription[] = {
    "Shows whether version 2.0 of the Microsoft .NET Framework is registered in a Wine prefix: "
    "green when the key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0 exists, "
    "orange when only policy\\v1.1 or policy\\v1.0 does, red when none of them does.",
    "The prefix is DIR when --prefix is given, else $WINEPREFIX when it is set, else ~/.wine when it "
    "holds a registry (system.reg), else ~/.local/share/vidazoz/prefix (under $XDG_DATA_HOME when "
    "that is set). Nothing is written to it by the check.",
    "Without options the program opens its window; press Check there.",
};

// "Usage: vidazoz ..." lines, and the whole --help text.
std::string UsageText();
std::string HelpText();

}  // namespace vidazoz::cli

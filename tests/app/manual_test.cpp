// The manual page and the bash completion as the build writes them: man renders the page without
// a warning, and both cover every option, command and exit status the program knows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "command_line_doc.h"
#include "temp_dir.h"
#include "wine_prefix.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), {}};
}

// stdout and stderr of a command apart.
std::pair<CommandResult, std::string> RunSplit(const std::vector<std::string>& argv,
                                               const std::vector<std::pair<std::string, std::string>>& env = {}) {
  const TempDir dir("vidazoz-manual");
  std::vector<std::string> shell{"/bin/sh", "-c", "exec \"$@\" 2>" + (dir.Path() / "err").string(), "sh"};
  shell.insert(shell.end(), argv.begin(), argv.end());
  CommandResult r = RunCommand(shell, env);
  return {r, Read(dir.Path() / "err")};
}

// Runs of spaces and line breaks as one space: man justifies and both break lines.
std::string Words(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool space = c == ' ' || c == '\n';
    if (!space || (!out.empty() && out.back() != ' ')) out += space ? ' ' : c;
  }
  return out;
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(Manual, ManRendersItWithoutWarningsAndItMatchesTheHelpOptionForOption) {
  for (const char* page : {VIDAZOZ_MAN_PAGE, VIDAZOZ_MAN_PAGE ".gz"}) {
    const auto [r, err] = RunSplit({"man", "--warnings", "-l", page}, {{"MANWIDTH", "80"}, {"MAN_KEEP_FORMATTING", ""}});
    EXPECT_EQ(r.exitCode, 0) << page << err;
    EXPECT_EQ(err, "") << page;
    const std::string help = RunSplit({VIDAZOZ_EXE, "--help"}).first.output;
    for (const auto& option : cli::kOptions) {
      const std::string name = std::string(option.name) + (option.argument.empty() ? "" : " " + std::string(option.argument));
      EXPECT_NE(r.output.find(name), std::string::npos) << page << ' ' << name;
      EXPECT_NE(help.find(name), std::string::npos) << name;
      // The first words of its description, before man or the help break the line.
      const std::string words(option.help.substr(0, 24));
      EXPECT_NE(Words(r.output).find(words), std::string::npos) << page << ' ' << words;
      EXPECT_NE(Words(help).find(words), std::string::npos) << words;
    }
    for (const auto& command : cli::kCommands) {
      EXPECT_NE(r.output.find(command.name), std::string::npos) << page;
      EXPECT_NE(help.find(command.name), std::string::npos);
    }
    // reg's every command and switch, Wine's and ours.
    for (const char* word : {"query", "add", "delete", "copy", "compare", "export", "import", "/v NAME", "/ve", "/va",
                             "/s", "/t TYPE", "/s C", "/d DATA", "/f", "/y", "/reg:32", "/reg:64", "/oa", "/od",
                             "/os", "/on", "--json", "--crlf", "--prefix DIR"}) {
      EXPECT_NE(Words(r.output).find(word), std::string::npos) << page << ' ' << word;
      EXPECT_NE(Words(help).find(word), std::string::npos) << word;
    }
    for (const auto& exit : cli::kExitStatuses) {
      const std::string line = "\n       " + std::to_string(exit.status) + " ";
      EXPECT_NE(r.output.find(line), std::string::npos) << page << ' ' << exit.status;
      EXPECT_NE(help.find("\n  " + std::to_string(exit.status) + " "), std::string::npos) << exit.status;
    }
    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "ENVIRONMENT"})
      EXPECT_NE(r.output.find(std::string("\n") + section + "\n"), std::string::npos) << page << ' ' << section;
  }
}

TEST(Completion, OffersEveryOptionAndOnlyFoldersForThePrefix) {
  const TempDir dir("vidazoz-completion");
  const std::string base = (dir.Path() / "p").string();
  fs::create_directories(base + "refix one");
  fs::create_directories(base + "re");
  std::ofstream(base + "lain-file") << "not a folder\n";

  std::string all, options;
  for (const auto& option : cli::kOptions) options += std::string(option.name) + "\n";
  all = options;
  for (const auto& command : cli::kCommands) all += std::string(command.name) + "\n";
  struct Case {
    std::vector<std::string> words;  // the last one is being completed
    std::string offered;             // one per line, as compgen orders them
  } cases[] = {
      {{"vidazoz", ""}, all},
      {{"vidazoz", "--"}, options},
      {{"vidazoz", "--p"}, "--prefix\n"},
      {{"vidazoz", "--check", "--v"}, "--verbose\n--version\n"},
      {{"vidazoz", "--x"}, ""},
      {{"vidazoz", "--prefix", base}, base + "re\n" + base + "refix one\n"},
      {{"vidazoz", "--prefix", base + "ref"}, base + "refix one\n"},
      {{"vidazoz", "--prefix=" + base + "ref"}, base + "refix one\n"},
      {{"vidazoz", "--prefix", base + "lain"}, ""},
  };
  for (const Case& c : cases) {
    std::string script = "source \"$0\"; COMP_WORDS=(";
    for (std::size_t i = 1; i < c.words.size() + 1; ++i) script += " \"${" + std::to_string(i) + "}\"";
    script += " ); COMP_CWORD=" + std::to_string(c.words.size() - 1) +
              "; _vidazoz; [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\\n' \"${COMPREPLY[@]}\"";
    std::vector<std::string> argv{"/bin/bash", "--norc", "-c", script, VIDAZOZ_COMPLETION};
    argv.insert(argv.end(), c.words.begin(), c.words.end());
    const auto [r, err] = RunSplit(argv);
    std::string name;
    for (const auto& w : c.words) name += "[" + w + "]";
    EXPECT_EQ(r.exitCode, 0) << name << err;
    EXPECT_EQ(SortedLines(r.output), SortedLines(c.offered)) << name;  // folders come in the file system's order
    EXPECT_EQ(err, "") << name;
  }
}

}  // namespace
}  // namespace vidazoz::testing

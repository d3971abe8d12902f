// The Windows program's reg command line: its words as UTF-16 (the ANSI argv would turn other
// characters into '?'), and standard handles that carry bytes, not text-mode CR LF.
#include "reg_windows_entry.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "reg_text.h"
#include "reg_tool.h"

namespace vidazoz::reg {
namespace {

// The words of a command line split as the C runtime splits them: the program's name up to its
// closing quote or a blank; then 2n backslashes and a quote are n backslashes and a quote that
// opens or closes, 2n+1 and a quote are n and a literal quote, "" within quotes is a quote.
// (Here, not CommandLineToArgvW: the release loads shell32 only when it opens a link.)
std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
  std::vector<std::u16string> words;
  std::size_t i = 0;
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  std::u16string word;
  if (i < line.size() && line[i] == u'"') {
    const std::size_t close = line.find(u'"', 1);
    word = line.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1);
    i = close == std::u16string_view::npos ? line.size() : close + 1;
  }
  while (i < line.size() && !blank(line[i])) word += line[i++];
  words.push_back(word);
  for (;;) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size()) return words;
    word.clear();
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(line[i]))) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == u'\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == u'"') {
        word.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) {
          word += u'"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          word += u'"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        word.append(backslashes, u'\\');
        if (i < line.size() && (quoted || !blank(line[i]))) word += line[i++];
      }
    }
    words.push_back(word);
  }
}

bool HasHandle(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

std::optional<std::vector<std::string>> WindowsRegArguments() {
  const std::vector<std::u16string> words = SplitCommandLine(reinterpret_cast<const char16_t*>(GetCommandLineW()));
  if (words.size() < 2 || !SameAscii(words[1], u"reg")) return std::nullopt;
  std::vector<std::string> args;
  for (std::size_t i = 2; i < words.size(); ++i) args.push_back(Utf8(words[i]));
  return args;
}

int RunRegOnWindows(const std::vector<std::string>& args) {
  // A window program started from a console has no standard handles: write to that console.
  if (!HasHandle(STD_OUTPUT_HANDLE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    (void)std::freopen("CONOUT$", "w", stdout);
    (void)std::freopen("CONOUT$", "w", stderr);
    SetConsoleOutputCP(CP_UTF8);
  }
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  bool crlf = false;
  std::size_t first = 0;
  for (; first < args.size() && args[first].starts_with("--"); ++first) {
    if (args[first] != "--crlf") {
      std::cerr << "vidazoz: unknown option '" << args[first]
                << "' (on Windows, reg works on the system's registry and takes only --crlf)\n";
      return 64;
    }
    crlf = true;
  }
  const std::vector<std::string> words(args.begin() + static_cast<std::ptrdiff_t>(first), args.end());
  return RunReg(words, {std::cout, std::cerr, crlf, _isatty(_fileno(stdin)) != 0});
}

}  // namespace vidazoz::reg

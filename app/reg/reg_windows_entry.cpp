// The Windows program's reg command line: its words as UTF-16 (the ANSI argv would turn other
// characters into '?'), and standard handles that carry bytes, not text-mode CR LF.
#include "reg_windows_entry.h"

#include <windows.h>  // before shellapi.h, which needs its types

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>

#include "reg_text.h"
#include "reg_tool.h"

namespace vidazoz::reg {
namespace {

class CommandLineWords {
 public:
  CommandLineWords() : words_(CommandLineToArgvW(GetCommandLineW(), &count_)) {}
  CommandLineWords(const CommandLineWords&) = delete;
  CommandLineWords& operator=(const CommandLineWords&) = delete;
  ~CommandLineWords() { LocalFree(words_); }
  int Count() const { return words_ != nullptr ? count_ : 0; }
  std::string Utf8Word(int i) const { return Utf8(reinterpret_cast<const char16_t*>(words_[i])); }

 private:
  int count_ = 0;
  LPWSTR* words_;
};

bool HasHandle(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

std::optional<std::vector<std::string>> WindowsRegArguments() {
  const CommandLineWords words;
  if (words.Count() < 2 || !SameAscii(Utf16(words.Utf8Word(1)), u"reg")) return std::nullopt;
  std::vector<std::string> args;
  for (int i = 2; i < words.Count(); ++i) args.push_back(words.Utf8Word(i));
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

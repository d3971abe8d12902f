// The Windows program's `reg` under wine64 beside Wine's own reg.exe, on one prefix under one
// wineserver: the shared steps on two sets of keys, compared by exit status, output, export
// files and the registry each left behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "reg_command_steps.h"
#include "temp_dir.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  std::wstring out(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), static_cast<int>(out.size()));
  return out;
}

// One word of a command line as the C runtime and CommandLineToArgvW split it again.
std::wstring Quoted(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs `program` with `args`, its standard output and error into files of `dir`, stdin empty.
Outcome Spawn(const std::wstring& program, const std::vector<std::string>& args, const fs::path& dir) {
  std::wstring line = Quoted(program);
  for (const std::string& a : args) line += L" " + Quoted(Wide(a));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const fs::path outPath = dir / "stdout", errPath = dir / "stderr";
  Outcome outcome;
  {
    const auto file = [&](const fs::path& p, DWORD access, DWORD disposition) {
      return CreateFileW(p.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const Handle in(file(L"NUL", GENERIC_READ, OPEN_EXISTING));
    const Handle out(file(outPath, GENERIC_WRITE, CREATE_ALWAYS)), err(file(errPath, GENERIC_WRITE, CREATE_ALWAYS));
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in.Get();
    start.hStdOutput = out.Get();
    start.hStdError = err.Get();
    PROCESS_INFORMATION process{};
    // ERROR_INTERNAL_ERROR: the child died inside Wine's own process start, before any of its
    // code ran (seen now and then under load), so starting it again repeats nothing.
    bool started = false;
    DWORD error = 0;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
      started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process);
      error = started ? 0 : GetLastError();
      if (!started && error != ERROR_INTERNAL_ERROR) break;
    }
    if (!started) {
      ADD_FAILURE() << "cannot start " << fs::path(program).string() << ": error " << error;
      return outcome;
    }
    const Handle thread(process.hThread), child(process.hProcess);
    WaitForSingleObject(child.Get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(child.Get(), &code);
    outcome.status = static_cast<int>(code);
  }
  outcome.out = FileBytes(outPath);
  outcome.err = FileBytes(errPath);
  return outcome;
}

// The Windows program, by the path Wine's drive Z: gives the build's file.
std::wstring OurProgram() {
  std::wstring path = L"Z:" + Wide(VIDAZOZ_EXE);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

// Wine's keys and file named as ours, so that the two sides' answers compare: "VzW" -> "VzO",
// in UTF-8 or in UTF-16LE.
std::string AsOurs(std::string text) {
  for (const std::string& from : {std::string("VzW"), std::string("V\0z\0W\0", 6)}) {
    std::string to = from;
    to[from.size() == 3 ? 2 : 4] = 'O';
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
      text.replace(at, from.size(), to);
  }
  return text;
}

bool SameCase(std::string a, std::string_view b) {
  for (char& c : a)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return a == b;
}

TEST(RegCommandOnWindows, AnswersAsWinesRegExeDoesUnderOneServer) {
  const TempDir dir("vidazoz-reg-win");
  const std::vector<RegStep> ours = RegCommandSteps("O"), wines = RegCommandSteps("W");
  ASSERT_EQ(ours.size(), wines.size());
  const fs::path ourFile = dir.Path() / "ours.reg", wineFile = dir.Path() / "wine.reg";
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const auto withFile = [](std::vector<std::string> args, const fs::path& file) {
      for (std::string& a : args)
        if (a == kRegFile) a = file.string();
      return args;
    };
    std::string name;
    for (const auto& a : ours[i].args) name += a + " ";
    fs::remove(ourFile);
    fs::remove(wineFile);
    // reg.exe always says why it fails; a silent failure is Wine's process dying on the way up.
    Outcome theirs = Spawn(L"reg.exe", withFile(wines[i].args, wineFile), dir.Path());
    for (int again = 0; again < 2 && theirs.status != 0 && theirs.out.empty() && theirs.err.empty(); ++again)
      theirs = Spawn(L"reg.exe", withFile(wines[i].args, wineFile), dir.Path());
    std::vector<std::string> args{"reg", "--crlf"};
    for (const std::string& a : withFile(ours[i].args, ourFile)) args.push_back(a);
    const Outcome mine = Spawn(OurProgram(), args, dir.Path());
    EXPECT_EQ(mine.status, theirs.status) << name << "\nours:\n" << mine.out << mine.err << "\nWine's:\n"
                                          << theirs.out << theirs.err;
    EXPECT_EQ(fs::exists(ourFile), fs::exists(wineFile)) << name;
    if (fs::exists(wineFile)) {
      const std::string exported = AsOurs(FileBytes(wineFile));
      EXPECT_EQ(FileBytes(ourFile), exported) << name;
      EXPECT_GT(exported.size(), 100u) << name;
    }
    if (ours[i].compare == RegCompare::Output) {
      EXPECT_EQ(mine.out + mine.err, AsOurs(theirs.out + theirs.err)) << name;
      EXPECT_EQ(mine.err.empty(), mine.status == 0 && (ours[i].args[0] == "query" ||
                                                       SameCase(ours[i].args[0], "export") ||
                                                       SameCase(ours[i].args[0], "copy")))
          << name << ": messages on stderr";
    } else if (mine.status != 0) {
      EXPECT_NE(mine.err, "") << name << ": a refusal says why";
      EXPECT_EQ(mine.out, "") << name;
    }
  }
  // What each side left behind, read by our query (whose REG_QWORD and non-ASCII text are exact).
  const auto ourQueries = RegStepResultQueries("O"), wineQueries = RegStepResultQueries("W");
  for (std::size_t i = 0; i < ourQueries.size(); ++i) {
    std::vector<std::string> a{"reg"}, b{"reg"};
    a.insert(a.end(), ourQueries[i].begin(), ourQueries[i].end());
    b.insert(b.end(), wineQueries[i].begin(), wineQueries[i].end());
    const Outcome mine = Spawn(OurProgram(), a, dir.Path()), theirs = Spawn(OurProgram(), b, dir.Path());
    EXPECT_EQ(mine.status, 0) << ourQueries[i][1] << mine.err;
    EXPECT_EQ(mine.out, AsOurs(theirs.out)) << ourQueries[i][1];
  }
  const Outcome unicode = Spawn(OurProgram(), {"reg", "query", RegStepKey("O"), "/v", "café 日本"}, dir.Path());
  EXPECT_NE(unicode.out.find("    café 日本    REG_SZ    データ\n"), std::string::npos) << unicode.out << unicode.err;
}

}  // namespace
}  // namespace vidazoz::testing

#include "sandbox_platform.h"

#include <windows.h>

#include <stdexcept>

namespace vidazoz::testing {
namespace {

// Quotes one argument for the C runtime's command-line parser.
std::string Quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, '\\');
  return out + "\"";
}

class Handle {
 public:
  explicit Handle(HANDLE h = nullptr) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  HANDLE Get() const { return h_; }
  HANDLE* Out() { return &h_; }

 private:
  HANDLE h_;
};

CommandResult RunReg(const std::vector<std::string>& args) {
  std::string line = "reg.exe";
  for (const auto& a : args) {
    line += ' ';
    line += Quote(a);
  }

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle readEnd, writeEnd;
  if (!CreatePipe(readEnd.Out(), writeEnd.Out(), &inherit, 0)) throw std::runtime_error("CreatePipe failed");
  SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd.Get();
  si.hStdError = writeEnd.Get();
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::vector<char> cmd(line.begin(), line.end());
  cmd.push_back('\0');
  CommandResult result;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    result.output = "cannot start " + line;
    return result;
  }
  Handle process(pi.hProcess), thread(pi.hThread);
  CloseHandle(*writeEnd.Out());
  *writeEnd.Out() = nullptr;

  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0) result.output.append(buffer, n);
  WaitForSingleObject(process.Get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  result.exitCode = static_cast<int>(code);
  return result;
}

}  // namespace

struct SandboxPlatform::State {
  explicit State(std::vector<std::string> keys) : scratch(std::move(keys)) { Clear(); }
  ~State() { Clear(); }
  void Clear() const {
    for (const auto& key : scratch) RunReg({"delete", key, "/f"});
  }
  std::vector<std::string> scratch;
};

// A prefix of its own per run is all the registry there is to start from: both starts are the same.
SandboxPlatform::SandboxPlatform(Start, std::vector<std::string> scratchKeys)
    : state_(std::make_unique<State>(std::move(scratchKeys))) {}

SandboxPlatform::~SandboxPlatform() = default;

CommandResult SandboxPlatform::Reg(const std::vector<std::string>& args) const { return RunReg(args); }

}  // namespace vidazoz::testing

#include "Error.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vidazoz {

Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description.empty() ? source : description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

namespace {

std::string RuntimeDescription(std::int32_t number) {
  switch (number) {
    case errnum::InvalidProcedureCall: return "Invalid procedure call or argument";
    case errnum::Overflow: return "Overflow";
    case errnum::OutOfMemory: return "Out of memory";
    case errnum::TypeMismatch: return "Type mismatch";
    default: return "Application-defined or object-defined error";
  }
}

std::string ReadExecutableBaseName() {
  std::filesystem::path exe;
#ifdef _WIN32
  char buffer[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  exe = std::string(buffer, n);
#else
  std::error_code ec;
  exe = std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
  return exe.stem().string();
}

}  // namespace

Error RuntimeError(std::int32_t number) {
  return Error(number, ExecutableBaseName(), RuntimeDescription(number));
}

const std::string& ExecutableBaseName() {
  static const std::string name = ReadExecutableBaseName();
  return name;
}

}  // namespace vidazoz

// The error every failure of cRegistry is raised as: a number, a source and a description.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vidazoz {

class Error : public std::runtime_error {
 public:
  Error(std::int32_t number, std::string source, std::string description);

  std::int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

// Numbers of the failures the class does not raise itself.
namespace errnum {
inline constexpr std::int32_t InvalidProcedureCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t TypeMismatch = 13;
}  // namespace errnum

// An error the runtime raises (type mismatch, overflow, ...), with its usual description and the
// running program's name as the source.
Error RuntimeError(std::int32_t number);

// The running executable's file name without its extension ("Vidazoz" for Vidazoz.exe).
const std::string& ExecutableBaseName();

}  // namespace vidazoz

// A registry of the test's own, written once for both platforms.
//
// Linux: a fresh copy of a booted Wine prefix that this process's registry layer points at;
// the whole prefix goes away with the sandbox.
// Windows (the cross-built tests run under wine64, each run in a prefix of its own): the
// process's real registry. The key trees a test claims with Own() are removed when the sandbox
// is made and when it goes away, so the cases of one run cannot see each other's keys.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "wine_prefix.h"

namespace vidazoz::testing {

class RegistrySandbox {
 public:
  RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;
  ~RegistrySandbox();

  // The platform's own `reg` tool on this registry (Wine's reg.exe on both platforms here): an
  // independent way to seed and inspect what the code under test sees. Arguments as `reg` takes
  // them, e.g. {"add", "HKLM\\Software\\X", "/f"}.
  CommandResult Reg(const std::vector<std::string>& args);

  // Claims a key tree, "HKLM\\Software\\X" in `reg` notation, for this test.
  void Own(const std::string& regKey);

 private:
  struct Platform;
  std::unique_ptr<Platform> platform_;
  std::vector<std::string> owned_;
};

}  // namespace vidazoz::testing

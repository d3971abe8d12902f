#include "registry_sandbox.h"

namespace vidazoz::testing {

struct RegistrySandbox::Platform {
  std::unique_ptr<WinePrefix> prefix = WinePrefix::Booted();
  std::unique_ptr<ScopedEnv> active = prefix->Activate();
};

RegistrySandbox::RegistrySandbox() : platform_(std::make_unique<Platform>()) {}

RegistrySandbox::~RegistrySandbox() = default;

CommandResult RegistrySandbox::Reg(const std::vector<std::string>& args) { return platform_->prefix->Reg(args); }

// The prefix is the test's alone and is thrown away whole.
void RegistrySandbox::Own(const std::string& regKey) { owned_.push_back(regKey); }

}  // namespace vidazoz::testing

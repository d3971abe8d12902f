#include "sandbox_platform.h"

namespace vidazoz::testing {

// The prefix is the test's alone and is thrown away whole: scratch keys need no cleaning.
struct SandboxPlatform::State {
  explicit State(Start start)
      : prefix(start == Start::Booted ? WinePrefix::Booted() : WinePrefix::Empty()),
        home(std::make_unique<ScopedEnv>("HOME", prefix->Path().parent_path().string())),
        active(prefix->Activate()) {}
  std::unique_ptr<WinePrefix> prefix;
  std::unique_ptr<ScopedEnv> home;
  std::unique_ptr<ScopedEnv> active;
};

SandboxPlatform::SandboxPlatform(Start start, std::vector<std::string>) : state_(std::make_unique<State>(start)) {}

SandboxPlatform::~SandboxPlatform() = default;

CommandResult SandboxPlatform::Reg(const std::vector<std::string>& args) const { return state_->prefix->Reg(args); }

}  // namespace vidazoz::testing

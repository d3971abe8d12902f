#include "download_link.h"

#include <exception>
#include <string>

#include "framework_check.h"

namespace vidazoz {

void OpenDownloadPage(runtime::WindowRuntime& runtime, system::SystemServices& services) {
  try {
    const runtime::WindowHandle owner = runtime.Handle();
    [[maybe_unused]] const std::intptr_t result =
        services.ShellExecuteA(owner, "Open", std::string(kDownloadAddress), "", "", kSW_SHOWNORMAL);
  } catch (const std::exception&) {
    runtime.MsgBox(std::string(kDownloadFailureMessage), kErrorMessageStyle, std::string(kApplicationTitle));
  }
}

}  // namespace vidazoz

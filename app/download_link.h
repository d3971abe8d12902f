// The download offer: the address of the framework download page and the link's colours.
#pragma once

#include <string_view>

#include "runtime/window_runtime.h"
#include "system/system_services.h"

namespace vidazoz {

inline constexpr std::string_view kDownloadAddress = "http://www.dodivezozu.com/support/dotnetfx_redirect.htm";
inline constexpr std::string_view kDownloadFailureMessage =
    "There Was An Error Accessing The Url!, Instead GoTo http://www.dodivezozu.com/support/dotnetfx_redirect.htm";
static_assert(kDownloadFailureMessage.ends_with(kDownloadAddress),
              "the failure message names the address the click opens");

inline constexpr Colour kLinkPressedColour = 0x0000FF;   // red
inline constexpr Colour kLinkReleasedColour = 0xBD7913;  // blue, the link's own colour
inline constexpr int kSW_SHOWNORMAL = 1;

// Asks the shell to open the download page, owned by the window; a failure to reach the shell
// is reported in the error message box. The shell's own result is not examined.
void OpenDownloadPage(runtime::WindowRuntime& runtime, system::SystemServices& services);

}  // namespace vidazoz

// The kernel, common-controls and shell services on Windows: the real calls, strings converted
// to the ANSI code page. ShellExecuteA is bound by name at its first call, so the program does
// not import shell32 and a missing shell shows as an error the download link can report.
#include <windows.h>
#include <commctrl.h>

#include <stdexcept>

#include "ansi.h"
#include "system/system_services.h"

namespace vidazoz::system {
namespace {

using ShellExecuteAFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

class Win32Services final : public SystemServices {
 public:
  Win32Services() = default;
  Win32Services(const Win32Services&) = delete;
  Win32Services& operator=(const Win32Services&) = delete;
  ~Win32Services() override {
    if (shell32_ != nullptr) ::FreeLibrary(shell32_);
  }

  ModuleHandle LoadLibraryA(const std::string& fileName) override {
    return reinterpret_cast<ModuleHandle>(::LoadLibraryA(ansi::FromUtf8(fileName).c_str()));
  }

  bool FreeLibrary(ModuleHandle module) override {
    return ::FreeLibrary(reinterpret_cast<HMODULE>(module)) != FALSE;
  }

  void InitCommonControls() override { ::InitCommonControls(); }

  std::intptr_t ShellExecuteA(runtime::WindowHandle owner, const std::string& operation, const std::string& file,
                              const std::string& parameters, const std::string& directory,
                              int showCommand) override {
    const ShellExecuteAFn shellExecute = Bind();
    const HINSTANCE result = shellExecute(reinterpret_cast<HWND>(owner), ansi::FromUtf8(operation).c_str(),
                                          ansi::FromUtf8(file).c_str(), ansi::FromUtf8(parameters).c_str(),
                                          ansi::FromUtf8(directory).c_str(), showCommand);
    return reinterpret_cast<std::intptr_t>(result);
  }

 private:
  ShellExecuteAFn Bind() {
    if (shellExecute_ != nullptr) return shellExecute_;
    if (shell32_ == nullptr) shell32_ = ::LoadLibraryA("shell32.dll");
    if (shell32_ == nullptr) throw std::runtime_error("shell32.dll cannot be loaded");
    const FARPROC proc = ::GetProcAddress(shell32_, "ShellExecuteA");
    if (proc == nullptr) throw std::runtime_error("shell32.dll has no ShellExecuteA");
    shellExecute_ = reinterpret_cast<ShellExecuteAFn>(reinterpret_cast<void (*)()>(proc));
    return shellExecute_;
  }

  HMODULE shell32_ = nullptr;  // our own reference, held while the binding is in use
  ShellExecuteAFn shellExecute_ = nullptr;
};

}  // namespace

std::unique_ptr<SystemServices> MakePlatformServices() { return std::make_unique<Win32Services>(); }

}  // namespace vidazoz::system

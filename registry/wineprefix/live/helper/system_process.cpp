// Wine's private request to turn a process into a system process (as services.exe does).
#include "system_process.h"

#include <windows.h>

namespace vidazoz::live::helper {
namespace {

constexpr ULONG kProcessWineMakeProcessSystem = 1000;
using SetInformationProcess = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG);

DWORD WINAPI ExitOnShutdown(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
  ExitProcess(0);
}

}  // namespace

bool BecomeSystemProcess() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return false;
  const auto set =
      reinterpret_cast<SetInformationProcess>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationProcess")));
  if (set == nullptr) return false;
  HANDLE shutdown = nullptr;
  if (set(GetCurrentProcess(), kProcessWineMakeProcessSystem, &shutdown, sizeof(HANDLE*)) != 0 || shutdown == nullptr)
    return false;
  const HANDLE thread = CreateThread(nullptr, 0, ExitOnShutdown, shutdown, 0, nullptr);
  if (thread == nullptr) return false;
  CloseHandle(thread);
  return true;
}

unsigned long EnableBackupPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return GetLastError();
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  DWORD status = ERROR_SUCCESS;
  if (!LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid) ||
      !AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) || GetLastError() != ERROR_SUCCESS)
    status = GetLastError();
  CloseHandle(token);
  return status;
}

}  // namespace vidazoz::live::helper

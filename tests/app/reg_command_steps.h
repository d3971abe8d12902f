// The steps both runs of `vidazoz reg` against Wine's reg take: the Linux program beside
// `wine reg` on two prefixes, and the Windows program beside reg.exe on one prefix under wine64.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vidazoz::testing {

// What a step compares besides the exit status: the whole output, or (where ours differs on
// purpose, or the message is Wine's own wording of a refusal) only the status.
enum class RegCompare { Output, Status };

struct RegStep {
  std::vector<std::string> args;
  RegCompare compare;
};

// Where an export step writes: each side substitutes a file of its own.
inline constexpr std::string_view kRegFile = "@FILE";

// The keys the steps use: HKCU\Software\Vz<tag> and HKLM\Software\Vz<tag>32.
inline std::string RegStepKey(std::string_view tag) { return "HKCU\\Software\\Vz" + std::string(tag); }

// Every command, every value type, default values, nested keys, /s, errors and /reg:32, in an
// order where each step sees what the earlier ones left.
inline std::vector<RegStep> RegCommandSteps(std::string_view tag) {
  using C = RegCompare;
  const std::string K = RegStepKey(tag), M = "HKLM\\Software\\Vz" + std::string(tag) + "32";
  const std::string F(kRegFile);
  return {
      {{"query", K}, C::Output},  // no such key yet
      {{"add", K, "/v", "s", "/d", "hello", "/f"}, C::Output},
      {{"add", K, "/ve", "/d", "def", "/f"}, C::Output},
      {{"ADD", K, "-v", "e", "-t", "reg_expand_sz", "-d", "%PATH%;x", "-f"}, C::Output},
      {{"add", K, "/v", "d", "/t", "REG_DWORD", "/d", "0x10", "/f"}, C::Output},
      {{"add", K, "/v", "d2", "/t", "REG_DWORD", "/d", "4294967295", "/f"}, C::Output},
      {{"add", K, "/v", "big", "/t", "REG_DWORD_BIG_ENDIAN", "/d", "7", "/f"}, C::Output},
      {{"add", K, "/v", "b", "/t", "REG_BINARY", "/d", "0aFFc", "/f"}, C::Output},
      {{"add", K, "/v", "b0", "/t", "REG_BINARY", "/f"}, C::Output},
      {{"add", K, "/v", "m", "/t", "REG_MULTI_SZ", "/d", "a\\0b\\0", "/f"}, C::Output},
      {{"add", K, "/v", "m2", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "x#y", "/f"}, C::Output},
      {{"add", K, "/v", "n", "/t", "REG_NONE", "/d", "zz", "/f"}, C::Output},
      {{"add", K + "\\Sub\\Deep", "/v", "x", "/d", "1", "/f"}, C::Output},
      {{"add", K + "\\Sub", "/v", "x", "/d", "2", "/f"}, C::Output},
      {{"add", K, "/v", "bad", "/t", "REG_DWORD", "/d", "abc", "/f"}, C::Status},
      {{"add", K, "/v", "bad", "/t", "REG_FOO", "/d", "1", "/f"}, C::Status},
      {{"add", K, "/v", "bad", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b", "/f"}, C::Status},
      {{"add", M, "/v", "w", "/d", "32", "/reg:32", "/f"}, C::Output},
      {{"add", K + "\\Sub", "/v", "a rather long value name for wrapping", "/t", "REG_BINARY", "/d",
        std::string(190, 'a') + "5", "/f"},
       C::Output},
      {{"add", K + "\\Sub", "/v", "q\"\\", "/d", "say \"hi\" C:\\x\\", "/f"}, C::Output},
      {{"add", K + "\\Sub", "/v", "empty", "/d", "", "/f"}, C::Output},
      {{"add", K + "\\Sub", "/v", "longm", "/t", "REG_MULTI_SZ", "/d", std::string(40, 'm') + "\\0zz", "/f"},
       C::Output},
      {{"export", K, F, "/y"}, C::Output},
      {{"EXPORT", M, F, "-Y", "/reg:32"}, C::Output},
      {{"export", K + "\\Nope", F, "/y"}, C::Output},
      {{"export", K}, C::Status},
      {{"export", K, F, "/v", "x"}, C::Status},
      {{"export", K, F, "/y", "/y"}, C::Output},
      {{"copy", K + "\\Sub", K + "\\Copy", "/s", "/f"}, C::Output},
      {{"COPY", K + "\\Sub", K + "\\Copy2", "-F"}, C::Output},
      {{"copy", K + "\\Nope", K + "\\Copy3", "/f"}, C::Output},
      {{"copy", K + "\\Sub", K + "\\Sub", "/f"}, C::Status},
      {{"copy", K + "\\Sub", K + "\\Copy", "/v", "x"}, C::Status},
      {{"copy", M, M + "c", "/reg:32", "/s", "/f"}, C::Output},
      {{"query", K}, C::Output},
      {{"query", K, "/s"}, C::Output},
      {{"query", K, "/v", "d"}, C::Output},
      {{"query", K, "/ve"}, C::Output},
      {{"query", K + "\\Sub\\Deep", "/ve"}, C::Output},
      {{"query", K, "/v", "missing"}, C::Output},
      {{"query", K, "/v", "x", "/s"}, C::Output},
      {{"query", "HKEY_CURRENT_USER\\Software\\Vz" + std::string(tag) + "\\Sub\\"}, C::Output},
      {{"query", M, "/reg:32"}, C::Output},
      {{"query", "HKLM\\Software\\Wow6432Node\\Vz" + std::string(tag) + "32"}, C::Output},
      {{"query", M, "/reg:64"}, C::Output},
      {{"query", K, "/x"}, C::Status},
      {{"query", K, "/v"}, C::Status},
      {{"query", K, "/v", "d", "/ve"}, C::Status},
      {{"query", "HKXX\\Software"}, C::Status},
      {{"delete", K + "\\Sub\\Deep", "/v", "x", "/f"}, C::Output},
      {{"delete", K, "/v", "missing", "/f"}, C::Output},
      {{"delete", K + "\\Nope", "/f"}, C::Output},
      {{"delete", K + "\\Sub", "/f"}, C::Output},
      {{"query", K, "/s"}, C::Output},
      {{"delete", K, "/va", "/f"}, C::Output},
      {{"query", K}, C::Output},
      // Shown differently on purpose (0x1f, not Wine's "(null)"): compared by what is stored.
      {{"add", K, "/v", "q", "/t", "REG_QWORD", "/d", "0x1F", "/f"}, C::Status},
      {{"add", K, "/v", "café 日本", "/d", "データ", "/f"}, C::Status},
      {{"export", K, F, "/y"}, C::Output},
  };
}

// The queries that read what the steps left behind.
inline std::vector<std::vector<std::string>> RegStepResultQueries(std::string_view tag) {
  const std::string M = "HKLM\\Software\\Vz" + std::string(tag) + "32";
  return {{"query", RegStepKey(tag), "/s"}, {"query", M, "/reg:32", "/s"}, {"query", M + "c", "/reg:32", "/s"}};
}

}  // namespace vidazoz::testing

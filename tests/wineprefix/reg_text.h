// Small helpers for tests that look at or prepare the .reg files themselves.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vidazoz::testing {

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string MachineHeader(const char* arch = "win64") {
  return std::string("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=") + arch + "\n";
}

// A #link key block pointing at an absolute \Registry\... path.
inline std::string LinkBlock(const std::string& key, const std::string& target) {
  std::string hex;
  for (char c : target) {
    char pair[8];
    std::snprintf(pair, sizeof pair, "%s%02x,00", hex.empty() ? "" : ",", static_cast<unsigned char>(c));
    hex += pair;
  }
  return "\n[" + key + "] 1700000000\n#link\n\"SymbolicLinkValue\"=hex(6):" + hex + "\n";
}

#ifndef _WIN32
inline unsigned ModeOf(const std::filesystem::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}
#endif

}  // namespace vidazoz::testing

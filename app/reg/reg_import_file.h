// Reading a .reg file into the changes it asks for, checked whole before any is
// made.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "reg_key_name.h"

namespace vidazoz::reg {

// The largest file import reads; a .reg file of a whole Wine prefix is a few
// megabytes.
inline constexpr std::size_t kMaxImportBytes = 64u << 20;

struct ImportStep {
  enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
  Kind kind = Kind::CreateKey;
  KeyName key;
  std::u16string name;  // the value's
  DWORD type = 0;
  std::vector<BYTE> data;
  std::size_t line = 0;  // where the file asks for it
};

struct ImportFile {
  std::vector<ImportStep> steps;
  std::string error;  // set when the file is refused: what is wrong, and on which line
};

// The steps `bytes` asks for, in order. UTF-16LE with its BOM; else UTF-8 (with
// or without a BOM) when it is valid UTF-8; else Windows-1252. The header is
// "REGEDIT4" or "Windows Registry Editor Version 5.00"; hex(2) and hex(7) data
// of a REGEDIT4 file in 8 bits is widened to UTF-16.
ImportFile ParseImportFile(std::string_view bytes);

}  // namespace vidazoz::reg

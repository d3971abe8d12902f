// Value data as the reg command takes it (/t, /d, /s) and shows it (query's third column).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "advapi32.h"

namespace vidazoz::reg {

// "REG_SZ" etc. to the type, case-insensitively; nullopt for a name reg does not take.
std::optional<DWORD> TypeFromName(const std::u16string& name);
// The name query prints for a type; "0x..." for one without a name.
std::u16string TypeName(DWORD type);

struct ParsedData {
  std::vector<BYTE> bytes;
  std::string error;  // the message when the data was refused
};

// The bytes `data` (absent: no /d) stores as `type`. Numbers are one rule for REG_DWORD and
// REG_QWORD: decimal or 0x hexadecimal digits, no sign, within the type's range, and /d is
// needed (Wine takes "" as 0 for one and a missing /d for the other, and -1 for a QWORD only).
// REG_MULTI_SZ splits at `separator` (absent: the two characters \0); an empty string between
// two separators is refused, as by Wine.
ParsedData DataFromText(DWORD type, const std::optional<std::u16string>& data,
                        const std::optional<char16_t>& separator);

// The data column of query: strings as they are (multi-strings joined by \0), DWORD and QWORD
// as lower-case hexadecimal without padding, everything else as upper-case hex bytes.
// The value of a hexadecimal digit, or -1.
int HexDigit(char16_t c);

std::u16string DataText(DWORD type, const std::vector<BYTE>& bytes);

}  // namespace vidazoz::reg

// ParseRegFile: reads Wine's registry text format the way Wine's server loads it, and notes
// every line whose content would not survive a rewrite.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>

#include "c_number.h"
#include "file_time.h"
#include "hex_digits.h"
#include "key_tree_loader.h"
#include "line_reader.h"
#include "reg_escape.h"
#include "reg_file.h"
#include "reg_parse_internal.h"
#include "utf16le.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {
namespace {

constexpr std::string_view kMagicLine = "WINE REGISTRY Version 2";
constexpr std::size_t kMaxProblemsListed = 100;
constexpr std::size_t kMaxChunk = 256u << 10;  // small: fresh pages are costly to fault in

// How a value's data is written after its tag.
enum class DataForm {
  kString,    // escaped text up to a closing quote
  kDword,     // eight hex digits
  kHex,       // hex bytes, continued over lines that end in a backslash
  kTypedHex,  // as kHex after the type in hex and "):"
};

// The tags that open a value's data, in the order Wine's loader tries them.
struct ValueTag {
  std::string_view text;
  DWORD type;  // REG_NONE for kTypedHex, whose type the line gives
  DataForm form;
};
constexpr ValueTag kValueTags[] = {
    {"\"", REG_SZ, DataForm::kString},
    {"str:\"", REG_SZ, DataForm::kString},
    {"str(2):\"", REG_EXPAND_SZ, DataForm::kString},
    {"str(7):\"", REG_MULTI_SZ, DataForm::kString},
    {"hex:", REG_BINARY, DataForm::kHex},
    {"dword:", REG_DWORD, DataForm::kDword},
    {"hex(", REG_NONE, DataForm::kTypedHex},
};

bool StartsWith(const char* p, const char* end, std::string_view prefix) {
  return static_cast<std::size_t>(end - p) >= prefix.size() && std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

// The tag that opens a value's data, as Wine's get_data_type finds it; null when none does.
const ValueTag* GetDataType(const char* p, const char* end) {
  const ValueTag* tag = std::find_if(std::begin(kValueTags), std::end(kValueTags),
                                     [&](const ValueTag& t) { return StartsWith(p, end, t.text); });
  return tag == std::end(kValueTags) ? nullptr : tag;
}

std::vector<std::uint8_t> LittleEndian(std::uint32_t dword) {
  return {static_cast<std::uint8_t>(dword), static_cast<std::uint8_t>(dword >> 8),
          static_cast<std::uint8_t>(dword >> 16), static_cast<std::uint8_t>(dword >> 24)};
}

// The FILETIME of the seconds since 1970 a key header gives (Wine keeps 32 bits of them).
std::uint64_t HeaderTime(std::uint64_t seconds) {
  return static_cast<std::uint32_t>(seconds) * kTicksPerSecond + kTicks1601To1970;
}

// A key's time comes from the first block that gives one; parents created only as part of a
// path take the time of the first descendant.
void SetTimeIfUnset(RegKey* key, std::uint64_t filetime) {
  for (; key != nullptr && key->Modified() == 0; key = key->Parent()) key->SetModified(filetime);
}

}  // namespace

// The state of one load, as Wine's file_load_info: the lines, the current key, what went wrong.
class RegFileLoader {
 public:
  RegFileLoader(std::string_view text, RegBranch& branch) : lines_(text), branch_(branch) {}
  RegFileLoader(const ReadChunk& read, RegBranch& branch) : lines_(read, kMaxChunk), branch_(branch) {}

  ParseResult LoadKeys();

 private:
  bool NextLine(std::string_view& line) {  // in the class: inlined into every loop over lines
    if (!lines_.Next(line)) return false;
    if (lines_.CutAtNul()) Problem("NUL byte in line");
    return true;
  }
  std::string_view KeptVerbatim(std::string_view line);
  void Problem(std::string_view what);
  ParseResult Finish(bool valid);
  bool LoadLine(const char* p, const char* end);
  void EndBlock();
  void LoadKey(const char* p, const char* end);
  std::uint64_t LoadKeyTime(const char* afterName, const char* end);
  void LoadKeyOption(const char* p, const char* end);
  void LoadClassOption(const char* p, const char* end);
  bool LoadGlobalOption(const char* p, const char* end);
  void LoadValue(const char* p, const char* end);
  bool LoadData(const char* p, const char* end, RegValue& value);
  bool LoadString(const char* p, const char* end, std::vector<std::uint8_t>& out);
  void LoadDword(const char* p, const char* end, std::vector<std::uint8_t>& out);
  bool ParseHex(const char* p, const char* end, std::vector<std::uint8_t>& out);
  std::optional<unsigned> ParseWideHexByte(const char*& p, const char* end);

  LineReader lines_;
  RegBranch& branch_;
  RegKey::Loader tree_{branch_.root};
  std::size_t problemCount_ = 0;
  ParseResult result_;

  RegKey* key_ = nullptr;  // the key of the current block; null before the first or after a bad one
  bool seenKey_ = false;
  std::uint64_t headerTime_ = 0;
  std::uint64_t now_ = 0;
  std::vector<RegValue> pending_;  // the current block's values, added to the key at its end

  std::u16string pathTmp_, nameTmp_, dataTmp_, classTmp_;
  std::vector<std::uint8_t> bytesTmp_;
};

ParseResult RegFileLoader::LoadKeys() {
  branch_.rootComment.clear();
  branch_.options.clear();
  branch_.root = RegKey(std::u16string(branch_.root.Name()));

  std::string_view line;
  if (!NextLine(line) || line != kMagicLine) {
    Problem("not a Wine registry file (line 1)");
    return Finish(false);
  }
  while (NextLine(line)) {
    if (lines_.LineNumber() == 2 && line.starts_with(";;")) {
      branch_.rootComment = KeptVerbatim(line);
      continue;
    }
    const char* end = line.data() + line.size();
    if (!LoadLine(SkipCSpace(line.data(), end), end)) return Finish(false);
  }
  EndBlock();
  return Finish(true);
}

// One line after the header; false when the file must not be loaded any further.
bool RegFileLoader::LoadLine(const char* p, const char* end) {
  if (p == end) return true;
  switch (*p) {
    case '[':
      LoadKey(p + 1, end);
      return true;
    case '@':
    case '"':
      if (key_) LoadValue(p, end);
      else Problem("value without a key");
      return true;
    case '#':
      if (!key_) return LoadGlobalOption(p, end);
      LoadKeyOption(p, end);
      return true;
    case ';':
      return true;
    default:
      Problem("unrecognized input");
      return true;
  }
}

// A line kept to be written back as it is. A CR left at its end would be taken for part of
// the line end when read again, so it is dropped, and the file is not rewritten unasked.
std::string_view RegFileLoader::KeptVerbatim(std::string_view line) {
  if (!line.ends_with('\r')) return line;
  Problem("CR inside a line end");
  while (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

void RegFileLoader::Problem(std::string_view what) {
  ++problemCount_;
  if (result_.problems.size() < kMaxProblemsListed)
    result_.problems.push_back("line " + std::to_string(lines_.LineNumber()) + ": " + std::string(what));
}

ParseResult RegFileLoader::Finish(bool valid) {
  tree_.Finish();
  if (lines_.ReadFailed()) {
    Problem("read error");
    valid = false;
  }
  if (problemCount_ > result_.problems.size())
    result_.problems.push_back("... " + std::to_string(problemCount_ - result_.problems.size()) + " more");
  // A branch with no key block at all has had no time yet: it takes the load time, as every
  // key Wine creates does, so that what is written of it reads back the same.
  if (branch_.root.Modified() == 0) branch_.root.SetModified(now_ ? now_ : FileTimeNow());
  result_.valid = valid;
  result_.complete = valid && problemCount_ == 0;
  return std::move(result_);
}

void RegFileLoader::EndBlock() {
  if (!key_) return;
  tree_.AddValues(*key_, pending_);
  SetTimeIfUnset(key_, headerTime_);
}

// "[path] seconds": ends the last block and opens the key of the next.
void RegFileLoader::LoadKey(const char* p, const char* end) {
  EndBlock();
  key_ = nullptr;
  seenKey_ = true;

  pathTmp_.clear();
  const Unescaped path = AppendUnescaped(pathTmp_, p, end, ']');
  if (!path.next) {
    Problem("malformed key");
    return;
  }
  if (!path.lossless) Problem("invalid UTF-8 in key name");
  headerTime_ = LoadKeyTime(path.next, end);

  if (pathTmp_.empty() || pathTmp_[0] == 0) {  // Wine takes a name that starts with NUL as the root too
    key_ = &branch_.root;
    return;
  }
  if (pathTmp_[0] == u'\\') {
    Problem("key path starts with a backslash");
    return;
  }
  key_ = &tree_.KeyAt(pathTmp_);
}

// The seconds after a key's name, or the load time when there are none.
std::uint64_t RegFileLoader::LoadKeyTime(const char* afterName, const char* end) {
  const char* q = SkipCSpace(afterName, end);
  const char* stop;
  const std::uint64_t seconds = StrToUL(q, end, 10, &stop);
  if (!OnlySpaceLeft(stop == q ? afterName : stop, end)) Problem("unexpected text after key");
  if (stop != q) return HeaderTime(seconds);
  if (!now_) now_ = FileTimeNow();
  return now_;
}

void RegFileLoader::LoadKeyOption(const char* p, const char* end) {
  if (StartsWith(p, end, "#time=")) {
    std::uint64_t time = 0;
    const char* q = p + 6;
    for (; q < end && IsHexDigit(*q); ++q) time = (time << 4) | HexValue(*q);
    if (q == p + 6 || q - (p + 6) > 16 || !OnlySpaceLeft(q, end)) Problem("malformed #time");
    SetTimeIfUnset(key_, time);
  } else if (StartsWith(p, end, "#class=")) {
    LoadClassOption(p + 7, end);
  } else if (StartsWith(p, end, "#link")) {
    if (!OnlySpaceLeft(p + 5, end)) Problem("unexpected text after #link");
    key_->SetLink(true);
  } else {
    Problem("unknown key option");  // Wine ignores it, but a rewrite would drop it
  }
}

void RegFileLoader::LoadClassOption(const char* p, const char* end) {
  classTmp_.clear();
  Unescaped cls;
  if (p < end && *p == '"') cls = AppendUnescaped(classTmp_, p + 1, end, '"');
  if (!cls.next) {
    Problem("malformed #class");
    return;
  }
  if (!cls.lossless || !OnlySpaceLeft(cls.next, end)) Problem("malformed #class");
  key_->SetClassName(classTmp_);
}

// A "#..." line before the first key; false for an #arch= Wine refuses to load.
bool RegFileLoader::LoadGlobalOption(const char* p, const char* end) {
  const std::string_view option(p, static_cast<std::size_t>(end - p));
  if (option.starts_with("#arch=")) {
    const std::string_view arch = option.substr(6);
    if (arch != "win32" && arch != "win64") {
      Problem("unknown architecture");
      return false;
    }
    if (!result_.arch.empty() && result_.arch != arch) {
      Problem("mismatched architecture");
      return false;
    }
    result_.arch = arch;
  }
  if (seenKey_) Problem("option without a key");  // after a key that failed
  else branch_.options.emplace_back(KeptVerbatim(option));
  return true;
}

// "name"=data or @=data.
void RegFileLoader::LoadValue(const char* p, const char* end) {
  nameTmp_.clear();
  const char* q = p + 1;
  if (*p != '@') {
    const Unescaped name = AppendUnescaped(nameTmp_, p + 1, end, '"');
    if (!name.next) {
      Problem("malformed value name");
      return;
    }
    if (!name.lossless) Problem("invalid UTF-8 in value name");
    q = name.next;
  }
  q = SkipCSpace(q, end);
  if (q == end || *q != '=') {
    Problem("malformed value name");
    return;
  }
  RegValue value{nameTmp_, REG_NONE, {}};
  if (!LoadData(SkipCSpace(q + 1, end), end, value)) {
    Problem("malformed value");
    value.type = REG_NONE;  // Wine keeps the name with no data
    value.data.clear();
  }
  pending_.push_back(std::move(value));
}

bool RegFileLoader::LoadData(const char* p, const char* end, RegValue& value) {
  const ValueTag* tag = GetDataType(p, end);
  if (tag == nullptr) return false;
  p += tag->text.size();
  value.type = tag->type;
  switch (tag->form) {
    case DataForm::kString:
      return LoadString(p, end, value.data);
    case DataForm::kDword:
      LoadDword(p, end, value.data);
      return true;
    case DataForm::kHex:
      return ParseHex(p, end, value.data);
    case DataForm::kTypedHex: {
      const char* stop;
      const std::uint64_t type = StrToUL(p, end, 16, &stop);
      if (!StartsWith(stop, end, "):")) return false;
      // Wine keeps the low 32 bits; writing those back would change the file.
      if (type > UINT32_MAX) Problem("type wider than 32 bits");
      value.type = static_cast<std::uint32_t>(type);
      return ParseHex(stop + 2, end, value.data);
    }
  }
  return false;
}

// Escaped text up to the closing quote, kept as UTF-16LE with its final NUL.
bool RegFileLoader::LoadString(const char* p, const char* end, std::vector<std::uint8_t>& out) {
  dataTmp_.clear();
  const Unescaped text = AppendUnescaped(dataTmp_, p, end, '"');
  if (!text.next) return false;
  if (!text.lossless) Problem("invalid UTF-8 in value");
  if (!OnlySpaceLeft(text.next, end)) Problem("unexpected text after value");
  dataTmp_.push_back(0);
  BytesFromUnits(dataTmp_, out);
  return true;
}

// Eight hex digits, read as strtoul reads them; other digits load but are noted, as a rewrite
// would not give them back.
void RegFileLoader::LoadDword(const char* p, const char* end, std::vector<std::uint8_t>& out) {
  const char* stop;
  const auto dword = static_cast<std::uint32_t>(StrToUL(p, end, 16, &stop));
  const char* digits = p;
  while (digits < end && IsHexDigit(*digits)) ++digits;
  if (digits == p || digits - p > 8 || !OnlySpaceLeft(digits, end)) Problem("malformed dword");
  out = LittleEndian(dword);
}

// Hex bytes, continued on the next line after a trailing backslash.
bool RegFileLoader::ParseHex(const char* p, const char* end, std::vector<std::uint8_t>& out) {
  bytesTmp_.clear();
  for (;;) {
    while (p < end && IsHexDigit(*p)) {
      unsigned byte;
      if (end - p >= 2 && IsHexDigit(p[1]) && (end - p == 2 || !IsHexDigit(p[2]))) {
        byte = HexValue(p[0]) << 4 | HexValue(p[1]);  // two digits: nearly every byte, kept inline
        p += 2;
      } else if (const std::optional<unsigned> wide = ParseWideHexByte(p, end)) {
        byte = *wide;
      } else {
        return false;
      }
      bytesTmp_.push_back(static_cast<std::uint8_t>(byte));
      while (p < end && (IsCSpace(*p) || *p == ',')) ++p;
    }
    p = SkipCSpace(p, end);
    if (p == end) break;
    if (*p != '\\') return false;
    std::string_view next;
    if (!NextLine(next)) return false;
    end = next.data() + next.size();
    p = SkipCSpace(next.data(), end);
  }
  out.assign(bytesTmp_.begin(), bytesTmp_.end());
  return true;
}

// A byte of a hex dump that is not two digits, advancing p: strtoul's reading, which must stay
// below 0x100.
std::optional<unsigned> RegFileLoader::ParseWideHexByte(const char*& p, const char* end) {
  const char* stop;
  const auto wide = static_cast<std::uint32_t>(StrToUL(p, end, 16, &stop));
  if (stop == p || wide > 0xFF) return std::nullopt;
  p = stop;
  return wide;
}

ParseResult ParseRegFile(std::string_view text, RegBranch& branch) { return RegFileLoader(text, branch).LoadKeys(); }

ParseResult ParseRegStream(const ReadChunk& read, RegBranch& branch) { return RegFileLoader(read, branch).LoadKeys(); }

}  // namespace vidazoz::wineprefix

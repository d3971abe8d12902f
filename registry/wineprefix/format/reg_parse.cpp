// ParseRegFile: reads Wine's registry text format the way Wine's server loads it, and notes
// every line whose content would not survive a rewrite.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <unordered_map>

#include "file_time.h"
#include "hex_digits.h"
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

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

const char* SkipSpace(const char* p, const char* end) {
  while (p < end && IsSpace(*p)) ++p;
  return p;
}

bool OnlySpaceLeft(const char* p, const char* end) { return SkipSpace(p, end) == end; }

// C's strtoul over [p, end): leading space, a sign, "0x" before a hex digit, saturating on
// overflow. *stop is p when there are no digits.
std::uint64_t StrToUL(const char* p, const char* end, unsigned base, const char** stop) {
  const char* s = SkipSpace(p, end);
  bool negative = false;
  if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
  if (base == 16 && end - s >= 3 && s[0] == '0' && (s[1] | 0x20) == 'x' && IsHexDigit(s[2])) s += 2;
  const char* digits = s;
  std::uint64_t value = 0;
  bool overflow = false;
  for (; s < end; ++s) {
    unsigned d;
    if (*s >= '0' && *s <= '9') d = static_cast<unsigned>(*s - '0');
    else if (base == 16 && IsHexDigit(*s)) d = HexValue(*s);
    else break;
    if (d >= base) break;
    std::uint64_t next;
    if (__builtin_mul_overflow(value, base, &next) || __builtin_add_overflow(next, d, &next)) overflow = true;
    else value = next;
  }
  if (s == digits) {
    *stop = p;
    return 0;
  }
  *stop = s;
  if (overflow) return UINT64_MAX;
  return negative ? 0 - value : value;
}

bool StartsWith(const char* p, const char* end, std::string_view prefix) {
  return static_cast<std::size_t>(end - p) >= prefix.size() && std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

// Where names sit in the lists of keys that came out of order, by (key, NameHash(name)): open
// addressing, so that a million names cost no allocation apiece.
class NameIndex {
 public:
  // Calls isIt(position) for each position stored under (key, hash) until one returns true.
  template <typename IsIt>
  bool Find(const void* key, std::uint64_t hash, IsIt isIt) const {
    if (slots_.empty()) return false;
    for (std::size_t i = Home(key, hash);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& slot = slots_[i];
      if (slot.key == nullptr) return false;
      if (slot.key == key && slot.hash == hash && isIt(slot.position)) return true;
    }
  }

  void Add(const void* key, std::uint64_t hash, std::size_t position) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    Place({key, hash, position});
    ++used_;
  }

  void Clear() {
    slots_ = {};
    used_ = 0;
  }

 private:
  struct Slot {
    const void* key = nullptr;
    std::uint64_t hash = 0;
    std::size_t position = 0;
  };

  std::size_t Home(const void* key, std::uint64_t hash) const {
    std::uint64_t h = hash ^ (reinterpret_cast<std::uintptr_t>(key) * 0x9e3779b97f4a7c15ull);
    h = (h ^ (h >> 31)) * 0xbf58476d1ce4e5b9ull;
    return static_cast<std::size_t>(h ^ (h >> 29)) & (slots_.size() - 1);
  }

  void Place(const Slot& slot) {
    std::size_t i = Home(slot.key, slot.hash);
    while (slots_[i].key != nullptr) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = slot;
  }

  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
    for (const Slot& slot : old)
      if (slot.key != nullptr) Place(slot);
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace

class RegFileParser {
 public:
  RegFileParser(std::string_view text, RegBranch& branch) : lines_(text), branch_(branch) {}
  RegFileParser(const ReadChunk& read, RegBranch& branch) : lines_(read, kMaxChunk), branch_(branch) {}
  // Should a parse throw (out of memory), the branch it leaves is at least sorted.
  ~RegFileParser() { SortWhatCameOutOfOrder(); }
  RegFileParser(const RegFileParser&) = delete;
  RegFileParser& operator=(const RegFileParser&) = delete;

  ParseResult Run() {
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
      const char* p = SkipSpace(line.data(), line.data() + line.size());
      const char* end = line.data() + line.size();
      if (p == end) continue;
      switch (*p) {
        case '[':
          KeyLine(p + 1, end);
          break;
        case '@':
        case '"':
          if (key_) ValueLine(p, end);
          else Problem("value without a key");
          break;
        case '#':
          if (key_) {
            KeyOption(p, end);
          } else if (!GlobalOption(p, end)) {
            return Finish(false);
          }
          break;
        case ';':
          break;
        default:
          Problem("unrecognized input");
          break;
      }
    }
    EndBlock();
    return Finish(true);
  }

 private:
  bool NextLine(std::string_view& line) {
    if (!lines_.Next(line)) return false;
    if (lines_.CutAtNul()) Problem("NUL byte in line");
    return true;
  }

  // A line kept to be written back as it is. A CR left at its end would be taken for part of
  // the line end when read again, so it is dropped, and the file is not rewritten unasked.
  std::string_view KeptVerbatim(std::string_view line) {
    if (!line.ends_with('\r')) return line;
    Problem("CR inside a line end");
    while (line.ends_with('\r')) line.remove_suffix(1);
    return line;
  }

  void Problem(std::string_view what) {
    ++problemCount_;
    if (result_.problems.size() < kMaxProblemsListed)
      result_.problems.push_back("line " + std::to_string(lines_.LineNumber()) + ": " + std::string(what));
  }

  ParseResult Finish(bool valid) {
    SortWhatCameOutOfOrder();
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

  // A key's time comes from the first block that gives one; parents created only as part of a
  // path take the time of the first descendant.
  static void SetTimeIfUnset(RegKey* key, std::uint64_t filetime) {
    for (; key != nullptr && key->Modified() == 0; key = key->Parent()) key->SetModified(filetime);
  }

  void EndBlock() {
    if (!key_) return;
    FlushValues();
    SetTimeIfUnset(key_, headerTime_);
  }

  void KeyLine(const char* p, const char* end) {
    EndBlock();
    key_ = nullptr;
    seenKey_ = true;

    newPath_.clear();
    const Unescaped path = AppendUnescaped(newPath_, p, end, ']');
    if (!path.next) {
      Problem("malformed key");
      return;
    }
    if (!path.lossless) Problem("invalid UTF-8 in key name");

    const char* stop;
    const char* q = SkipSpace(path.next, end);
    const std::uint64_t seconds = StrToUL(q, end, 10, &stop);
    if (stop != q) {
      headerTime_ = static_cast<std::uint32_t>(seconds) * kTicksPerSecond + kTicks1601To1970;
    } else {
      if (!now_) now_ = FileTimeNow();
      headerTime_ = now_;
    }
    if (!OnlySpaceLeft(stop == q ? path.next : stop, end)) Problem("unexpected text after key");

    if (newPath_.empty() || newPath_[0] == 0) {  // Wine takes a name that starts with NUL as the root too
      key_ = &branch_.root;
      return;
    }
    if (newPath_[0] == u'\\') {
      Problem("key path starts with a backslash");
      return;
    }
    key_ = FindOrCreatePath();
  }

  // Consecutive blocks usually share most of their path: reuse the keys found for the last one.
  RegKey* FindOrCreatePath() {
    newSpans_.clear();
    const std::size_t n = newPath_.size();
    for (std::size_t i = 0; i < n;) {
      while (i < n && newPath_[i] == u'\\') ++i;
      const std::size_t start = i;
      while (i < n && newPath_[i] != u'\\') ++i;
      if (i > start) newSpans_.push_back({start, i - start});
    }
    std::size_t depth = 0;
    RegKey* key = &branch_.root;
    const std::u16string_view now(newPath_), before(path_);
    while (depth < newSpans_.size() && depth < spans_.size() &&
           now.substr(newSpans_[depth].first, newSpans_[depth].second) ==
               before.substr(spans_[depth].first, spans_[depth].second)) {
      key = pathKeys_[depth++];
    }
    pathKeys_.resize(depth);
    for (; depth < newSpans_.size(); ++depth) {
      key = &Subkey(*key, now.substr(newSpans_[depth].first, newSpans_[depth].second));
      pathKeys_.push_back(key);
    }
    path_.swap(newPath_);
    spans_.swap(newSpans_);
    return key;
  }

  void KeyOption(const char* p, const char* end) {
    if (StartsWith(p, end, "#time=")) {
      std::uint64_t time = 0;
      const char* q = p + 6;
      for (; q < end && IsHexDigit(*q); ++q) time = (time << 4) | HexValue(*q);
      if (q == p + 6 || q - (p + 6) > 16 || !OnlySpaceLeft(q, end)) Problem("malformed #time");
      SetTimeIfUnset(key_, time);
    } else if (StartsWith(p, end, "#class=")) {
      const char* q = p + 7;
      classTmp_.clear();
      Unescaped cls;
      if (q < end && *q == '"') cls = AppendUnescaped(classTmp_, q + 1, end, '"');
      if (!cls.next) {
        Problem("malformed #class");
        return;
      }
      if (!cls.lossless || !OnlySpaceLeft(cls.next, end)) Problem("malformed #class");
      key_->SetClassName(classTmp_);
    } else if (StartsWith(p, end, "#link")) {
      if (!OnlySpaceLeft(p + 5, end)) Problem("unexpected text after #link");
      key_->SetLink(true);
    } else {
      Problem("unknown key option");  // Wine ignores it, but a rewrite would drop it
    }
  }

  bool GlobalOption(const char* p, const char* end) {
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

  void ValueLine(const char* p, const char* end) {
    nameTmp_.clear();
    const char* q;
    if (*p == '@') {
      q = p + 1;
    } else {
      const Unescaped name = AppendUnescaped(nameTmp_, p + 1, end, '"');
      if (!name.next) {
        Problem("malformed value name");
        return;
      }
      if (!name.lossless) Problem("invalid UTF-8 in value name");
      q = name.next;
    }
    q = SkipSpace(q, end);
    if (q == end || *q != '=') {
      Problem("malformed value name");
      return;
    }
    q = SkipSpace(q + 1, end);

    RegValue value{nameTmp_, REG_NONE, {}};
    if (!ParseData(q, end, value)) {
      Problem("malformed value");
      value.type = REG_NONE;  // Wine keeps the name with no data
      value.data.clear();
    }
    AddPendingValue(std::move(value));
  }

  bool ParseData(const char* p, const char* end, RegValue& value) {
    const ValueTag* tag = std::find_if(std::begin(kValueTags), std::end(kValueTags),
                                       [&](const ValueTag& t) { return StartsWith(p, end, t.text); });
    if (tag == std::end(kValueTags)) return false;
    p += tag->text.size();
    value.type = tag->type;
    switch (tag->form) {
      case DataForm::kString: {
        dataTmp_.clear();
        const Unescaped text = AppendUnescaped(dataTmp_, p, end, '"');
        if (!text.next) return false;
        if (!text.lossless) Problem("invalid UTF-8 in value");
        if (!OnlySpaceLeft(text.next, end)) Problem("unexpected text after value");
        dataTmp_.push_back(0);
        BytesFromUnits(dataTmp_, value.data);
        return true;
      }
      case DataForm::kDword: {
        const char* stop;
        const auto dword = static_cast<std::uint32_t>(StrToUL(p, end, 16, &stop));
        const char* digits = p;
        while (digits < end && IsHexDigit(*digits)) ++digits;
        if (digits == p || digits - p > 8 || !OnlySpaceLeft(digits, end)) Problem("malformed dword");
        value.data = {static_cast<std::uint8_t>(dword), static_cast<std::uint8_t>(dword >> 8),
                      static_cast<std::uint8_t>(dword >> 16), static_cast<std::uint8_t>(dword >> 24)};
        return true;
      }
      case DataForm::kHex:
        return ParseHexData(p, end, value.data);
      case DataForm::kTypedHex: {
        const char* stop;
        const std::uint64_t type = StrToUL(p, end, 16, &stop);
        if (!StartsWith(stop, end, "):")) return false;
        // Wine keeps the low 32 bits; writing those back would change the file.
        if (type > UINT32_MAX) Problem("type wider than 32 bits");
        value.type = static_cast<std::uint32_t>(type);
        return ParseHexData(stop + 2, end, value.data);
      }
    }
    return false;
  }

  // Hex bytes, continued on the next line after a trailing backslash.
  bool ParseHexData(const char* p, const char* end, std::vector<std::uint8_t>& out) {
    bytesTmp_.clear();
    for (;;) {
      while (p < end && IsHexDigit(*p)) {
        unsigned byte;
        if (end - p >= 2 && IsHexDigit(p[1]) && (end - p == 2 || !IsHexDigit(p[2]))) {
          byte = HexValue(p[0]) << 4 | HexValue(p[1]);
          p += 2;
        } else {
          const char* stop;
          const auto wide = static_cast<std::uint32_t>(StrToUL(p, end, 16, &stop));
          if (stop == p || wide > 0xFF) return false;
          byte = wide;
          p = stop;
        }
        bytesTmp_.push_back(static_cast<std::uint8_t>(byte));
        while (p < end && (IsSpace(*p) || *p == ',')) ++p;
      }
      p = SkipSpace(p, end);
      if (p == end) break;
      if (*p != '\\') return false;
      std::string_view next;
      if (!NextLine(next)) return false;
      end = next.data() + next.size();
      p = SkipSpace(next.data(), end);
    }
    out.assign(bytesTmp_.begin(), bytesTmp_.end());
    return true;
  }

  void AddPendingValue(RegValue&& value) {
    if (!pending_.empty() && CompareNames(pending_.back().name, value.name) >= 0) pendingSorted_ = false;
    pending_.push_back(std::move(value));
  }

  // The values of a block go in together: one allocation of the right size in the common case.
  void FlushValues() {
    if (pending_.empty()) return;
    if (pendingSorted_ && key_->values_.empty()) {
      std::vector<RegValue> values;
      values.reserve(pending_.size());
      for (auto& v : pending_) values.push_back(std::move(v));
      key_->values_ = std::move(values);
    } else {
      for (auto& v : pending_) AddValue(*key_, std::move(v));
    }
    pending_.clear();
    pendingSorted_ = true;
  }

  // Files list names in order, so a new one usually goes at the end. A key whose sub-keys or
  // values come out of order (a hostile file can reverse them all) stops keeping them sorted:
  // new ones are appended, found if need be through a hash index, and the list is sorted once
  // at the end. Inserting each in its place would cost O(n) apiece, O(n^2) in all.
  struct OutOfOrder {
    std::size_t lowest = 0, highest = 0;  // positions of the lowest and highest names
    bool indexed = false;
  };

  RegKey& Subkey(RegKey& parent, std::u16string_view name) {
    auto& subkeys = parent.subkeys_;
    auto it = unsortedSubkeys_.empty() ? unsortedSubkeys_.end() : unsortedSubkeys_.find(&parent);
    if (it == unsortedSubkeys_.end()) {
      if (subkeys.empty() || CompareNames(subkeys.back()->Name(), name) < 0) {
        subkeys.push_back(std::make_unique<RegKey>(std::u16string(name), &parent));
        return *subkeys.back();
      }
      if (RegKey* found = parent.FindSubkey(name)) return *found;
      it = unsortedSubkeys_.emplace(&parent, OutOfOrder{0, subkeys.size() - 1, false}).first;
    }
    const auto nameOf = [](const std::unique_ptr<RegKey>& k) -> std::u16string_view { return k->Name(); };
    const std::size_t at = FindOutOfOrder(&parent, it->second, subkeys, name, nameOf, subkeyIndex_);
    if (at != kNowhere) return *subkeys[at];
    subkeys.push_back(std::make_unique<RegKey>(std::u16string(name), &parent));
    AppendedOutOfOrder(&parent, it->second, subkeys, nameOf, subkeyIndex_);
    return *subkeys.back();
  }

  // As Subkey, for values: a name seen before keeps its first spelling and takes the new data.
  void AddValue(RegKey& key, RegValue&& value) {
    auto& values = key.values_;
    auto it = unsortedValues_.empty() ? unsortedValues_.end() : unsortedValues_.find(&key);
    std::size_t at = kNowhere;
    if (it == unsortedValues_.end()) {
      if (values.empty() || CompareNames(values.back().name, value.name) < 0) {
        values.push_back(std::move(value));
        return;
      }
      if (const RegValue* found = key.FindValue(value.name)) at = static_cast<std::size_t>(found - values.data());
      else it = unsortedValues_.emplace(&key, OutOfOrder{0, values.size() - 1, false}).first;
    }
    const auto nameOf = [](const RegValue& v) -> std::u16string_view { return v.name; };
    if (at == kNowhere) at = FindOutOfOrder(&key, it->second, values, value.name, nameOf, valueIndex_);
    if (at != kNowhere) {
      values[at].type = value.type;
      values[at].data = std::move(value.data);
      return;
    }
    values.push_back(std::move(value));
    AppendedOutOfOrder(&key, it->second, values, nameOf, valueIndex_);
  }

  static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

  // The position of name in an out-of-order list, or kNowhere. A name beyond either end of what
  // the list holds is not in it: a reversed list never needs the index.
  template <typename List, typename NameOf>
  static std::size_t FindOutOfOrder(const RegKey* owner, OutOfOrder& order, const List& list, std::u16string_view name,
                                    NameOf nameOf, NameIndex& index) {
    if (CompareNames(name, nameOf(list[order.lowest])) < 0 || CompareNames(name, nameOf(list[order.highest])) > 0)
      return kNowhere;
    if (!order.indexed) {
      for (std::size_t i = 0; i < list.size(); ++i) index.Add(owner, NameHash(nameOf(list[i])), i);
      order.indexed = true;
    }
    std::size_t at = kNowhere;
    index.Find(owner, NameHash(name), [&](std::size_t i) {
      if (!SameName(nameOf(list[i]), name)) return false;
      at = i;
      return true;
    });
    return at;
  }

  template <typename List, typename NameOf>
  static void AppendedOutOfOrder(const RegKey* owner, OutOfOrder& order, const List& list, NameOf nameOf,
                                 NameIndex& index) {
    const std::size_t at = list.size() - 1;
    const std::u16string_view name = nameOf(list[at]);
    if (CompareNames(name, nameOf(list[order.lowest])) < 0) order.lowest = at;
    if (CompareNames(name, nameOf(list[order.highest])) > 0) order.highest = at;
    if (order.indexed) index.Add(owner, NameHash(name), at);
  }

  template <typename List, typename Less>
  static void SortList(List& list, Less less) {
    // A wholly reversed list, the likeliest hostile order, is turned round in one pass.
    if (std::is_sorted(list.rbegin(), list.rend(), less)) std::reverse(list.begin(), list.end());
    else std::sort(list.begin(), list.end(), less);
  }

  void SortWhatCameOutOfOrder() noexcept {
    for (auto& [parent, order] : unsortedSubkeys_)
      SortList(parent->subkeys_, [](const auto& a, const auto& b) { return CompareNames(a->Name(), b->Name()) < 0; });
    for (auto& [key, order] : unsortedValues_)
      SortList(key->values_, [](const RegValue& a, const RegValue& b) { return CompareNames(a.name, b.name) < 0; });
    unsortedSubkeys_.clear();
    unsortedValues_.clear();
    subkeyIndex_.Clear();
    valueIndex_.Clear();
  }

  LineReader lines_;
  RegBranch& branch_;
  std::size_t problemCount_ = 0;
  ParseResult result_;

  RegKey* key_ = nullptr;  // the key of the current block; null before the first or after a bad one
  bool seenKey_ = false;
  std::uint64_t headerTime_ = 0;
  std::uint64_t now_ = 0;
  std::vector<RegValue> pending_;
  bool pendingSorted_ = true;

  // The last block's decoded path, its components and their keys.
  std::u16string path_, newPath_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_, newSpans_;
  std::vector<RegKey*> pathKeys_;

  // Keys whose sub-keys or values came out of order, and the indexes that find them meanwhile.
  std::unordered_map<RegKey*, OutOfOrder> unsortedSubkeys_, unsortedValues_;
  NameIndex subkeyIndex_, valueIndex_;

  std::u16string nameTmp_, dataTmp_, classTmp_;
  std::vector<std::uint8_t> bytesTmp_;
};

ParseResult ParseRegFile(std::string_view text, RegBranch& branch) { return RegFileParser(text, branch).Run(); }

ParseResult ParseRegStream(const ReadChunk& read, RegBranch& branch) { return RegFileParser(read, branch).Run(); }

}  // namespace vidazoz::wineprefix

#include "reg_escape.h"

#include <gtest/gtest.h>

#include <random>

namespace vidazoz::wineprefix {
namespace {

std::string Escape(std::u16string_view s, std::string_view quoted = "\"\"", FinalNul finalNul = FinalNul::kImplied) {
  std::string out = "prefix";
  const std::size_t appended = AppendEscaped(out, s, quoted, finalNul);
  EXPECT_EQ(appended, out.size() - 6);
  return out.substr(6);
}

// Decodes a whole quoted text (without its opening quote); "<unterminated>" when it has no end.
std::u16string Unescape(std::string_view text, char delimiter = '"', bool* lossless = nullptr) {
  std::u16string out;
  const Unescaped r = AppendUnescaped(out, text.data(), text.data() + text.size(), delimiter);
  if (lossless) *lossless = r.lossless;
  if (!r.next) return u"<unterminated>";
  return out;
}

TEST(Escape, WritesLikeWinesServer) {
  struct Case {
    std::u16string in;
    std::string out;
  } cases[] = {
      {u"plain ~!", "plain ~!"},
      {u"back\\slash \"q\" [b]", "back\\\\slash \\\"q\\\" [b]"},
      {std::u16string(u"\x7f"), "\x7f"},
      {u"\a\b\t\n\v\f\r\x1b", "\\a\\b\\t\\n\\v\\f\\r\\e"},
      {std::u16string(u"\x01x\x1fz", 4), "\\1x\\37z"},
      {std::u16string(u"\x01" u"7", 2), "\\0017"},   // an octal digit follows: three digits
      {std::u16string(u"\x01" u"8", 2), "\\18"},     // 8 is no octal digit
      {std::u16string(u"a\0b", 3), "a\\0b"},
      {std::u16string(u"\0" u"0", 2), "\\0000"},
      {std::u16string(u"abc\0", 4), "abc"},          // the final NUL is implied
      {std::u16string(u"\0\0", 2), "\\0"},
      {u"\u00e9", "\\xe9"},
      {u"\u00e9g", "\\xe9g"},                         // g is no hex digit
      {u"\u00e91", "\\x00e91"},                       // a hex digit follows: four digits
      {u"\u00e9F", "\\x00e9F"},
      {u"\u65e5\u00e9", "\\x65e5\\xe9"},
      {u"\U0001F600", "\\xd83d\\xde00"},
  };
  for (const auto& c : cases) EXPECT_EQ(Escape(c.in), c.out) << c.out;
}

TEST(Escape, KeyNamesQuoteBracketsNotQuotes) {
  EXPECT_EQ(Escape(u"a[b]c\"d", "[]"), "a\\[b\\]c\"d");
  EXPECT_EQ(Escape(u"a[b]c\"d"), "a[b]c\\\"d");
}

TEST(Unescape, ReadsLikeWinesServer) {
  EXPECT_EQ(Unescape("\\a\\b\\e\\f\\n\\r\\t\\v\""), u"\a\b\x1b\f\n\r\t\v");
  EXPECT_EQ(Unescape("\\x1F600\""), u"\u1f60" u"0");
  EXPECT_EQ(Unescape("\\xzz\""), u"xzz");
  EXPECT_EQ(Unescape("\\x41\\xe9\""), u"A\u00e9");
  EXPECT_EQ(Unescape("\\101\\0\\7\\0018\""), std::u16string(u"A\0\a\x01" u"8", 5));
  EXPECT_EQ(Unescape("\\\\\\\"\\[\\]\\/\\q\""), u"\\\"[]/q");
  EXPECT_EQ(Unescape("caf\xc3\xa9 \xf0\x9f\x98\x80\""), u"caf\u00e9 \U0001F600");
  EXPECT_EQ(Unescape("a]b", ']'), u"a");
  EXPECT_EQ(Unescape("a\\]b]", ']'), u"a]b");
}

TEST(Unescape, MissingDelimiterIsReported) {
  EXPECT_EQ(Unescape("abc"), u"<unterminated>");
  EXPECT_EQ(Unescape("abc\\\""), u"<unterminated>");  // the quote is escaped
  EXPECT_EQ(Unescape("abc\\"), u"<unterminated>");    // a lone backslash at the end of the line
  EXPECT_EQ(Unescape("\\x"), u"<unterminated>");
  EXPECT_EQ(Unescape("\\1"), u"<unterminated>");
}

TEST(Unescape, InvalidUtf8IsDroppedAndFlagged) {
  bool lossless = true;
  EXPECT_EQ(Unescape("a\x80" "b\xc3(\xe2\x82\"", '"', &lossless), u"ab(");
  EXPECT_FALSE(lossless);
  EXPECT_EQ(Unescape("\xc0\xaf!\"", '"', &lossless), u"!");  // overlong
  EXPECT_FALSE(lossless);
  EXPECT_EQ(Unescape("ok\"", '"', &lossless), u"ok");
  EXPECT_TRUE(lossless);
}

TEST(EscapeRoundTrip, AnyUnitsSurvive) {
  std::mt19937 rng(42);
  const char16_t alphabet[] = {0, 1, 7, '0', '7', '8', '9', 'a', 'f', 'g', 'F', 'x', '\\', '"', '[', ']',
                               ' ', 0x1b, 0x1f, 0x7f, 0x80, 0xe9, 0xffff, 0xd83d, 0x100};
  for (int round = 0; round < 2000; ++round) {
    std::u16string s(rng() % 12, u'a');
    for (auto& c : s) c = alphabet[rng() % std::size(alphabet)];
    for (const std::string_view quoted : {std::string_view("\"\""), std::string_view("[]")}) {
      const std::string text = Escape(s, quoted, FinalNul::kWritten) + quoted[1];
      for (unsigned char c : text) ASSERT_LT(c, 0x80);
      ASSERT_EQ(Unescape(text, quoted[1]), s) << text;
    }
  }
}

}  // namespace
}  // namespace vidazoz::wineprefix

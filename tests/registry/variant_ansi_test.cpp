#include <gtest/gtest.h>

#include "Error.h"
#include "Variant.h"
#include "ansi.h"

namespace vidazoz {
namespace {

TEST(VariantText, NumbersInDecimalEmptyAsNothingAndArraysHaveNoText) {
  EXPECT_EQ(Variant().ToText(), "");
  EXPECT_EQ(Variant(std::int16_t{-1}).ToText(), "-1");
  EXPECT_EQ(Variant(std::int32_t{-2147483646}).ToText(), "-2147483646");
  EXPECT_EQ(Variant(1.5).ToText(), "1.5");
  EXPECT_EQ(Variant(1e20).ToText(), "1E+20");
  EXPECT_EQ(Variant(Boolean::True).ToText(), "True");
  try {
    (void)Variant(ByteArray{{1, 2}, 0}).ToText();
    FAIL() << "an array of bytes has no text form";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), errnum::TypeMismatch);
  }
}

TEST(VariantIntegers, SixteenAndThirtyTwoBitWidenWithTheirSign) {
  EXPECT_EQ(Variant(std::int16_t{-1}).ToLong(), -1);
  EXPECT_TRUE(Variant(std::int16_t{3}).IsInteger());
  EXPECT_FALSE(Variant(3.0).IsInteger());
  EXPECT_FALSE(Variant("3").IsInteger());
  EXPECT_THROW((void)Variant("3").ToLong(), Error);
}

TEST(ByteArrays, BoundsFollowTheLowerBound) {
  ByteArray a{{10, 20, 30}, 5};
  EXPECT_EQ(a.LBound(), 5);
  EXPECT_EQ(a.UBound(), 7);
  EXPECT_EQ(a(6), 20);
  EXPECT_EQ(ByteArray{}.UBound(), -1);
}

TEST(Ansi, Windows1252RoundTripsAndUnknownCharactersBecomeQuestionMarks) {
  EXPECT_EQ(ansi::FromUtf8("café €"), "caf\xE9 \x80");
  EXPECT_EQ(ansi::ToUtf8("caf\xE9 \x80"), "café €");
  EXPECT_EQ(ansi::FromUtf8("日本"), "??");
  EXPECT_EQ(ansi::ToUtf16("\x80\xFF"), u"\u20AC\u00FF");
  EXPECT_EQ(ansi::FromUtf16(u"\u20AC\u00FF\u4E00"), "\x80\xFF?");
  // Unassigned bytes survive a round trip as their C1 controls.
  EXPECT_EQ(ansi::FromUtf8(ansi::ToUtf8("\x81\x8D")), "\x81\x8D");
  // Broken UTF-8 never reads past the end.
  EXPECT_EQ(ansi::FromUtf8("\xE2\x82"), "??");
}

}  // namespace
}  // namespace vidazoz

// Environment expansion with Windows' rules, as value reads of expandable strings use it.
#include <gtest/gtest.h>

#include <string>

#include "kernel32.h"
#include "temp_dir.h"

namespace {

using vidazoz::testing::ScopedEnv;

std::string Expanded(const char* source, DWORD* needed = nullptr) {
  const DWORD n = ExpandEnvironmentStringsA(source, nullptr, 0);
  if (needed != nullptr) *needed = n;
  std::string buffer(n, 'x');
  EXPECT_EQ(ExpandEnvironmentStringsA(source, buffer.data(), n), n) << source;
  EXPECT_EQ(buffer.back(), '\0') << source;
  buffer.pop_back();
  return buffer;
}

class EnvironmentExpansion : public ::testing::Test {
 protected:
  ScopedEnv var{"RRVAR", "value"};
  ScopedEnv number{"RRV", "12345"};
  ScopedEnv blank{"RRBLANK", ""};
};

TEST_F(EnvironmentExpansion, NamesMatchWithoutCaseAndUnknownReferencesStayAsWritten) {
  DWORD needed = 0;
  EXPECT_EQ(Expanded("x%RRVAR%y", &needed), "xvaluey");
  EXPECT_EQ(needed, 8u);
  EXPECT_EQ(Expanded("x%rrVar%y"), "xvaluey");
  EXPECT_EQ(Expanded("a%UNDEF_VIDAZOZ%b", &needed), "a%UNDEF_VIDAZOZ%b");
  EXPECT_EQ(needed, 18u);
  EXPECT_EQ(Expanded("%UNDEF_VIDAZOZ%RRVAR%"), "%UNDEF_VIDAZOZ%RRVAR%") << "the scan goes on after the closing %";
  EXPECT_EQ(Expanded("%RRV%%RRV%"), "1234512345");
  EXPECT_EQ(Expanded("<%RRBLANK%>"), "<>");
}

TEST_F(EnvironmentExpansion, LoneEmptyAndUnterminatedReferencesAreKept) {
  for (const char* s : {"100%", "%", "%%", "%RRVAR", "% RRV%", "", "%%RRV"}) EXPECT_EQ(Expanded(s), s);
  DWORD needed = 0;
  Expanded("", &needed);
  EXPECT_EQ(needed, 1u);
}

TEST_F(EnvironmentExpansion, ASmallBufferGetsTheFirstCharactersAndTheSizeNeeded) {
  char small[5] = {'#', '#', '#', '#', '#'};
  EXPECT_EQ(ExpandEnvironmentStringsA("x%RRVAR%y", small, 4), 8u);
  EXPECT_STREQ(small, "xva");
  EXPECT_EQ(small[4], '#');
  char one[2] = {'#', '#'};
  EXPECT_EQ(ExpandEnvironmentStringsA("%RRV%", one, 1), 6u);
  EXPECT_EQ(one[0], '\0');
  EXPECT_EQ(one[1], '#');
}

TEST(ByteCopy, CopiesExactlyTheBytesAsked) {
  unsigned char to[3] = {0, 0, 0};
  const unsigned char from[3] = {1, 2, 3};
  RtlMoveMemory(to + 1, from, 1);
  EXPECT_EQ(to[0], 0);
  EXPECT_EQ(to[1], 1);
  EXPECT_EQ(to[2], 0);
}

}  // namespace

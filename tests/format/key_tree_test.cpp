#include "key_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace vidazoz::wineprefix {
namespace {

std::vector<std::u16string> SortedLikeWine(std::vector<std::u16string> names) {
  std::mt19937 rng(7);
  std::shuffle(names.begin(), names.end(), rng);
  std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return CompareNames(a, b) < 0; });
  return names;
}

TEST(CompareNames, MatchesWinesObservedOrder) {
  const std::vector<std::u16string> punctuation{u"[brk", u"^c", u"_under", u"a", u"Alpha", u"b1",
                                                u"B2", u"beta", u"Mid", u"zeta", u"~t"};
  EXPECT_EQ(SortedLikeWine(punctuation), punctuation);
  const std::vector<std::u16string> mixed{u"10", u"9", u"a b", u"a-b", u"ab", u"E", u"z", u"\u00e9"};
  EXPECT_EQ(SortedLikeWine(mixed), mixed);
  EXPECT_LT(CompareNames(u"", u"a"), 0);  // the default value first
  EXPECT_LT(CompareNames(u"ab", u"abc"), 0);
  EXPECT_GT(CompareNames(u"b", u"ABC"), 0);
}

TEST(CompareNames, SimpleCaseMappingOnly) {
  EXPECT_TRUE(SameName(u"caf\u00e9", u"CAF\u00c9"));
  EXPECT_TRUE(SameName(u"\u0434\u043e\u043c", u"\u0414\u041e\u041c"));  // Cyrillic
  EXPECT_FALSE(SameName(u"stra\u00dfe", u"STRASSE"));
  EXPECT_FALSE(SameName(u"ab", u"abc"));
  EXPECT_NE(CompareNames(u"a", u"b"), 0);
}

TEST(RegKey, SubkeysStaySortedAndKeepTheirFirstSpelling) {
  RegKey root(u"");
  for (const char16_t* name : {u"zeta", u"Alpha", u"_under", u"beta", u"B2", u"~t"}) root.AddSubkey(name);
  bool created = true;
  RegKey& again = root.AddSubkey(u"ALPHA", &created);
  EXPECT_FALSE(created);
  EXPECT_EQ(again.Name(), u"Alpha");
  EXPECT_EQ(again.Parent(), &root);
  std::vector<std::u16string> order;
  for (std::size_t i = 0; i < root.SubkeyCount(); ++i) order.push_back(root.Subkey(i).Name());
  EXPECT_EQ(order, (std::vector<std::u16string>{u"_under", u"Alpha", u"B2", u"beta", u"zeta", u"~t"}));
  EXPECT_EQ(root.FindSubkey(u"BETA"), &root.Subkey(3));
  EXPECT_TRUE(root.RemoveSubkey(u"b2"));
  EXPECT_FALSE(root.RemoveSubkey(u"b2"));
  EXPECT_EQ(root.FindSubkey(u"B2"), nullptr);
}

TEST(RegKey, ValuesKeepFirstSpellingAndLastData) {
  RegKey key(u"k");
  key.SetValue(u"Name", 1, {1});
  key.SetValue(u"", 4, {2});
  key.SetValue(u"NAME", 3, {3, 4});
  ASSERT_EQ(key.ValueCount(), 2u);
  EXPECT_EQ(key.Value(0).name, u"");
  EXPECT_EQ(key.Value(1).name, u"Name");
  EXPECT_EQ(key.Value(1).type, 3u);
  EXPECT_EQ(key.Value(1).data, (std::vector<std::uint8_t>{3, 4}));
  EXPECT_TRUE(key.RemoveValue(u"name"));
  EXPECT_EQ(key.FindValue(u"Name"), nullptr);
}

TEST(RegKey, MovingARootKeepsParentLinksValid) {
  RegKey root(u"");
  root.AddSubkey(u"a").AddSubkey(u"b");
  RegKey moved(std::move(root));
  ASSERT_EQ(moved.SubkeyCount(), 1u);
  EXPECT_EQ(moved.Subkey(0).Parent(), &moved);
  RegKey assigned(u"x");
  assigned.AddSubkey(u"old");
  assigned = std::move(moved);
  ASSERT_NE(assigned.FindSubkey(u"A"), nullptr);
  EXPECT_EQ(assigned.FindSubkey(u"a")->Parent(), &assigned);
  EXPECT_EQ(assigned.FindSubkey(u"old"), nullptr);
}

TEST(RegKey, VeryDeepTreeIsDestroyedWithoutRecursion) {
  auto root = std::make_unique<RegKey>(u"");
  RegKey* key = root.get();
  for (int i = 0; i < 300000; ++i) key = &key->AddSubkey(u"d");
  root.reset();  // would overflow the stack if each level recursed
  SUCCEED();
}

// A key's saved span holds each length whole up to its limit and keeps nothing past it: a span
// cut short would make the next save copy the wrong stretch of text.
TEST(SavedSpan, HoldsEachLengthUpToItsLimitAndNothingPastIt) {
  constexpr std::uint64_t kBlock = (std::uint64_t{1} << 24) - 1, kOffset = (std::uint64_t{1} << 40) - 1,
                          kSubtree = (std::uint64_t{1} << 61) - 1;
  const struct {
    SavedSpan::Where where;
    bool kept;
  } cases[] = {
      {{kOffset, kBlock, kSubtree}, true},  {{kOffset + 1, 1, 1}, false},
      {{1, kBlock + 1, kBlock + 1}, false}, {{1, 1, kSubtree + 1}, false},
  };
  for (const auto& c : cases) {
    for (bool changedBelow : {false, true}) {
      SavedSpan span;
      span.Record(c.where, changedBelow);
      const auto known = span.Known();
      ASSERT_EQ(known.has_value(), c.kept) << c.where.offset << " " << c.where.blockLength;
      EXPECT_EQ(span.Changed(), !c.kept);
      EXPECT_EQ(span.ChangedBelow(), !c.kept || changedBelow);
      if (!known) continue;
      EXPECT_EQ(known->offset, c.where.offset);
      EXPECT_EQ(known->blockLength, c.where.blockLength);
      EXPECT_EQ(known->subtreeLength, c.where.subtreeLength);
      span.Move(kOffset + 1);
      EXPECT_FALSE(span.Known());
    }
  }
}

// A change marks the key changed and its ancestors changed below, and nothing else: their
// blocks, and the sibling's subtree, are copied at the next save.
TEST(SavedSpan, AChangeMarksTheKeyAndWhatItsAncestorsHoldBelow) {
  RegKey root(u"");
  RegKey& a = root.AddSubkey(u"a");
  RegKey& b = a.AddSubkey(u"b");
  RegKey& sibling = root.AddSubkey(u"s");
  for (RegKey* key : {&root, &a, &b, &sibling}) key->Saved().Record({1, 2, 3}, false);
  b.SetValue(u"v", 4, {1, 0, 0, 0});
  EXPECT_TRUE(b.Saved().Changed());
  EXPECT_FALSE(b.Saved().ChangedBelow());
  for (RegKey* key : {&a, &root}) {
    EXPECT_FALSE(key->Saved().Changed());
    EXPECT_TRUE(key->Saved().ChangedBelow());
  }
  EXPECT_TRUE(sibling.Saved().SubtreeCurrent());
}

}  // namespace
}  // namespace vidazoz::wineprefix

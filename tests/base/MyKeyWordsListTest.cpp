#include "base/MyKeyWordsList.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Deliberately out of order; the high word of a value is data beyond the character.
const TKeyWordRow Table[] = {
    {u"quot", 34}, {u"amp", 38}, {u"lt", 60}, {u"gt", 62}, {u"Agrave", 0x10000 | 192},
};

void ExpectSorted(const TKeyWordList& list) {
  for (int i = 1; i < list.Count(); ++i)
    EXPECT_LT(list.Items(i - 1).Name, list.Items(i).Name) << "at " << i;
}

}  // namespace

TEST(MyKeyWordsListTest, CaseFolding) {
  TKeyWordList folded(false);
  TKeyWordList exact(true);
  folded.AddOrSet(u"amp", 38);
  exact.AddOrSet(u"amp", 38);
  EXPECT_EQ(folded.Find(u"AMP"), 0);
  EXPECT_EQ(folded.Find(u"Amp"), 0);
  EXPECT_LT(exact.Find(u"AMP"), 0);
  EXPECT_EQ(exact.Find(u"amp"), 0);
  // Folded: a different spelling of a known name sets it rather than adding a second entry.
  folded.AddOrSet(u"AMP", 1);
  EXPECT_EQ(folded.Count(), 1);
  EXPECT_EQ(folded.Items(0).Data, 1);
  EXPECT_EQ(folded.Items(0).Name, u"amp");
}

TEST(MyKeyWordsListTest, FindEncodesInsertPosition) {
  TKeyWordList list(true);
  EXPECT_EQ(list.Find(u"x"), -1);
  list.AddTable(Table);
  ASSERT_EQ(list.Count(), 5);
  ExpectSorted(list);  // ordinal: "Agrave" before the lower-case names
  EXPECT_EQ(list.Items(0).Name, u"Agrave");
  EXPECT_EQ(list.Find(nullptr), -1);
  EXPECT_EQ(list.Find(u"A"), -1);     // before "Agrave"
  EXPECT_EQ(list.Find(u"b"), -3);     // after "amp", before "gt"
  EXPECT_EQ(list.Find(u"zz"), -6);    // after the last
  EXPECT_EQ(list.Find(u"am"), -2);    // a prefix is not the name
  EXPECT_EQ(list.Items(list.Find(u"Agrave")).Data, 0x10000 | 192);
}

TEST(MyKeyWordsListTest, AddOrSetTablesAndCharList) {
  TKeyWordList list(false);
  list.AddTable(Table);
  EXPECT_EQ(list.CharList(), WideString(u"\"&<>\u00C0"));  // row order, low words only

  const int count = list.Count();
  list.AddOrSet(u"lt", 999);
  EXPECT_EQ(list.Count(), count);
  EXPECT_EQ(list.Items(list.Find(u"lt")).Data, 999);

  // A second table adds its characters after the first one's; known names are set.
  const TKeyWordRow more[] = {{u"nbsp", 32}, {u"GT", 0x3E}};
  list.AddTable(more);
  EXPECT_EQ(list.Count(), count + 1);
  EXPECT_EQ(list.CharList(), WideString(u"\"&<>\u00C0 >"));
  ExpectSorted(list);

  list.AddOrSet(nullptr, 5);
  EXPECT_EQ(list.Count(), count + 1);

  list.Delete(list.Find(u"nbsp"));
  EXPECT_LT(list.Find(u"nbsp"), 0);
  EXPECT_THROW(list.Delete(list.Count()), std::out_of_range);
  EXPECT_THROW(list.Insert(-1, u"x", 0), std::out_of_range);

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.CharList().empty());
}

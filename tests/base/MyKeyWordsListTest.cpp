#include "base/MyKeyWordsList.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(MyKeyWordsListTest, SortedLookUpTablesAndCharList) {
  // Deliberately out of order; the high word of a value is data beyond the character.
  const TKeyWordRow table[] = {{u"quot", 34}, {u"amp", 38}, {u"lt", 60}, {u"gt", 62}, {u"Agrave", 0x10000 | 192}};
  TKeyWordList exact(true);
  EXPECT_EQ(exact.Find(u"x"), -1);
  exact.AddTable(table);
  EXPECT_TRUE(exact.Items(0).Name == u"Agrave" && exact.Items(4).Name == u"quot");  // ordinal order
  // Absent names give -(insert position + 1); a prefix is not the name.
  EXPECT_TRUE(exact.Find(u"b") == -3 && exact.Find(u"zz") == -6 && exact.Find(u"am") == -2 && exact.Find(u"AMP") < 0);
  EXPECT_EQ(exact.Items(exact.Find(u"Agrave")).Data, 0x10000 | 192);
  EXPECT_EQ(exact.CharList(), WideString(u"\"&<>\u00C0"));  // row order, low words only

  TKeyWordList folded(false);
  folded.AddTable(table);
  const TKeyWordRow more[] = {{u"nbsp", 32}, {u"GT", 0x20003E}};  // a known name in other case is set
  folded.AddTable(more);
  EXPECT_TRUE(folded.Count() == 6 && folded.Items(folded.Find(u"Gt")).Data == 0x20003E);
  EXPECT_EQ(folded.CharList(), WideString(u"\"&<>\u00C0 >"));
  folded.AddOrSet(nullptr, 5);
  folded.Delete(folded.Find(u"nbsp"));
  EXPECT_EQ(folded.Count(), 5);
  EXPECT_THROW(folded.Delete(5), std::out_of_range);
  EXPECT_THROW(folded.Insert(-1, u"x", 0), std::out_of_range);
  folded.Clear();
  EXPECT_TRUE(folded.CharList().empty());
}

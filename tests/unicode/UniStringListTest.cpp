#include "unicode/UniStringList.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "unicode/UniClasses.h"

TEST(UniStringList, LoadsByByteOrderMark) {
  TempDir dir;
  struct Case {
    std::string bytes;
    uint8_t encoding;
  } cases[] = {
      {std::string("\xFF\xFE" "a\0\xE9\0\r\0\n\0" "b\0", 12), leUtf16LE},
      {std::string("\xFE\xFF\0a\0\xE9\0\n\0b", 10), leUtf16BE},
      {"\xEF\xBB\xBF" "a\xC3\xA9\rb", leUtf8},
      {"a\xE9\r\nb\r\n", leAnsi},
  };
  for (const Case& c : cases) {
    TempDir::Write(dir.File("l.txt"), c.bytes);
    TUniStringList list;
    list.LoadFromFile(dir.WFile("l.txt"));
    EXPECT_EQ(list.LastFileEncoding, c.encoding);
    ASSERT_EQ(list.Count(), 2) << int(c.encoding);
    EXPECT_EQ(list[0], c.encoding == leAnsi ? u"a\u00E9" : u"a\u00E9");
    EXPECT_EQ(list[1], u"b");
  }
}

TEST(UniStringList, SavesUtf16LEWithMarkAndReadsItBack) {
  TempDir dir;
  TUniStringList list;
  list.Add(u"\U0001F600 x");
  list.Add(u"");
  list.Add(u"y");
  list.SaveToFile(dir.WFile("s.txt"));
  const std::string bytes = TempDir::Read(dir.File("s.txt"));
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes.size(), 2u + 2 * (4 + 2 + 0 + 2 + 1 + 2));
  TUniStringList back;
  back.LoadFromFile(dir.WFile("s.txt"));
  EXPECT_EQ(back.GetText(), list.GetText());
  EXPECT_THROW(back.LoadFromFile(dir.WFile("none.txt")), EWideFOpenError);
}

TEST(UniStringList, SortedListsAndDuplicates) {
  TUniStringList list;
  list.SetSorted(true);
  EXPECT_EQ(list.Add(u"b"), 0);
  EXPECT_EQ(list.Add(u"a"), 0);
  EXPECT_EQ(list.Add(u"c"), 2);
  EXPECT_EQ(list.Add(u"B"), 1);  // dupIgnore, case-insensitive: the existing entry
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.IndexOf(u"ABC"), -1);
  list.Add(u"abc");
  EXPECT_EQ(list.IndexOf(u"ABC"), 1);
  list.Duplicates = dupError;
  try {
    list.Add(u"A");
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "String list does not allow duplicates");
  }
  try {
    list.Insert(0, u"z");
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "Operation not allowed on sorted list");
  }
  list.Duplicates = dupAccept;
  list.Add(u"a");
  EXPECT_EQ(list.Count(), 5);
  TUniStringList exact;
  exact.SetCaseSensitive(true);
  exact.SetSorted(true);
  exact.Add(u"b");
  exact.Add(u"B");
  EXPECT_EQ(exact.Count(), 2);
  EXPECT_EQ(exact[0], u"B");
}

TEST(UniStringList, IndexErrorsAndNames) {
  TUniStringList list;
  list.Add(u"x-Client=acme");
  list.Add(u"x-Domain=law");
  EXPECT_EQ(list.IndexOfName(u"x-domain"), 1);
  EXPECT_EQ(list.IndexOfName(u"x-Dom"), -1);
  try {
    list.Get(2);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (2)");
  }
  EXPECT_NO_THROW(list.Insert(2, u"end"));
  EXPECT_THROW(list.Insert(4, u"x"), EStringListError);
  list.SetSorted(true);
  EXPECT_EQ(list.IndexOfName(u"X-CLIENT"), 1);
}

TEST(UniStringList, CapacityGrowsInTheUsualSteps) {
  TUniStringList list;
  std::vector<int> seen{list.Capacity()};
  for (int i = 0; i < 80; ++i) {
    list.Add(u"x");
    if (list.Capacity() != seen.back()) seen.push_back(list.Capacity());
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 4, 8, 12, 28, 44, 60, 76, 95}));
}

TEST(UniStringList, SortAndChangeEvents) {
  TUniStringList list;
  int changes = 0;
  list.OnChange = [&] { ++changes; };
  list.BeginUpdate();
  for (const char16_t* s : {u"pear", u"Apple", u"fig", u"apple", u"banana"}) list.Add(s);
  list.EndUpdate();
  EXPECT_EQ(changes, 1);
  list.Sort();
  EXPECT_EQ(WideCompareText(list[0], u"apple"), 0);
  EXPECT_EQ(list[2], u"banana");
  EXPECT_EQ(list[4], u"pear");
  list.SetText(u"a\r\nb\rc\nd");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.GetText(), u"a\r\nb\r\nc\r\nd\r\n");
}

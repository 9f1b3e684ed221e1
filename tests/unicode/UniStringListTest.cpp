#include "unicode/UniStringList.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "unicode/UniClasses.h"

TEST(UniStringList, LoadsByByteOrderMarkAndSavesUtf16LE) {
  TempDir dir;
  const std::pair<std::string, uint8_t> cases[] = {
      {std::string("\xFE\xFF\0a\0\xE9\0\n\0b", 10), leUtf16BE},
      {"\xEF\xBB\xBF" "a\xC3\xA9\rb", leUtf8},
      {"a\xE9\r\nb\r\n", leAnsi},
  };
  TUniStringList list;
  for (const auto& [bytes, encoding] : cases) {
    TempDir::Write(dir.File("l.txt"), bytes);
    list.LoadFromFile(dir.WFile("l.txt"));
    EXPECT_EQ(list.LastFileEncoding, encoding);
    EXPECT_EQ(list.GetText(), u"a\u00E9\r\nb\r\n") << int(encoding);
  }
  list.SaveToFile(dir.WFile("s.txt"));
  EXPECT_EQ(TempDir::Read(dir.File("s.txt")), std::string("\xFF\xFE" "a\0\xE9\0\r\0\n\0b\0\r\0\n\0", 16));
  EXPECT_THROW(list.LoadFromFile(dir.WFile("none.txt")), EWideFOpenError);
}

TEST(UniStringList, SortedListsDuplicatesAndNames) {
  TUniStringList list;
  list.Add(u"x-Domain=law");
  EXPECT_TRUE(list.IndexOfName(u"x-domain") == 0 && list.IndexOfName(u"x-Dom") == -1);
  EXPECT_THROW(list.Get(1), EStringListError);
  list.SetSorted(true);
  EXPECT_TRUE(list.Add(u"b") == 0 && list.Add(u"B") == 0);  // duplicates ignored, without case
  EXPECT_EQ(list.IndexOf(u"X-DOMAIN=LAW"), 1);
  list.Duplicates = dupError;
  EXPECT_THROW(list.Add(u"b"), EStringListError);
  EXPECT_THROW(list.Insert(0, u"z"), EStringListError);  // not on a sorted list
  TUniStringList exact;
  exact.SetCaseSensitive(true);
  exact.SetSorted(true);
  exact.Add(u"b");
  exact.Add(u"B");
  EXPECT_EQ(exact.GetText(), u"B\r\nb\r\n");
}

#include "unicode/UniStringList.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "unicode/UniClasses.h"
#include "unicode/UniSystem.h"

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

// An update is announced once before it (OnChanging) and once after it (OnChange); changes
// outside an update are announced one by one.
TEST(UniStringList, AnUpdateIsAnnouncedBeforeAndAfter) {
  TUniStringList list;
  std::string events;
  list.OnChanging = [&] { events += '<'; };
  list.OnChange = [&] { events += '>'; };
  list.BeginUpdate();
  list.Add(u"a");
  list.BeginUpdate();
  list.Add(u"b");
  list.EndUpdate();
  EXPECT_EQ(events, "<");
  list.EndUpdate();
  EXPECT_EQ(events, "<>");
  list.Delete(0);
  EXPECT_EQ(events, "<><>");
}

// The list seen as byte strings in a code page: read, written and assigned through it.
TEST(UniStringList, AnsiViewConvertsThroughItsCodePage) {
  TUniStringList list;
  list.Add(u"\u0416\u0443\u043A");
  list.Add(u"caf\u00E9");
  TAnsiStringsForWideStringsAdapter& ansi = list.AnsiStrings();
  EXPECT_EQ(ansi.AdapterCodePage, 0u);
  EXPECT_EQ(ansi.Get(1), WideToAnsiCP(u"caf\u00E9", SystemCodePage()));  // 0: the system's code page
  ansi.AdapterCodePage = 1251;
  EXPECT_EQ(ansi.Count(), 2);
  EXPECT_EQ(ansi.Get(0), "\xC6\xF3\xEA");
  EXPECT_EQ(ansi.Get(1), "caf?");  // no "é" in the Cyrillic code page
  ansi.Put(1, "\xDF");
  int object = 0;
  EXPECT_EQ(ansi.AddObject("\xFF", &object), 2);
  ansi.Insert(0, "x");
  EXPECT_EQ(list.GetText(), u"x\r\n\u0416\u0443\u043A\r\n\u042F\r\n\u044F\r\n");
  EXPECT_EQ(list.GetObject(3), &object);
  ansi.Delete(0);
  EXPECT_THROW(ansi.Get(3), EStringListError);

  // Assigned from another list's view: the byte strings carry over, read in the view's code page.
  TUniStringList other;
  other.AnsiStrings().AdapterCodePage = 1251;
  other.SetAnsiStrings(ansi);
  EXPECT_EQ(other.GetText(), list.GetText());
  EXPECT_EQ(other.GetObject(2), &object);
  other.AnsiStrings().Clear();
  EXPECT_EQ(other.Count(), 0);
  ansi.AdapterCodePage = 65001;
  other.AnsiStrings().AdapterCodePage = 65001;
  other.SetAnsiStrings(ansi);
  EXPECT_EQ(other.GetText(), list.GetText());

  // A sorted list keeps its order when added to through the view.
  TUniStringList sorted;
  sorted.SetSorted(true);
  sorted.AnsiStrings().AdapterCodePage = 1252;
  sorted.AnsiStrings().Add("b");
  EXPECT_EQ(sorted.AnsiStrings().Add("\xC1"), 1);
  EXPECT_EQ(sorted.AnsiStrings().Add("A"), 0);
  EXPECT_EQ(sorted.Get(2), u"\u00C1");
  EXPECT_EQ(sorted.AnsiStrings().GetText(), "A\r\nb\r\n\xC1\r\n");
}

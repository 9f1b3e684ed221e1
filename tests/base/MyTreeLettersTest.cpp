#include "base/MyTreeLetters.h"

#include <gtest/gtest.h>

namespace {

// The value at the node reached by walking Word from Root: -1 for a node without a word,
// -2 when the walk ends early.
int32_t ValueOf(const TTreeLetters& Root, const WideString& Word) {
  const TTreeLetters* node = &Root;
  for (WideChar c : Word)
    if (!(node = node->FindChild(c))) return -2;
  return node->Value();
}

}  // namespace

TEST(MyTreeLettersTest, CaseInsensitiveWalk) {
  TTreeLetters root(false);
  const TKeyWordRow rows[] = {{u"lquote", 0x201C}, {u"amp", 38}};
  root.AddTable(rows);
  EXPECT_EQ(ValueOf(root, u"LQuote"), 0x201C);
  EXPECT_EQ(ValueOf(root, u"lquo"), -1);  // a prefix ends on a node without a word
  EXPECT_EQ(ValueOf(root, u"lx"), -2);
  EXPECT_EQ(root.MaxLength(), 6);
  EXPECT_EQ(root.CharList(), WideString(u"\u201C&"));
}

TEST(MyTreeLettersTest, CaseSensitiveWordsSharingPrefixes) {
  TTreeLetters root(true);
  const TKeyWordRow rows[] = {{u"agrave", 224}, {u"Agrave", 192}, {u"AElig", 198}, {u"ab", 1}, {u"abc", 2}};
  root.AddTable(rows);
  EXPECT_EQ(ValueOf(root, u"Agrave"), 192);
  EXPECT_EQ(ValueOf(root, u"agrave"), 224);
  EXPECT_EQ(ValueOf(root, u"AElig"), 198);
  EXPECT_EQ(ValueOf(root, u"AGRAVE"), -2);
  EXPECT_EQ(ValueOf(root, u"abc"), 2);
  root.AddWord({u"ab", 7});  // a later row overwrites
  EXPECT_EQ(ValueOf(root, u"ab"), 7);
  root.AddWord({nullptr, 9});  // counts nothing, adds nothing
  EXPECT_EQ(root.Count(), 2);  // 'A' and 'a'
  // AddChild gives a value only to a node that has none.
  TTreeLetters* a = root.FindChild(u'a');
  EXPECT_EQ(root.AddChild(u'a', 5), a);
  EXPECT_EQ(root.AddChild(u'a', 6)->Value(), 5);
}

TEST(MyTreeLettersTest, ChildrenStaySortedForBinarySearch) {
  TTreeLetters root(false);
  const WideString letters = u"qZbMa\u00C9yc\u00E8";
  for (WideChar c : letters) root.AddChild(c, c);
  ASSERT_EQ(root.Count(), static_cast<int>(letters.size()));
  for (int i = 1; i < root.Count(); ++i) EXPECT_LT(root.Compare(root.Items(i - 1), root.Items(i)), 0);
  for (WideChar c : letters) EXPECT_EQ(root.FindChild(c)->Letter(), c);
  EXPECT_EQ(root.FindChild(u'z')->Letter(), u'Z');
  EXPECT_EQ(root.FindChild(u'\u00E9')->Letter(), u'\u00C9');
  EXPECT_EQ(root.FindChild(u'x'), nullptr);
}

TEST(MyTreeLettersTest, VeryLongWordIsFreedWithoutDeepRecursion) {
  const WideString word(300000, u'x');
  TTreeLetters root(true);
  root.AddWord({word.c_str(), 42});
  EXPECT_EQ(root.MaxLength(), 300000);
  EXPECT_EQ(ValueOf(root, word), 42);
}  // the sanitizer build reports any node left behind

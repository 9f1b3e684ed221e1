#include <gtest/gtest.h>
#include <climits>
#include <cmath>
#include <set>

#include "htmlview/markup/HtmlBase.h"
#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleUn.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/HtmlBuffer.h"
#include "unicode/UniStringList.h"

using namespace htmlview;

namespace {

TEST(HtmlSymbols, PairsSharedWordsAndSpecials) {
  // Start and end symbols sit side by side; elements without an end tag have one symbol.
  EXPECT_EQ(HtmlEndSy, HtmlSy + 1);
  EXPECT_EQ(MarkEndSy, MarkSy + 1);
  EXPECT_EQ(HrSy, BrSy + 1);
  EXPECT_EQ(ReadonlySy + 1, HeaderSy);
  // The attributes follow the elements, the specials come last, and nothing is 0.
  EXPECT_EQ(HrefSy, MarkEndSy + 1);
  EXPECT_EQ(MediaSy + 1, TextSymbol);
  const std::set<int> specials = {TextSymbol, EofSymbol,  UnknownTagSymbol,    UnknownAttrSymbol,
                                  EolSymbol,  CharSymbol, StandaloneItemSymbol};
  EXPECT_EQ(specials.size(), 7u);
  EXPECT_EQ(*specials.rbegin(), 243);
  EXPECT_EQ(SymbolCount, 244);
  EXPECT_GT(int(HtmlSy), int(NoSymbol));
}

struct Counted {
  explicit Counted(int& alive) : alive_(alive) { ++alive_; }
  ~Counted() { --alive_; }
  int& alive_;
};

TEST(FreeList, DeleteAndClearFreeExtractDoesNot) {
  int alive = 0;
  TFreeList<Counted> list;
  for (int i = 0; i < 4; ++i) list.Add(std::make_unique<Counted>(alive));
  EXPECT_EQ(alive, 4);
  list.Delete(1);
  EXPECT_EQ(alive, 3);
  std::unique_ptr<Counted> taken = list.Extract(0);
  EXPECT_EQ(alive, 3);
  EXPECT_EQ(list.Count(), 2);
  list.Clear();
  EXPECT_EQ(alive, 1);
  taken.reset();
  EXPECT_EQ(alive, 0);
}

// Lengths and the like are held to the largest length; list numbers keep the integer range.
TEST(Attribute, ValueIsTruncatedAndHeldInRange) {
  struct Case {
    Symb which;
    double in;
    int out;
  } cases[] = {{WidthSy, 2.9, 2},           {WidthSy, -2.9, -2},           {WidthSy, 1e300, MaxLength},
               {HspaceSy, -1e300, -MaxLength}, {WidthSy, NAN, 0},           {WidthSy, 50, 50},
               {StartSy, 1e300, INT_MAX},    {ValueSy, -1e300, INT_MIN},    {StartSy, 2e7, 20000000}};
  for (const Case& c : cases) {
    TAttribute a(c.which, c.in, u"X", u"", 1252);
    EXPECT_EQ(a.Value, c.out) << c.in;
  }
}

TEST(AttributeList, FindTitleAndStringList) {
  TAttributeList list;
  list.Add(HrefSy, 0, u"HREF", u"a.html", 1252);
  list.Add(TitleSy, 0, u"TITLE", u"Tip", 1252);
  list.Add(HrefSy, 0, u"HREF", u"b.html", 1252);
  ASSERT_NE(list.Find(HrefSy), nullptr);
  EXPECT_EQ(list.Find(HrefSy)->Name, u"a.html");
  TAttribute* a = nullptr;
  EXPECT_FALSE(list.Find(SrcSy, a));
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(list.TheTitle(), u"Tip");
  auto lines = list.CreateStringList();
  ASSERT_EQ(lines->Count(), 3);
  EXPECT_EQ(lines->Get(0), u"HREF=a.html");
  EXPECT_EQ(lines->Get(1), u"TITLE=Tip");
}

TEST(AttributeList, IdIsLowerCasedAndKeptUntilClear) {
  TAttributeList list;
  list.Add(IdSy, 0, u"ID", u"TopÄ", 1252);
  EXPECT_EQ(list.TheID(), u"topä");
  list.Clear();
  EXPECT_EQ(list.TheID(), u"");
  list.Add(IdSy, 0, u"ID", u"Next", 1252);
  EXPECT_EQ(list.TheID(), u"next");
}

TEST(AttributeList, ClassNamesJoinInSortOrder) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"Beta", u"beta"},
      {u"  Beta alpha ", u"alpha.beta"},
      {u"c  b a", u"a.b.c"},
      {u"B b", u"b.b"},
      {u"", u""},
  };
  for (const Case& c : cases) {
    TAttributeList list;
    list.Add(ClassSy, 0, u"CLASS", c.in, 1252);
    EXPECT_EQ(list.TheClass(), c.out);
  }
  TAttributeList none;
  EXPECT_EQ(none.TheClass(), u"");
}

// The joined names must be the key the style sheet stores for the same classes, or the rule
// never applies.
TEST(AttributeList, ClassKeyAgreesWithStyleSheetKeys) {
  TStyleList styles;
  TBuffer doc = TBuffer::FromString(u".zeta.alpha.mid { color: red }", u"sheet.css");
  char16_t lch = u' ';
  ParseStyleTag(styles, lch, doc, false, true, u"");
  TAttributeList list;
  list.Add(ClassSy, 0, u"CLASS", u"Mid zeta ALPHA", 1252);
  EXPECT_FALSE(styles.Find(u"." + list.TheClass()).empty()) << "." << std::string(list.TheClass().begin(), list.TheClass().end());
}

TEST(AttributeList, StyleIsParsedAnewOrAbsent) {
  TAttributeList list;
  EXPECT_EQ(list.TheStyle(), nullptr);
  list.Add(StyleSy, 0, u"STYLE", u"color: red", 1252);
  TProperties* first = list.TheStyle();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, list.Prop.get());
  EXPECT_NE(first->Props[Color].index(), 0u);
  list.Clear();
  list.Add(StyleSy, 0, u"STYLE", u"font-weight: bold", 1252);
  TProperties* second = list.TheStyle();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Props[Color].index(), 0u);
  // A tag without a style attribute never gets the style of the tag before it.
  list.Clear();
  EXPECT_EQ(list.TheStyle(), nullptr);
}

TEST(UrlTarget, AssignCopyClear) {
  TAttributeList attrs;
  attrs.Add(HrefSy, 0, u"HREF", u"x.html", 1252);
  TUrlTarget a, b;
  a.Assign(u"x.html", u"_top", &attrs, 7);
  b.Assign(u"y.html", u"", nullptr, 9);
  EXPECT_EQ(b.ID, a.ID + 1);
  EXPECT_EQ(a.Start, 7);
  EXPECT_EQ(a.Last, -1);
  EXPECT_EQ(a.Attr, u"HREF=x.html\r\n");
  TUrlTarget c;
  a.TabIndex = 3;
  a.Last = 12;
  c.Copy(a);
  EXPECT_EQ(c.URL, u"x.html");
  EXPECT_EQ(c.Target, u"_top");
  EXPECT_EQ(c.ID, a.ID);
  EXPECT_EQ(c.Attr, a.Attr);
  EXPECT_EQ(c.Start, 7);
  EXPECT_EQ(c.Last, 12);
  EXPECT_EQ(c.TabIndex, 3);
  c.Clear();
  EXPECT_EQ(c.URL, u"");
  EXPECT_EQ(c.ID, 0);
  EXPECT_EQ(c.Start, -1);
  EXPECT_EQ(c.Last, -1);
  EXPECT_EQ(c.TabIndex, 0);
  EXPECT_EQ(c.Attr, u"");
}

TEST(UrlTarget, SetLastWalksBackWhileTheLinkLasts) {
  TUrlTarget link, other, mine1, mine2;
  link.Assign(u"a", u"", nullptr, 0);
  other.Assign(u"b", u"", nullptr, 0);
  mine1.Copy(link);
  mine2.Copy(link);
  TUrlTarget early;
  early.Copy(link);  // before the other link: not reached
  std::vector<TUrlTarget*> list = {&early, &other, &mine1, nullptr, &mine2};
  // A font entry without a link ends the walk too.
  link.SetLast(list, 40);
  EXPECT_EQ(link.Last, 40);
  EXPECT_EQ(mine2.Last, 40);
  EXPECT_EQ(mine1.Last, -1);
  list = {&early, &other, &mine1, &mine2};
  link.SetLast(list, 41);
  EXPECT_EQ(mine1.Last, 41);
  EXPECT_EQ(other.Last, -1);
  EXPECT_EQ(early.Last, -1);
  link.SetLast(std::vector<TUrlTarget*>{}, 42);
  EXPECT_EQ(link.Last, 42);
}

TEST(ConvLength, PercentRelativeAbsolute) {
  struct Case {
    int value;
    std::u16string text;
    TSpecWidth out;
  } cases[] = {
      {150, u"150%", {1000, wtPercent}},
      {50, u"50%", {500, wtPercent}},
      {-5, u"-5%", {-50, wtPercent}},
      {INT_MIN, u"%", {INT_MIN / 10 * 10, wtPercent}},
      {2, u"2*", {2, wtRelative}},
      {1, u"*%", {10, wtPercent}},
      {40, u"40", {40, wtAbsolute}},
      {0, u"", {0, wtAbsolute}},
  };
  for (const Case& c : cases) {
    const TSpecWidth w = ConvLength(c.value, c.text);
    EXPECT_EQ(w.Value, c.out.Value) << c.value;
    EXPECT_EQ(w.VType, c.out.VType) << c.value;
  }
}

}  // namespace

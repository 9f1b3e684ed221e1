#include <gtest/gtest.h>

#include <QFontInfo>

#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StyleUn.h"
#include "htmlview/style/StyleValues.h"
#include "tests/htmlview/GuiApp.h"

using namespace htmlview;

namespace {

class Values : public ::testing::Test {
protected:
  void SetUp() override { SetPixelsPerInch(96); }
  void TearDown() override { SetPixelsPerInch(0); }
};

TEST_F(Values, LengthConv) {
  struct Case {
    const char16_t* value;
    bool relative;
    int want;
  } cases[] = {{u"2.54cm", false, 95}, {u"10%", false, 20},  {u"1in", false, 96},    {u"12pt", false, 16},
               {u"2em", false, 20},    {u"3ex", false, 12},  {u"1pc", false, 16},   {u"5", true, 1000},
               {u" 5 ", false, 5},     {u"1e1", false, 10},  {u"-3px", false, -3},  {u"25.4mm", false, 95},
               {u"abc", false, -7},    {u"5furlongs", false, -7}, {u"", false, -7}, {u"1e999", false, -7},
               // Past the largest length: held to it.
               {u"99999999999px", false, MaxLength}, {u"-2147483648px", false, -MaxLength},
               {u"9999999999%", false, MaxLength},       {u"20000000", true, MaxLength}};
  for (const Case& c : cases) EXPECT_EQ(LengthConv(c.value, c.relative, 200, -7, 10, 4), c.want) << (char*)c.value;
}

TEST_F(Values, FontSizeConv) {
  struct Case {
    const char16_t* value;
    double old;
    bool quirks;
    double want;
  } cases[] = {{u"12pt", 10, false, 12},    {u"16px", 10, false, 12}, {u"16", 10, false, 12},
               {u"2em", 10, false, 20},     {u"50%", 10, false, 5},   {u"1in", 10, false, 72},
               {u"bogus", 10, false, DefPointSize}, {u"3parsecs", 10, false, DefPointSize},
               {u"x-large", 10, false, FontConv[6]}, {u"small", 10, true, FontConv[4]},
               {u"xx-large", 10, true, FontConv[7]}, {u"larger", 12, false, 14}, {u"smaller", 12, false, 10},
               {u"larger", 36, false, 36}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(FontSizeConv(c.value, c.old, c.quirks), c.want);
}

TEST_F(Values, Colours) {
  struct Case {
    const char16_t* text;
    bool needPound, valid;
    TColor color;
    int alpha;
  } cases[] = {
      {u"#abc", true, true, RGB(0xAA, 0xBB, 0xCC), 255},
      {u"#AABBCC", true, true, RGB(0xAA, 0xBB, 0xCC), 255},
      {u"abc", true, false, 0, 255},
      {u"abc", false, true, RGB(0xAA, 0xBB, 0xCC), 255},
      {u"abc", false, true, RGB(0xAA, 0xBB, 0xCC), 255},
      {u"abc", true, false, 0, 255},
      {u"#12345", true, true, RGB(0x01, 0x23, 0x45), 255},
      {u"rgb(255, 0, 0)", true, true, RGB(255, 0, 0), 255},
      {u"rgb(100%, 0%, 0%)", true, true, RGB(255, 0, 0), 255},
      {u"rgb(300, -5, x)", true, true, RGB(255, 0, 0), 255},
      {u"rgb(x%, 0, 0)", true, false, 0, 255},
      {u"rgba(0,0,255,0.5)", true, true, RGB(0, 0, 255), 127},
      {u"rgba(0,0,255,0.5)", true, true, RGB(0, 0, 255), 127},
      {u"hsl(0, 100%, 50%)", true, true, RGB(255, 0, 0), 255},
      {u"hsl(480, 100%, 50%)", true, true, RGB(0, 255, 0), 255},
      {u"hsla(120, 100%, 25%, 0)", true, true, RGB(0, 128, 0), 0},
      {u" Red ", true, true, RGB(255, 0, 0), 255},
      {u"grey", true, true, RGB(128, 128, 128), 255},
      {u"buttonface", true, true, clSystemColor + 15, 255},
      {u"highlighttext", true, true, clSystemColor + 14, 255},
      {u"transparent", true, true, clNone, 255},
      {u"nosuch", false, false, 0, 255},
      {u"#xyz", false, false, 0, 255},
      {u"", false, false, 0, 255},
  };
  for (const Case& c : cases) {
    TColor color = 0;
    int alpha = -1;
    EXPECT_EQ(ColorFromString(c.text, c.needPound, color, alpha), c.valid) << (char*)c.text;
    if (c.valid) {
      EXPECT_EQ(color, c.color);
    }
    EXPECT_EQ(alpha, c.alpha);
  }
}

TEST_F(Values, ReadURL) {
  EXPECT_EQ(ReadURL(u"url(  \"a b.gif\") no-repeat"), u"a b.gif");
  EXPECT_EQ(ReadURL(u"url('x.gif')"), u"x.gif");
  EXPECT_EQ(ReadURL(u"url(a(1).gif) top"), u"a(1).gif");
  EXPECT_EQ(ReadURL(u"url(a.gif top"), u"a.gif");
  EXPECT_EQ(ReadURL(u"none"), u"");
}

class Fonts : public Values {
protected:
  void SetUp() override {
    Values::SetUp();
    SetFontMeasurer(&fixed);
    SetFontCatalogue([](const std::u16string& f) { return f == u"Arial" || f == u"Times New Roman"; });
  }
  void TearDown() override {
    SetFontMeasurer(nullptr);
    SetFontCatalogue(nullptr);
    Values::TearDown();
  }
  TFixedMeasurer fixed{7, 15};
};

TEST_F(Fonts, FamiliesAndCache) {
  EXPECT_EQ(FirstExistingFamily(u"NoSuchFace, 'Arial'", u"Def"), u"Arial");
  EXPECT_EQ(FirstExistingFamily(u"serif", u"Def"), u"Times New Roman");
  EXPECT_EQ(FirstExistingFamily(u"Helvetica,x", u"Def"), u"Arial");
  EXPECT_EQ(FirstExistingFamily(u"nope", u"Def"), u"Def");

  ThtFontInfo info;
  info.iName = u"Arial";
  info.iSize = 12;
  const TMyFont& a = FontCache().GetFontLike(info);
  info.iName = u"arial";
  const TMyFont& b = FontCache().GetFontLike(info);
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(a.EmSize, 16);
  EXPECT_EQ(a.Height, -16);
  EXPECT_EQ(a.tmHeight, 15);
  EXPECT_EQ(a.tmAveCharWidth, 7);
  info.iStyle = fsBold;
  EXPECT_NE(&FontCache().GetFontLike(info), &a);
  EXPECT_EQ(FontCache().Count(), 2);
  TFixedMeasurer other(5, 9);
  SetFontMeasurer(&other);
  EXPECT_EQ(FontCache().Count(), 0);
  EXPECT_EQ(FontCache().GetFontLike(info).tmHeight, 9);
  SetFontMeasurer(&fixed);

  EXPECT_EQ(LetterSpacingPixels(u"normal", 16), 0);
  EXPECT_EQ(LetterSpacingPixels(u"0", 16), 0);
  EXPECT_EQ(LetterSpacingPixels(u" 0px ", 16), 0);
  EXPECT_EQ(LetterSpacingPixels(u"3", 16), 3);
  EXPECT_EQ(LetterSpacingPixels(u"0.5em", 16), 8);
}

// Qt's answers are kept once found: asked again, with the same or another default family, in any
// order, each value gives what it gave the first time.
TEST(RealFonts, FamiliesAnswerAlikeWhenAskedAgain) {
  EnsureGuiApp();
  struct Case {
    const char16_t* families;
    const char16_t* def;
    const char16_t* family;
  } cases[] = {
      {u"Arial", u"Def", u"Arial"},
      {u"Arial", u"Other", u"Arial"},
      {u"NoSuchFace, Arial", u"Def", u"Arial"},
      {u"NoSuchFace", u"Def", u"Def"},
      {u"NoSuchFace", u"Other", u"Other"},
      {u"", u"Def", u"Def"},
      {u"", u"Other", u"Other"},
      {u" 'Times New Roman' ", u"Def", u"Times New Roman"},
      {u"serif", u"Def", u"Times New Roman"},
      {u"Helvetica, NoSuchFace", u"Def", u"Arial"},
  };
  for (int round = 0; round < 2; ++round)
    for (const Case& c : cases)
      EXPECT_EQ(FirstExistingFamily(c.families, c.def), c.family) << round << " " << QString::fromStdU16String(c.families).toStdString();
  for (const char16_t* f : {u"Arial", u"Tahoma", u"Arial"}) EXPECT_TRUE(FontExists(f));
  for (int round = 0; round < 2; ++round) EXPECT_FALSE(FontExists(u"NoSuchFace"));
}

TEST(RealFonts, CatalogueKnowsWindowsNames) {
  EnsureGuiApp();
  EXPECT_TRUE(FontExists(u"Arial"));
  EXPECT_TRUE(FontExists(u"Tahoma"));
  EXPECT_FALSE(FontExists(u"NoSuchFace"));
  EXPECT_EQ(FirstExistingFamily(u"NoSuchFace, Arial", u"Def"), u"Arial");
  ThtFontInfo info;
  info.iName = u"Arial";
  info.iSize = 10;
  const TMyFont& small = FontCache().GetFontLike(info);
  info.iSize = 20;
  const TMyFont& large = FontCache().GetFontLike(info);
  EXPECT_GT(large.tmHeight, small.tmHeight);
  EXPECT_GT(large.tmAveCharWidth, small.tmAveCharWidth);
  info.iName = u"arial";
  EXPECT_EQ(&FontCache().GetFontLike(info), &large);
  info.iName = u"Tahoma";
  EXPECT_EQ(QFontInfo(FontCache().GetFontLike(info).Font).family(), QStringLiteral("Tahoma"));
  FontCache().Clear();
}

TEST(RealFonts, PropertySetsShareCachedFontsAndSpacing) {
  EnsureGuiApp();
  SetPixelsPerInch(96);
  TProperties plain(false), spaced(false);
  for (TProperties* p : {&plain, &spaced}) {
    p->Props[FontFamily] = std::u16string(p == &plain ? u"Arial" : u"arial");
    p->Props[FontSize] = 12.0;
  }
  spaced.Props[LetterSpacing] = std::u16string(u"0.25em");
  const TMyFont& a = plain.GetFont();
  const TMyFont& b = spaced.GetFont();
  EXPECT_EQ(a.Font.family(), b.Font.family());
  EXPECT_EQ(a.EmSize, 16);
  EXPECT_EQ(plain.ExSize, 8);
  EXPECT_EQ(b.charExtra, 4);
  EXPECT_GT(QtTextMeasurer().TextExtent(b.Font, u"iiii").cx, QtTextMeasurer().TextExtent(a.Font, u"iiii").cx);
  FontCache().Clear();
  SetPixelsPerInch(0);
}

}  // namespace

#include <gtest/gtest.h>

#include <QString>

#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleUn.h"

using namespace htmlview;

namespace {

// A document's styles and the stack of its open elements.
class Cascade : public ::testing::Test {
protected:
  void SetUp() override {
    SetPixelsPerInch(96);
    styles.Initialize(u"Times New Roman", u"Courier New", 12, clBlack, RGB(0, 0, 255), RGB(128, 0, 128),
                      RGB(255, 0, 0), true, 1, 5, 10);
    auto root = std::make_unique<TProperties>(&stack, false);
    root->CopyDefault(*styles.DefProp);
    stack.push_back(std::move(root));
  }
  void TearDown() override { SetPixelsPerInch(0); }

  void Sheet(const std::u16string& css, const std::u16string& linkPath = u"", bool isFile = true) {
    TBuffer doc = TBuffer::FromString(css, u"sheet.css");
    char16_t lch = u' ';
    ParseStyleTag(styles, lch, doc, false, isFile, linkPath);
  }
  TProperties& Open(const std::u16string& tag, const std::u16string& cls = u"", const std::u16string& id = u"",
                    const std::u16string& pseudo = u"", const std::u16string& style = u"") {
    stack.push_back(std::make_unique<TProperties>(&stack, false));
    TProperties& p = *stack.back();
    std::unique_ptr<TProperties> attr;
    if (!style.empty()) {
      attr = std::make_unique<TProperties>(false);
      ParseStyleAttrString(style, *attr);
    }
    p.Combine(styles, tag, cls, id, pseudo, attr.get());
    return p;
  }
  static int Int(const TProperties& p, int i) { return std::get<int>(p.Props[i]); }

  TStyleList styles;
  TPropStack stack;
};

TEST_F(Cascade, ClassesIdsAndPseudoClasses) {
  Sheet(u"p{color:red} .a{color:blue} .x.y{color:green} a.x#y:hover{font-weight:bold}");
  EXPECT_EQ(Int(Open(u"p", u"a b"), Color), int(RGB(0, 0, 255)));
  stack.pop_back();
  EXPECT_EQ(Int(Open(u"p", u"x"), Color), int(RGB(255, 0, 0)));
  stack.pop_back();
  EXPECT_EQ(Int(Open(u"p", u"y x"), Color), int(RGB(0, 128, 0)));
  stack.pop_back();
  TProperties& link = Open(u"a", u"x", u"y", u"hover");
  EXPECT_EQ(link.Text(FontWeight), u"bold");
  EXPECT_EQ(Int(link, Color), int(RGB(255, 0, 0)));  // the built-in hover colour
}

TEST_F(Cascade, LinkColourReachesHoverAndVisitedUnlessOwn) {
  Sheet(u"a:hover{color:lime} a:link{color:olive}");
  EXPECT_EQ(Int(*styles.First(u"::visited"), Color), int(RGB(128, 128, 0)));
  EXPECT_EQ(Int(*styles.First(u"::hover"), Color), int(RGB(255, 0, 0)));  // its own stays first
}

TEST_F(Cascade, LinkStatesGetTheirFonts) {
  Sheet(u"a:visited{font-weight:bold} a:hover{color:lime}");
  stack.push_back(std::make_unique<TProperties>(&stack, false));
  TProperties& a = *stack.back();
  a.InLink = true;
  a.Combine(styles, u"a", u"", u"", u"link", nullptr);
  ASSERT_TRUE(a.FontInfo);
  const TFontInfoArray& f = *a.FontInfo;
  EXPECT_EQ(f[0].iColor, RGB(0, 0, 255));
  EXPECT_EQ(f[0].iStyle, fsUnderline);
  EXPECT_EQ(f[1].iColor, RGB(128, 0, 128));
  EXPECT_EQ(f[1].iStyle, fsUnderline | fsBold);
  EXPECT_EQ(f[2].iColor, RGB(0, 255, 0));
  EXPECT_EQ(f[3].iColor, RGB(0, 255, 0));
  EXPECT_EQ(f[3].iStyle, fsUnderline | fsBold);
}

TEST_F(Cascade, DescendantRulesInSourceOrder) {
  std::u16string css;
  for (int i = 0; i < 120; ++i) css += u"div p{margin-left:" + std::u16string(1, u'0' + i % 10) + u"px}";
  css += u"div > p{color:red} body span{color:blue}";
  Sheet(css);
  Open(u"div");
  TProperties& p = Open(u"p");
  EXPECT_EQ(p.Text(MarginLeft), u"9px");  // rule 119 last, not rule 99
  EXPECT_EQ(Int(p, Color), int(RGB(255, 0, 0)));
  stack.resize(2);
  Open(u"span");
  TProperties& inner = Open(u"p");
  EXPECT_EQ(Int(inner, Color), int(clBlack));  // not a child of the div
  EXPECT_EQ(inner.Text(MarginLeft), u"9px");
}

TEST_F(Cascade, InheritanceAndDefaults) {
  Sheet(u"span{margin-left:7px;border-left-width:3px} td{margin-left:7px} p{font-size:2em}");
  Open(u"span");
  TProperties& inSpan = Open(u"b");
  EXPECT_EQ(inSpan.Text(MarginLeft), u"7px");
  stack.resize(1);
  Open(u"td");
  TProperties& inCell = Open(u"b");
  EXPECT_EQ(Int(inCell, MarginLeft), IntNull);
  EXPECT_EQ(inCell.Text(FontWeight), u"bold");
  stack.resize(1);
  TProperties& p = Open(u"p");
  EXPECT_DOUBLE_EQ(std::get<double>(p.Props[FontSize]), 24);
  EXPECT_EQ(Int(p, MarginTop), AutoParagraph);
  stack.resize(1);
  TProperties& styled = Open(u"div", u"", u"", u"", u"color: #00f; margin-left:3px");
  EXPECT_EQ(Int(styled, Color), int(RGB(0, 0, 255)));
  EXPECT_EQ(styled.Text(MarginLeft), u"3px");
}

TEST_F(Cascade, ConvMargArrayAndBorders) {
  TProperties& p = Open(u"div", u"", u"", u"",
                        u"border-left-width:thick;border-left-style:none;border-top:thick solid red;"
                        u"margin:auto 10%;padding:1px 2px 3px;width:50%;height:20%");
  TMarginArray m{};
  int autoCount = 0;
  p.ConvMargArray(400, 200, 3, 16, 8, m, autoCount);
  EXPECT_EQ(m[BorderLeftWidth], 0);
  EXPECT_EQ(m[BorderTopWidth], 6);
  EXPECT_EQ(m[BorderTopStyle], 1);
  EXPECT_EQ(m[BorderTopColor], int(RGB(255, 0, 0)));
  EXPECT_EQ(m[BorderRightWidth], 0);
  EXPECT_EQ(m[MarginLeft], 40);
  EXPECT_EQ(m[PaddingTop], 1);
  EXPECT_EQ(m[PaddingLeft], 2);
  EXPECT_EQ(m[PaddingBottom], 3);
  EXPECT_EQ(m[piWidth], 200);
  EXPECT_EQ(m[piHeight], 40 - 1 - 3 - 6);
  EXPECT_EQ(m[LeftPos], Auto);
  EXPECT_EQ(autoCount, 0);
  TProperties& q = Open(u"div", u"", u"", u"", u"margin-left:auto");
  q.ConvMargArray(400, 200, 3, 16, 8, m, autoCount);
  EXPECT_EQ(m[MarginLeft], Auto);
  EXPECT_EQ(autoCount, 2);  // the margin and the width
}

TEST_F(Cascade, BoxValuesForLayout) {
  TVMarArray vm;
  Open(u"td", u"", u"", u"",
       u"padding:10% 3px;border-style:solid;color:red;box-sizing:border-box;width:100px;max-width:80px;"
       u"margin-top:4px")
      .CopyBoxProps(vm, true);
  EXPECT_EQ(std::get<int>(vm[BorderTopColor]), int(RGB(255, 0, 0)));
  EXPECT_EQ(std::get<int>(vm[BorderTopStyle]), 1);
  std::array<int, 4> pad;
  ConvCellPadding(vm, 200, 16, 8, pad);
  EXPECT_EQ(pad, (std::array<int, 4>{-10, 3, -10, 3}));
  TMarginArray m{};
  ConvInlineMargArray(vm, 200, 100, 16, 8, m);
  EXPECT_EQ(m[MarginLeft], IntNull);
  EXPECT_EQ(m[BorderTopWidth], 4);
  int autoCount;
  ConvMargArray(vm, 200, 100, 3, 16, 8, m, autoCount);
  ApplyBoxSizing(m);
  EXPECT_EQ(m[piWidth], 80 - 3 - 3 - 3 - 3);
  bool topAuto, bottomAuto;
  ConvVertMargins(vm, 200, 16, 8, m, topAuto, bottomAuto);
  EXPECT_EQ(m[MarginTop], 4);
  EXPECT_FALSE(topAuto);
  stack.resize(1);
  Open(u"p").CopyBoxProps(vm, false);
  EXPECT_EQ(std::get<int>(vm[BorderTopColor]), IntNull);
  ConvVertMargins(vm, 200, 16, 8, m, topAuto, bottomAuto);
  EXPECT_EQ(m[MarginBottom], 14);
  EXPECT_TRUE(bottomAuto);
}

// Blocks keep their box values compactly: every kind of value reads back as it was set, whatever
// was set before it in the same place.
TEST(BoxValues, EveryKindReadsBackAsSet) {
  const std::u16string longText = u"calc(100% - 2 * 1.5em + 3px)";  // beyond the short-text size
  const std::vector<TPropValue> values = {TPropValue{},        TPropValue{0},           TPropValue{IntNull},
                                          TPropValue{-7},      TPropValue{0x7FFFFFFF},  TPropValue{std::u16string()},
                                          TPropValue{u"auto"}, TPropValue{longText},    TPropValue{12.5}};
  for (int id = TVMarArray::First; id <= TVMarArray::Last; ++id)
    for (const TPropValue& before : values)
      for (const TPropValue& after : values) {
        TVMarArray vm;
        vm.Set(TVMarArray::First, u"neighbour");
        vm.Set(id, before);
        vm.Set(id, after);
        EXPECT_EQ(vm[id], after) << "id " << id;
        if (id != TVMarArray::First) EXPECT_EQ(vm[TVMarArray::First], TPropValue(u"neighbour"));
      }
}

TEST(BoxValues, TextAndNumbersTakingTurnsStayApart) {
  TVMarArray vm;
  for (int round = 0; round < 50; ++round)
    for (int id = TVMarArray::First; id <= TVMarArray::Last; ++id) {
      if ((id + round) % 3 == 0)
        vm.Set(id, round * 100 + id);
      else
        vm.Set(id, std::u16string(u"v") + char16_t(u'A' + round % 26) + char16_t(u'a' + id % 26));
    }
  for (int id = TVMarArray::First; id <= TVMarArray::Last; ++id) {
    const int round = 49;
    const TPropValue want = (id + round) % 3 == 0
                                ? TPropValue(round * 100 + id)
                                : TPropValue(std::u16string(u"v") + char16_t(u'A' + round % 26) + char16_t(u'a' + id % 26));
    EXPECT_EQ(vm[id], want) << "id " << id;
  }
  const TPropValue kept = vm[MarginTop];
  TVMarArray copy = vm;
  EXPECT_TRUE(copy == vm);
  copy.Set(MarginTop, u"changed");
  EXPECT_EQ(vm[MarginTop], kept);
  EXPECT_FALSE(copy == vm);
}

TEST(BoxValues, IdsOutsideTheBoxReadAsNotGiven) {
  TVMarArray vm;
  for (int id : {0, int(Color), int(Visibility), int(PropCount) - 1, int(PropCount), -1}) {
    vm.Set(id, 5);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(vm[id])) << "id " << id;
  }
  EXPECT_TRUE(vm == TVMarArray{});
}

TEST_F(Cascade, BackgroundPlacement) {
  struct Case {
    const char16_t* style;
    int hType, hValue, vType, vValue;
    bool hRepeat, vRepeat;
  } cases[] = {
      {u"background-position:10% 20px", 5, 10, 6, 20, true, true},
      {u"background-position:right top;background-repeat:no-repeat", 4, 0, 0, 0, false, false},
      {u"background-position:top right", 4, 0, 0, 0, true, true},
      {u"background-position:center;background-repeat:repeat-x", 1, 0, 1, 0, true, false},
      {u"background:url(a.gif) left bottom repeat-y", 3, 0, 2, 0, false, true},
      {u"color:red", 6, 0, 6, 0, true, true},
  };
  for (const Case& c : cases) {
    const TBackgroundPosition pos = Open(u"div", u"", u"", u"", c.style).GetBackgroundPos();
    EXPECT_EQ(pos[0].PosType, c.hType) << (char*)c.style;
    EXPECT_EQ(pos[0].Value, c.hValue);
    EXPECT_EQ(pos[1].PosType, c.vType) << (char*)c.style;
    EXPECT_EQ(pos[1].Value, c.vValue);
    EXPECT_EQ(pos[0].RepeatD, c.hRepeat);
    EXPECT_EQ(pos[1].RepeatD, c.vRepeat);
  }
  EXPECT_EQ(BackgroundOffset({1, 0}, 100), 50);
  EXPECT_EQ(BackgroundOffset({5, 30}, 200), 60);
}

TEST_F(Cascade, CharSetAndCodePage) {
  TProperties& p = Open(u"div");
  p.AssignCharSet(31);
  EXPECT_EQ(p.CharSet, 238);
  EXPECT_EQ(p.CodePage, 28592);
  p.AssignCodePage(CP_UTF8);
  EXPECT_EQ(p.CharSet, 1);
  const TBuffCharSetCodePageInfo* koi = FindCharSetInfo(u"koi8-r");
  p.AssignCharSetAndCodePage(koi->CharSet, koi->CodePage);
  EXPECT_EQ(p.CodePage, 20866);
  EXPECT_THROW(p.AssignCharSet(30), EConversionError);
}

TEST_F(Cascade, Parser) {
  Sheet(u"<!-- p{color:red} -->");
  EXPECT_EQ(Int(*styles.First(u"p"), Color), int(RGB(255, 0, 0)));
  Sheet(u"@media print { h1{color:red} } @media screen, tv { h2{color:red} }");
  EXPECT_FALSE(styles.First(u"h1")->Props[Color].index() == 2);
  EXPECT_EQ(Int(*styles.First(u"h2"), Color), int(RGB(255, 0, 0)));
  Sheet(u"@charset \"utf-8\"; h3{color:red} a + b{color:red} a * b{color:red}");
  EXPECT_EQ(Int(*styles.First(u"h3"), Color), int(RGB(255, 0, 0)));
  int descendants = 0;
  for (const auto& [key, p] : styles.Items()) {
    EXPECT_EQ(key.find(u'+'), std::u16string::npos);
    descendants += key.starts_with(u"b ") && key.ends_with(u"a");
  }
  EXPECT_EQ(descendants, 1);
  Sheet(u"A.Z.B#I:HOVER{color:red} div{background-image:url(\"a;b.gif\");margin:1px 2px 3px}");
  EXPECT_NE(styles.First(u"a.b.z#i:hover"), nullptr);
  EXPECT_EQ(styles.First(u"div")->Text(BackgroundImage), u"url(\"a;b.gif\")");
  const TProperties& div = *styles.First(u"div");
  EXPECT_EQ(div.Text(MarginTop), u"1px");
  EXPECT_EQ(div.Text(MarginRight), u"2px");
  EXPECT_EQ(div.Text(MarginLeft), u"2px");
  EXPECT_EQ(div.Text(MarginBottom), u"3px");
  Sheet(u"em{font:bold 12px/14px Arial} dfn{font:120% serif} kbd{font:100px Arial}");
  const TProperties& em = *styles.First(u"em");
  EXPECT_EQ(em.Text(FontWeight), u"bold");
  EXPECT_EQ(em.Text(FontSize), u"12px");
  EXPECT_EQ(em.Text(LineHeight), u"14px");
  EXPECT_EQ(em.Text(FontFamily), u"arial");
  EXPECT_EQ(styles.First(u"dfn")->Text(FontSize), u"120%");
  EXPECT_EQ(styles.Find(u"kbd").back()->Text(FontSize), u"100px");
}

TEST_F(Cascade, ParserURLs) {
  Sheet(u"body{background:url(Img/A.gif) no-repeat right top #fff}");
  const TProperties& body = *styles.First(u"body");
  EXPECT_EQ(body.Text(BackgroundImage), u"url(Img/A.gif)");
  EXPECT_EQ(body.Text(BackgroundRepeat), u"no-repeat");
  EXPECT_EQ(body.Text(BackgroundPosition), u"right top");
  EXPECT_EQ(Int(body, BackgroundColor), int(RGB(255, 255, 255)));
  Sheet(u"li{list-style-image:url(../I/dot.gif)} ol{background-image:url(data:image/gif;base64,R0lG)}",
        u"http://h.org/css/site.css");
  EXPECT_EQ(styles.First(u"li")->Text(ListStyleImage), u"url(\"http://h.org/I/dot.gif\")");
  EXPECT_EQ(styles.Find(u"ol").back()->Text(BackgroundImage), u"url(\"data:image/gif;base64,R0lG\")");
}

TEST_F(Cascade, ParserErrorsAndStops) {
  try {
    Sheet(u"p{color:red} /* open");
    FAIL();
  } catch (const EParseError& e) {
    EXPECT_STREQ(e.what(), "Unterminated comment in style file: sheet.css");
  }
  TBuffer doc = TBuffer::FromString(u"p{color:red}</style>", u"page");
  char16_t lch = u' ';
  ParseStyleTag(styles, lch, doc, false, false, u"");
  EXPECT_EQ(lch, u'<');
  EXPECT_EQ(doc.NextChar(), u'/');
  Sheet(u"p{color:red;;margin-top=4px;bad value;}q{color:red");
  EXPECT_EQ(styles.Find(u"p").back()->Text(MarginTop), u"4px");
  EXPECT_EQ(Int(*styles.First(u"q"), Color), int(RGB(255, 0, 0)));
}

// Whatever a value leaves open, its "}" ends it, and the "<" of a style element ends the sheet:
// the rules after it, and the page after the sheet, stay.
TEST_F(Cascade, NothingOpenTakesWhatFollows) {
  struct Case {
    std::u16string css;
    int property;
    std::u16string value;  // p's, when given
  };
  const Case files[] = {
      {u"p{font-family:\"a\\\"b\"}", FontFamily, u"a\\\"b"},
      {u"p{font-family:\"Arial}", FontFamily, u""},
      {u"p{background-image:url(x}", BackgroundImage, u""},
      {u"p{background-image:url(Img\\a.gif)}", BackgroundImage, u"url(Img\\a.gif)"},
  };
  int k = 0;
  for (const Case& c : files) {
    // Each case's own mark on the rule after it.
    const std::u16string mark = QString::number(++k).toStdU16String() + u"px";
    Sheet(c.css + u" q{margin-top:" + mark + u"}");
    const std::string css = QString::fromStdU16String(c.css).toStdString();
    ASSERT_NE(styles.First(u"q"), nullptr) << css;
    EXPECT_EQ(styles.Find(u"q").back()->Text(MarginTop), mark) << css;
    if (!c.value.empty()) {
      EXPECT_EQ(styles.Find(u"p").back()->Text(c.property), c.value) << css;
    }
  }
  for (const char16_t* element : {u"p{font-family:\"x</style>", u"p{background:url(x</style>",
                                  u"@import \"a</style>", u"@import url(x </style>", u"</style>",
                                  u"p{font-family:x\\</style>", u"@media screen{p{color:red</style>"}) {
    TBuffer doc = TBuffer::FromString(element, u"page");
    char16_t lch = u' ';
    ParseStyleTag(styles, lch, doc, false, false, u"");
    EXPECT_EQ(lch, u'<') << QString::fromStdU16String(element).toStdString();
    EXPECT_EQ(doc.NextChar(), u'/');
  }
}

}  // namespace

TEST_F(Cascade, TheFontShorthandKeepsItsFamilyListAndItsSize) {
  struct Case {
    std::u16string value, size, family, lineHeight;
  } cases[] = {
      {u"20px \"DejaVu Sans Mono\", serif", u"20px", u"\"dejavu sans mono\",serif", u"normal"},
      {u"italic bold 12px/30px Georgia, 'Times New Roman', serif", u"12px",
       u"georgia,'times new roman',serif", u"30px"},
      {u".8em Arial", u".8em", u"arial", u"normal"},
      {u"small-caps 1.5em DejaVu Sans", u"1.5em", u"dejavu sans", u"normal"},
  };
  for (const Case& c : cases) {
    styles.Clear();
    Sheet(u"p{font:" + c.value + u"}");
    const TProperties& p = *styles.First(u"p");
    SCOPED_TRACE(QString::fromStdU16String(c.value).toStdString());
    EXPECT_EQ(p.Text(FontSize), c.size);
    EXPECT_EQ(p.Text(FontFamily), c.family);
    EXPECT_EQ(p.Text(LineHeight), c.lineHeight);
  }
}

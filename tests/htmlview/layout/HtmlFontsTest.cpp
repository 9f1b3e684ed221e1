// Font runs, links and their tab controls, images and panels in the text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/HtmlBuffer.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/TestPage.h"

using namespace htmlview;

namespace {

class TFakeViewer : public THtmlViewBase {
public:
  std::u16string HtmlExpandFilename(const std::u16string& f) override { return f; }
  bool ShowFocusRect() override { return false; }
  void ControlMouseMove(QObject*, unsigned, int, int) override {}
  void htProgress(int) override {}
  void PostHotSpot(const TUrlTarget& link) override { posted.push_back(link.URL); }
  std::vector<std::u16string> posted;
};

std::unique_ptr<TAttributeList> Attrs(std::initializer_list<std::pair<Symb, std::u16string>> list) {
  auto attrs = std::make_unique<TAttributeList>();
  for (const auto& [which, value] : list) {
    QString v = QString::fromStdU16String(value);
    v.remove(u'%');
    attrs->Add(which, v.toDouble(), u"", value, 0);
  }
  return attrs;
}

struct Objects : ::testing::Test {
  Objects() { EnsureGuiApp(); }
  void Size(TFloatingObj& o, TFontObj* font = nullptr, int width = 400, int height = 300) {
    QImage sink(1, 1, QImage::Format_RGB32);
    TCanvas canvas(&sink);
    o.DrawLogic(doc, canvas, font, width, height);
  }
  ThtDocument doc{nullptr, nullptr};
};

}  // namespace

// 10, 14 and 18 px are no whole number of points at 96 pixels per inch: kept all the same.
TEST(HtmlFonts, CanvasFontKeepsThePixelSize) {
  for (int px : {9, 10, 11, 13, 14, 16, 18, 19, 24, 32, 48}) {
    TMyFont f;
    f.Name = u"Arial";
    f.Height = -px;
    EXPECT_EQ(CanvasFont(f, clBlack).ToQFont().pixelSize(), px) << px;
  }
}

// Fitting a run measures prefixes in calls of the measurer's prefix widths, a short probe first,
// never the whole rest of a long paragraph nor one prefix per candidate count.
TEST(HtmlFonts, FitCharsMeasuresPrefixesInFewCalls) {
  class TCounting final : public TTextMeasurer {
  public:
    TSize TextExtent(const QFont&, const std::u16string& text) const override {
      ++extents;
      return {static_cast<int>(text.size()) * 8, 20};
    }
    int LineHeight(const QFont&) const override { return 20; }
    void PartialExtents(const QFont&, std::u16string_view text, std::vector<int>& widths) const override {
      ++partials;
      longest = std::max(longest, text.size());
      widths.clear();
      for (size_t i = 1; i <= text.size(); ++i) widths.push_back(static_cast<int>(i) * 8);
    }
    mutable int extents = 0, partials = 0;
    mutable size_t longest = 0;
  } m;
  EnsureGuiApp();
  SetPixelsPerInch(96);
  SetFontMeasurer(&m);
  TMyFont font;
  font.Name = u"Arial";
  font.Height = -16;
  font.tmAveCharWidth = 8;
  TFontObj f(nullptr, font, 0);
  const std::u16string text(10000, u'x');
  struct Case {
    int width, fits;
  } cases[] = {{7, 0}, {8, 1}, {100, 12}, {800, 100}, {80000, 10000}, {90000, 10000}};
  for (const Case& c : cases) {
    m.extents = m.partials = 0;
    m.longest = 0;
    int extent = -1;
    EXPECT_EQ(f.FitChars(text.data(), 10000, c.width, extent), c.fits) << c.width;
    EXPECT_EQ(extent, c.fits * 8) << c.width;
    EXPECT_EQ(m.extents, 0);
    EXPECT_LE(m.partials, 2) << c.width;
    if (c.fits < 1000) {
      EXPECT_LT(m.longest, 400u) << c.width;
    }
  }
  SetFontMeasurer(nullptr);
}

TEST(HtmlFonts, FontListRunsAndRemovals) {
  EnsureGuiApp();
  ThtDocument doc(nullptr, nullptr);
  TFontList list;
  TMyFont f;
  for (int pos : {0, 3, 4, 9}) list.Add(std::make_unique<TFontObj>(nullptr, f, pos));
  int overhang = -1;
  EXPECT_EQ(list.GetFontAt(3, overhang), list[1]);
  EXPECT_EQ(overhang, 0);
  EXPECT_EQ(list.GetFontAt(8, overhang), list[2]);
  EXPECT_EQ(list.GetFontCountAt(5, 20), 4);
  EXPECT_EQ(list.GetFontCountAt(9, 20), 11);
  TFontObj* later = list[2];
  list.Decrement(3, &doc);  // the run at 4 now starts at 3 too: it replaces the one there
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[1], later);
  EXPECT_EQ(later->Pos, 3);
  EXPECT_EQ(list[2]->Pos, 8);
}

TEST(HtmlFonts, RunsOfOneLinkShareItsIdHoverTogetherAndTabOnce) {
  EnsureGuiApp();
  TFakeViewer viewer;
  QWidget panel;
  panel.resize(200, 100);
  QWidget before(&panel);  // a control ahead of the link in the tab order
  before.setFocusPolicy(Qt::StrongFocus);
  ThtDocument doc(&viewer, &panel);
  doc.SetFonts(u"Arial", u"Courier New", clBlack, RGB(0, 0, 255), RGB(128, 0, 128), RGB(255, 0, 0), clWhite,
               true, true, 12);
  TProperties& link = doc.PropertyStack->PushProperties(u"a", u"", u"", u"link", u"", static_cast<TProperties*>(nullptr));
  link.InLink = true;
  link.Combine(*doc.StyleList, u"a", u"", u"", u"link", nullptr);
  TUrlTarget target;
  target.Assign(u"go.html", u"", nullptr, 0);
  auto section = std::make_unique<TSection>(&doc, &doc, *doc.PropertyStack->front(), nullptr, nullptr, false);
  section->AddText(u"see ", 0);
  section->HRef(true, link, &target);
  section->AddText(u"one", 4);
  TProperties& bold = doc.PropertyStack->PushProperties(u"b", u"", u"", u"", u"", static_cast<TProperties*>(nullptr));
  section->ChangeFont(bold);
  section->AddText(u"two", 7);
  doc.PropertyStack->PopProperties();
  section->ChangeFont(link);
  doc.PropertyStack->PopProperties();
  section->HRef(false, doc.PropertyStack->Last(), nullptr);
  section->AddText(u" end", 10);
  TSection* s = static_cast<TSection*>(doc.AddSection(std::move(section)));
  ASSERT_EQ(doc.LinkFonts.size(), 2u);
  TFontObj* a = doc.LinkFonts[0];
  TFontObj* b = doc.LinkFonts[1];
  EXPECT_EQ(a->LinkID(), b->LinkID());
  EXPECT_NE(a->LinkID(), 0);
  EXPECT_FALSE(s->Fonts.Last()->IsLink());
  b->SetAllHovers(doc.LinkFonts, true);
  EXPECT_TRUE(a->Hover);
  EXPECT_TRUE(b->Hover);
  a->SetAllHovers(doc.LinkFonts, false);
  EXPECT_FALSE(b->Hover);
  for (TFontObj* f : doc.LinkFonts) f->CreateTabControl(0);
  ASSERT_TRUE(a->TabControl);
  EXPECT_FALSE(b->TabControl);
  // The focus makes every run of the link active.
  panel.show();
  panel.activateWindow();
  QApplication::processEvents();
  before.setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(before.hasFocus());
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(&before, &tab);  // Tab reaches the link
  QApplication::processEvents();
  ASSERT_TRUE(a->TabControl->hasFocus());
  EXPECT_TRUE(a->Active);
  EXPECT_TRUE(b->Active);
  // Enter on the focused link posts the hot spot.
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(a->TabControl.get(), &enter);
  ASSERT_EQ(viewer.posted.size(), 1u);
  EXPECT_EQ(viewer.posted[0], u"go.html");
  EXPECT_EQ(a->TabControl->focusPolicy(), Qt::StrongFocus);
  EXPECT_EQ(a->TabControl->x(), -4000);
}

TEST(HtmlFonts, EveryLinkWithTextGetsOneTabControl) {
  EnsureGuiApp();
  struct Case {
    const char16_t* html;
    std::vector<std::u16string> tabbed;  // the links with a tab control, in page order
  } cases[] = {
      {u"<a href=a>one <b>two</b> three</a> <a href=b>b</a>", {u"a", u"b"}},
      {u"<a href=a><div>in a block</div></a>", {u"a"}},
      {u"<a href=a><p></p><p>later</p></a>", {u"a"}},
      {u"<a href=a></a><a href=b>b</a>", {u"b"}},
      {u"<a href=a> </a><p>x</p>", {}},
      {u"<a href=a>one<br>two</a>", {u"a"}},
  };
  for (const Case& k : cases) {
    QWidget panel;
    TTestPage page;
    ThtDocument& doc = page.NewDocument(&panel);
    page.ParseInto(k.html);
    std::vector<std::u16string> tabbed;
    for (TFontObj* f : doc.LinkFonts)
      if (f->TabControl) tabbed.push_back(f->GetURL());
    EXPECT_EQ(tabbed, k.tabbed) << QString::fromStdU16String(k.html).toStdString();
    EXPECT_EQ(panel.findChildren<ThtTabControl*>().size(), k.tabbed.size())
        << QString::fromStdU16String(k.html).toStdString() << ": no control left behind";
  }
}

TEST_F(Objects, ImageAttributes) {
  auto attrs = Attrs({{BorderSy, u"25"}, {HspaceSy, u"-50"}, {WidthSy, u"150%"}, {VspaceSy, u"7"}});
  TImageObj image(&doc, 0, attrs.get());
  EXPECT_EQ(image.BorderSize, 10);
  EXPECT_EQ(image.HSpaceL, 40);
  EXPECT_EQ(image.HSpaceR, 40);
  EXPECT_EQ(image.VSpaceT, 7);
  EXPECT_EQ(image.VSpaceB, 7);
  EXPECT_FALSE(image.PercentWidth);
  EXPECT_EQ(image.SpecWidth, -1);
  auto floats = Attrs({{AlignSy, u"right"}});
  TImageObj right(&doc, 0, floats.get());
  EXPECT_EQ(right.Floating, ARight);
  EXPECT_EQ(right.VertAlign, ANone);
}

TEST_F(Objects, ImageSizes) {
  auto red = std::make_shared<TDocImage>();
  red->Image = QImage(200, 100, QImage::Format_ARGB32);
  doc.ImageLoader = [red](const std::u16string&, bool&) { return red; };
  auto half = Attrs({{SrcSy, u"r.png"}, {WidthSy, u"50%"}, {BorderSy, u"2"}});
  TImageObj image(&doc, 0, half.get());
  Size(image, nullptr, 400);
  EXPECT_EQ(image.ObjWidth, 198);
  EXPECT_EQ(image.ObjHeight, 99);
  EXPECT_EQ(image.ImageWidth, 202);
  auto plain = Attrs({{SrcSy, u"r.png"}, {HeightSy, u"50"}});
  TImageObj byHeight(&doc, 0, plain.get());
  Size(byHeight);
  EXPECT_EQ(byHeight.ObjWidth, 100);
  EXPECT_EQ(byHeight.ImageWidth, 100);
}

TEST_F(Objects, PlaceholdersAreSizedByTheirAltText) {
  doc.ShowImages = false;
  auto bare = Attrs({{SrcSy, u"x.png"}, {BorderSy, u"3"}});
  TImageObj image(&doc, 0, bare.get());
  Size(image);
  EXPECT_EQ(image.ImageWidth, 24 + 6);
  EXPECT_EQ(image.ImageHeight, 24 + 6);
  auto alt = Attrs({{SrcSy, u"x.png"}, {AltSy, u"Picture of a lighthouse"}});
  TImageObj withAlt(&doc, 0, alt.get());
  Size(withAlt);
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  canvas.Font = TFont{u"Arial", 8, clBlack, 0};
  EXPECT_EQ(withAlt.ImageWidth, canvas.TextWidth(u"Picture of a lighthouse") + 26);
  EXPECT_GE(withAlt.ImageHeight, 24);
}

TEST_F(Objects, PanelSizesAndSpaces) {
  QWidget panel;
  ThtDocument host(nullptr, &panel);
  auto left = Attrs({{AlignSy, u"LEFT"}});
  TPanelObj a(&host, 0, left.get(), false);
  EXPECT_EQ(a.HSpaceL, 3);
  EXPECT_EQ(a.HSpaceR, 3);
  auto spaced = Attrs({{HspaceSy, u"-60"}});
  TPanelObj b(&host, 0, spaced.get(), false);
  EXPECT_EQ(b.HSpaceL, 40);
  EXPECT_EQ(b.HSpaceR, 40);
  ASSERT_TRUE(b.Panel);
  EXPECT_EQ(b.Panel->pos(), QPoint(-4000, -4000));
  EXPECT_EQ(b.Panel->size(), QSize(30, 20));
  // A percentage width keeps the natural proportions (30 x 20).
  auto percent = Attrs({{WidthSy, u"50%"}});
  TPanelObj c(&host, 0, percent.get(), false);
  Size(c, nullptr, 300, 500);
  EXPECT_EQ(c.ImageWidth, 150);
  EXPECT_EQ(c.ImageHeight, 100);
  EXPECT_EQ(c.Panel->size(), QSize(150, 100));
  // A natural size of 0 derives nothing and divides by nothing.
  c.NaturalWidth = 0;
  c.NaturalHeight = 0;
  Size(c, nullptr, 300, 500);
  EXPECT_EQ(c.ImageHeight, 0);
  EXPECT_EQ(c.Panel->size(), QSize(150, 100));
  EXPECT_EQ(host.Panels.size(), 3u);
}

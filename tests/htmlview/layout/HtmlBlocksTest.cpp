#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <sstream>

#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlDump.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleValues.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/TestPage.h"
#include "tests/htmlview/LayoutPieces.h"

using namespace htmlview;

namespace {

// Content of a fixed size that records the room it was given.
class TBox : public TFixedHeightSection {
public:
  TBox(ThtDocument* owner, TCellBasic* cell, int w, int h, TColor color = clNone)
      : TFixedHeightSection(owner, cell), W(w), H(h), Color(color) {}
  int W, H;
  TColor Color;
  int LaidX = 0, RoomLeft = 0, RoomRight = 0, RoomWidth = 0;
  int Layout(TCanvas&, int x, int y, int width, int, int, int, int, TIndentManager& imgr, int& maxWidth,
             int& curs) override {
    StartChar = curs;
    LaidX = x;
    RoomLeft = imgr.ImageLeft(y);
    RoomRight = imgr.ImageRight(y);
    RoomWidth = width;
    maxWidth = W;
    return PlaceAt(y, H);
  }
  int Draw(TCanvas& canvas, const TRect&, int, int x, int, int) override {
    if (Color != clNone) FillRectColor(canvas, {x, YPos - Owner->YOffset, x + W, YPos - Owner->YOffset + H}, Color);
    return DrawBottom;
  }
  void WidthRange(TCanvas&, int& minWidth, int& maxWidth) override { minWidth = maxWidth = W; }
};

class Blocks : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureGuiApp();
    SetPixelsPerInch(96);
    doc = std::make_unique<ThtDocument>(nullptr, nullptr);
    SetTestFonts(*doc);
    doc->PropertyStack->Reset();
  }
  void TearDown() override {
    doc.reset();
    SetPixelsPerInch(0);
  }

  TProperties& Push(const std::u16string& tag, const std::u16string& style = u"") {
    std::unique_ptr<TProperties> attr;
    if (!style.empty()) {
      attr = std::make_unique<TProperties>(false);
      ParseStyleAttrString(style, *attr);
    }
    return doc->PropertyStack->PushProperties(tag, u"", u"", u"", u"", attr.get());
  }
  // A block of tag with style in cell, holding a box of w x h.
  template <class B = TBlock>
  B* Block(TCellBasic* cell, const std::u16string& style, int w = 50, int h = 10, const std::u16string& tag = u"div",
           TColor color = clNone) {
    TProperties& p = Push(tag, style);
    auto block = std::make_unique<B>(doc.get(), cell, p, nullptr);
    B* b = block.get();
    cell->Add(std::move(block));
    if (w > 0 || h > 0) b->MyCell->Add(std::make_unique<TBox>(doc.get(), b->MyCell.get(), w, h, color));
    doc->PropertyStack->PopProperties();
    return b;
  }
  int Layout(int width = 600) {
    QImage image(10, 10, QImage::Format_RGB32);
    TCanvas canvas(&image);
    canvas.Measurer = &fixed;
    int scroll = 0;
    return doc->DoLayout(canvas, 0, width, 400, scroll);
  }
  QImage Paint(int w = 200, int h = 200) { return Painted(*doc, fixed, w, h); }

  TFixedMeasurer fixed{8, 16};
  std::unique_ptr<ThtDocument> doc;
};

// A page holds a block for nearly every paragraph and list item: a block keeps its box values,
// not a set of every property, so that a page takes a few dozen bytes of memory per byte.
TEST(BlockSize, BlocksStaySmall) {
  EXPECT_LE(sizeof(TBlock), 640u);
  EXPECT_LE(sizeof(TBlockLI), 800u);
  EXPECT_LE(sizeof(TVMarArray), 96u);
  EXPECT_LE(sizeof(TMarginArray), 32u * sizeof(int));
}

TEST_F(Blocks, AdjacentMarginsCollapse) {
  struct Case {
    int bottom, top, gap;
  };
  for (const Case& c : {Case{12, 16, 16}, Case{-4, 10, 6}, Case{-4, -10, -10}, Case{20, 0, 20}}) {
    SetUp();
    TBlock* a = Block(doc.get(), u"margin-bottom: " + std::u16string(u"") +
                                     (c.bottom < 0 ? u"-" : u"") + std::u16string(1, u'0' + std::abs(c.bottom) / 10) +
                                     std::u16string(1, u'0' + std::abs(c.bottom) % 10) + u"px");
    TBlock* b = Block(doc.get(), u"margin-top: " + std::u16string(c.top < 0 ? u"-" : u"") +
                                     std::u16string(1, u'0' + std::abs(c.top) / 10) +
                                     std::u16string(1, u'0' + std::abs(c.top) % 10) + u"px");
    Layout();
    EXPECT_EQ(b->ContentTop - a->ContentBottom, c.gap) << c.bottom << " " << c.top;
    EXPECT_EQ(a->MargArray[MarginBottom], 0);
  }
}

TEST_F(Blocks, FirstParagraphLosesItsDefaultTopMargin) {
  TBlock* p = Block(doc.get(), u"", 50, 10, u"p");
  TBlock* q = Block(doc.get(), u"", 50, 10, u"p");
  Layout();
  EXPECT_EQ(p->ContentTop, 0);
  EXPECT_EQ(q->ContentTop - p->ContentBottom, 14);  // the two default margins collapse into one
  // The last one's default bottom margin goes when its cell ends.
  EXPECT_TRUE(doc->CheckLastBottomMargin());
  Layout();
  EXPECT_EQ(q->BlockBottom, q->ContentBottom);
}

TEST_F(Blocks, DisplayNoneTakesNoRoomAndAnswersNothing) {
  TProperties& p = Push(u"div", u"display: none");
  p.PropTitle = u"hidden";
  auto attrs = std::make_unique<TAttributeList>();
  attrs->Add(TitleSy, 0, u"title", u"hidden", 0);
  auto block = std::make_unique<TBlock>(doc.get(), doc.get(), p, attrs.get());
  TBlock* b = block.get();
  doc->Add(std::move(block));
  b->MyCell->Add(std::make_unique<TBox>(doc.get(), b->MyCell.get(), 300, 40));
  doc->PropertyStack->PopProperties();
  TBlock* after = Block(doc.get(), u"");
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  int mn = -1, mx = -1;
  b->WidthRange(canvas, mn, mx);
  EXPECT_EQ(mn, 0);
  EXPECT_EQ(mx, 0);
  Layout();
  EXPECT_EQ(b->SectionHeight, 0);
  EXPECT_EQ(after->ContentTop, 0);
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* control = nullptr;
  std::u16string title;
  EXPECT_EQ(b->LinkAtPoint(canvas, 5, 0, url, control, title), 0u);
}

TEST_F(Blocks, TitleAnswersInsideTheBorderBox) {
  auto attrs = std::make_unique<TAttributeList>();
  attrs->Add(TitleSy, 0, u"title", u"Tip", 0);
  TProperties& p = Push(u"div", u"margin: 10px; padding: 5px");
  auto block = std::make_unique<TBlock>(doc.get(), doc.get(), p, attrs.get());
  TBlock* b = block.get();
  doc->Add(std::move(block));
  b->MyCell->Add(std::make_unique<TBox>(doc.get(), b->MyCell.get(), 50, 20));
  doc->PropertyStack->PopProperties();
  Layout(200);
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* control = nullptr;
  std::u16string title;
  EXPECT_EQ(b->LinkAtPoint(canvas, 12, 12, url, control, title), guTitle);
  EXPECT_EQ(title, u"Tip");
  EXPECT_EQ(b->LinkAtPoint(canvas, 5, 12, url, control, title), 0u);  // in the margin
}

TEST_F(Blocks, WidthsAndAutoMargins) {
  struct Case {
    std::u16string style;
    int contentLeft, contentWidth, minWidth;
  };
  for (const Case& c : {Case{u"", 0, 600, 50}, Case{u"width: 200px; margin: 0 auto", 200, 200, 200},
                        Case{u"width: 200px; margin-left: auto", 400, 200, 200},
                        Case{u"width: 200px; margin-left: auto; margin-right: 30px", 370, 200, 230},
                        Case{u"padding: 5px; border: 2px solid red; margin-left: 20px", 27, 566, 84},
                        Case{u"width: 150px; padding: 5px; border: 2px solid red", 7, 150, 164},
                        Case{u"width: 900px; margin: 0 auto", 0, 900, 900}}) {
    SetUp();
    TBlock* b = Block(doc.get(), c.style);
    Layout(600);
    EXPECT_EQ(b->ContentLeft, c.contentLeft) << std::string(c.style.begin(), c.style.end());
    EXPECT_EQ(b->NewWidth, c.contentWidth) << std::string(c.style.begin(), c.style.end());
    QImage image(1, 1, QImage::Format_RGB32);
    TCanvas canvas(&image);
    int mn = 0, mx = 0;
    b->WidthRange(canvas, mn, mx);
    EXPECT_EQ(mn, c.minWidth) << std::string(c.style.begin(), c.style.end());
  }
}

TEST_F(Blocks, FloatsNarrowTheFollowingBlockAndClearGoesBelow) {
  TBlock* left = Block(doc.get(), u"float: left; width: 100px", 100, 50);
  TBlock* right = Block(doc.get(), u"float: right; width: 80px", 80, 70);
  TBlock* text = Block(doc.get(), u"", 50, 10);
  TBlock* cleared = Block(doc.get(), u"clear: both", 50, 10);
  Layout(600);
  EXPECT_EQ(left->BlockX, 0);
  EXPECT_EQ(right->BlockX, 520);
  EXPECT_EQ(left->SectionHeight, 0);
  auto* box = static_cast<TBox*>((*text->MyCell)[0]);
  EXPECT_EQ(box->LaidX, 0);
  EXPECT_EQ(box->RoomLeft, 100);
  EXPECT_EQ(box->RoomRight, 520);
  EXPECT_EQ(text->ContentTop, 0);
  EXPECT_EQ(cleared->ContentTop, 70);
  auto* below = static_cast<TBox*>((*cleared->MyCell)[0]);
  EXPECT_EQ(below->RoomLeft, 0);
  EXPECT_EQ(below->RoomRight, 600);
}

TEST_F(Blocks, FloatThatDoesNotFitGoesBelow) {
  Block(doc.get(), u"float: left; width: 400px", 400, 50);
  TBlock* second = Block(doc.get(), u"float: left; width: 300px", 300, 20);
  Layout(600);
  EXPECT_EQ(second->BlockX, 0);
  EXPECT_EQ(second->BlockTop, 50);
}

TEST_F(Blocks, DrawsBackgroundBorderAndContent) {
  Block(doc.get(), u"margin: 10px; padding: 5px; border: 3px solid #0000ff; background-color: #ff0000; width: 40px",
        20, 10, u"div", RGB(0, 255, 0));
  Layout(200);
  const QImage image = Paint();
  struct Probe {
    int x, y;
    TColor c;
  };
  // Border box 10..66 x 10..36: border 3, padding 5, content 40 x 10 from (18, 18).
  for (const Probe& p : {Probe{9, 20, clWhite}, Probe{10, 20, RGB(0, 0, 255)}, Probe{12, 20, RGB(0, 0, 255)},
                         Probe{13, 20, RGB(255, 0, 0)}, Probe{18, 18, RGB(0, 255, 0)}, Probe{37, 27, RGB(0, 255, 0)},
                         Probe{38, 20, RGB(255, 0, 0)}, Probe{65, 20, RGB(0, 0, 255)}, Probe{66, 20, clWhite},
                         Probe{30, 33, RGB(0, 0, 255)}, Probe{30, 35, RGB(0, 0, 255)}, Probe{30, 36, clWhite}})
    EXPECT_EQ(Px(image, p.x, p.y), p.c) << p.x << "," << p.y;
}

TEST_F(Blocks, DrawingFollowsTheScrollOffset) {
  Block(doc.get(), u"margin-top: 100px; background-color: #ff0000; height: 20px", 0, 0);
  Layout(200);
  doc->YOffset = 90;
  const QImage image = Paint();
  ExpectPixels(image, {{5, 9, clWhite}, {5, 10, RGB(255, 0, 0)}, {5, 29, RGB(255, 0, 0)}, {5, 30, clWhite}});
}

TEST(BackgroundTiles, GridStartsAndEnds) {
  struct Case {
    int start, expect;
  };
  for (const Case& c : {Case{30, -10}, Case{40, -20}, Case{-50, -10}, Case{0, 0}, Case{-5, -5}, Case{-20, 0}}) {
    TBackgroundPosition pos;
    pos[0].PosType = 6;
    pos[0].Value = c.start;
    const TTileGrid g = BackgroundTileGrid(200, 100, 20, 20, pos);
    EXPECT_EQ(g.X.Start, c.expect) << c.start;
    EXPECT_EQ(g.X.End, 200);
  }
}

TEST(BackgroundTiles, OnePixelImagesAreEnlarged) {
  TBackgroundPosition repeatX;
  repeatX[1].RepeatD = false;
  TTileGrid g = BackgroundTileGrid(250, 40, 1, 20, repeatX);
  EXPECT_EQ(g.TileWidth, 100);
  EXPECT_EQ(g.TileHeight, 20);
  EXPECT_EQ(g.X.Start, 0);
  EXPECT_EQ(g.X.End, 250);
  EXPECT_EQ(g.Y.End, 1);
  TBackgroundPosition none;
  none[0].RepeatD = none[1].RepeatD = false;
  g = BackgroundTileGrid(250, 40, 1, 20, none);
  EXPECT_EQ(g.TileWidth, 1);
  EXPECT_EQ(g.X.End - g.X.Start, 1);
  // A single image outside the area draws nothing.
  none[0].PosType = 6;
  none[0].Value = 300;
  EXPECT_TRUE(BackgroundTileGrid(250, 40, 10, 10, none).Empty());
  // Sides of 0.
  EXPECT_TRUE(BackgroundTileGrid(250, 40, 0, 10, repeatX).Empty());
  EXPECT_TRUE(BackgroundTileGrid(0, 40, 10, 10, repeatX).Empty());
}

TEST(BackgroundTiles, DrawsOnlyTheBand) {
  EnsureGuiApp();
  QImage tile(4, 4, QImage::Format_ARGB32);
  tile.fill(QColor(255, 0, 0));
  for (int y = 0; y < 4; ++y) tile.setPixel(3, y, qRgba(0, 0, 0, 0));  // a transparent column
  QImage image(40, 40, QImage::Format_RGB32);
  image.fill(Qt::white);
  TBackgroundPosition pos;
  const TTileGrid grid = BackgroundTileGrid(20, 20, 4, 4, pos);
  {
    TCanvas canvas(&image);
    DrawBackgroundTiles(canvas, tile, grid, {10, 10, 30, 30}, 14, 22);
  }
  auto px = [&](int x, int y) { return image.pixel(x, y) & 0xFFFFFF; };
  EXPECT_EQ(px(10, 13), 0xFFFFFFu);  // above the band
  EXPECT_EQ(px(10, 14), 0xFF0000u);
  EXPECT_EQ(px(13, 14), 0xFFFFFFu);  // the image's transparent column shows the canvas
  EXPECT_EQ(px(14, 21), 0xFF0000u);
  EXPECT_EQ(px(10, 22), 0xFFFFFFu);  // below the band
  EXPECT_EQ(px(30, 15), 0xFFFFFFu);  // right of the box
}

TEST_F(Blocks, PendingBackgroundDrawsItsColourThenTheImage) {
  int asked = 0;
  doc->ImageLoader = [&](const std::u16string&, bool& pending) -> std::shared_ptr<TDocImage> {
    ++asked;
    pending = true;
    return nullptr;
  };
  TBlock* b = Block(doc.get(), u"background-color: #ff0000; background-image: url(tile.png); height: 30px", 0, 0);
  Layout(100);
  ASSERT_TRUE(b->BGImage);
  EXPECT_TRUE(b->BGImage->Pending);
  QImage image = Paint(100, 50);
  EXPECT_EQ(Px(image, 5, 5), RGB(255, 0, 0));
  EXPECT_EQ(asked, 1) << "an awaited picture is not asked for at every paint";
  // The picture arrives as the host hands it over.
  QImage tile(8, 8, QImage::Format_ARGB32);
  tile.fill(QColor(0, 0, 255));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  tile.save(&buffer, "BMP");
  ASSERT_TRUE(doc->InsertImage(u"tile.png", bytes));
  image = Paint(100, 50);
  EXPECT_EQ(Px(image, 5, 5), RGB(0, 0, 255));
  EXPECT_FALSE(b->BGImage->Pending);
}

TEST(ListMarkers, Texts) {
  struct Case {
    TListStyle style;
    int number;
    std::u16string text;
  };
  for (const Case& c : {Case{lbDecimal, 7, u"7."}, Case{lbLowerAlpha, 1, u"a."}, Case{lbLowerAlpha, 27, u"z."},
                        Case{lbUpperAlpha, 2, u"B."}, Case{lbLowerRoman, 4, u"iv."}, Case{lbLowerRoman, 25, u"xx."},
                        Case{lbUpperRoman, 19, u"XIX."}, Case{lbDecimal, 0, u"0."}, Case{lbDecimal, -3, u"-3."},
                        Case{lbLowerAlpha, 0, u"0."}, Case{lbUpperRoman, -3, u"-3."}, Case{lbDisc, 1, u""},
                        Case{lbNone, 1, u""}})
    EXPECT_EQ(ListMarkerText(c.style, c.number), c.text) << c.style << " " << c.number;
}

TEST_F(Blocks, ListStyleByListKind) {
  auto item = [&](Symb type, int level, bool plain, const std::u16string& typeAttr = u"") {
    TProperties& p = Push(u"li", u"");
    auto attrs = std::make_unique<TAttributeList>();
    if (!typeAttr.empty()) attrs->Add(TypeSy, 0, u"type", typeAttr, 0);
    auto li = std::make_unique<TBlockLI>(doc.get(), doc.get(), p, attrs.get(), type, level, plain, 1);
    doc->PropertyStack->PopProperties();
    return li;
  };
  EXPECT_EQ(item(OlSy, 1, false)->ListStyleType, lbDecimal);
  EXPECT_EQ(item(OlSy, 1, false, u"a")->ListStyleType, lbLowerAlpha);
  EXPECT_EQ(item(OlSy, 1, false, u"I")->ListStyleType, lbUpperRoman);
  EXPECT_EQ(item(UlSy, 1, false)->ListStyleType, lbDisc);
  EXPECT_EQ(item(UlSy, 2, false)->ListStyleType, lbCircle);
  EXPECT_EQ(item(UlSy, 3, false)->ListStyleType, lbSquare);
  EXPECT_EQ(item(UlSy, 1, true)->ListStyleType, lbNone);
  EXPECT_EQ(item(DlSy, 1, false)->ListStyleType, lbNone);
  auto standalone = item(LiSy, 0, false);
  EXPECT_EQ(standalone->ListStyleType, lbDisc);
  EXPECT_EQ(standalone->MargArray[MarginTop], 16);
  EXPECT_EQ(item(UlSy, 1, false)->MargArray[PaddingLeft], 40);
  EXPECT_EQ(item(DlSy, 1, false)->MargArray[PaddingLeft], 0);
}

TEST_F(Blocks, DrawnMarkers) {
  TProperties& p = Push(u"li", u"color: #ff0000");
  TBlockLI li(doc.get(), doc.get(), p, nullptr, UlSy, 1, false, 1);
  doc->PropertyStack->PopProperties();
  const TColor red = RGB(255, 0, 0);
  auto draw = [&](TListStyle style) {
    li.ListStyleType = style;
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      TCanvas canvas(&image);
      li.DrawMarker(canvas, 50, 30);
    }
    return image;
  };
  QImage square = draw(lbSquare);
  ExpectPixels(square, {{35, 24, red}, {39, 28, red}, {40, 28, clWhite}, {39, 29, clWhite}, {34, 24, clWhite}});
  QImage disc = draw(lbDisc);
  ExpectPixels(disc, {{37, 26, red}, {34, 26, clWhite}, {40, 26, clWhite}, {37, 29, clWhite},
                      {35, 24, clWhite},  // round: the corners stay clear
                      {39, 28, clWhite}});
  QImage circle = draw(lbCircle);
  ExpectPixels(circle, {{37, 26, clWhite},  // hollow
                        {34, 26, red}, {40, 26, red}, {37, 23, red}, {41, 26, clWhite}});
  QImage none = draw(lbNone);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) ASSERT_EQ(Px(none, x, y), clWhite);
}

TEST_F(Blocks, NumberMarkerIsRightAlignedTenPixelsLeft) {
  TProperties& p = Push(u"li", u"color: #000000");
  TBlockLI li(doc.get(), doc.get(), p, nullptr, OlSy, 1, false, 7);
  doc->PropertyStack->PopProperties();
  QImage image(120, 60, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    TCanvas canvas(&image);
    li.DrawMarker(canvas, 100, 40);
  }
  int leftmost = 1000, rightmost = -1, top = 1000, bottom = -1;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 120; ++x)
      if (qGray(image.pixel(x, y)) < 128) {
        leftmost = std::min(leftmost, x);
        rightmost = std::max(rightmost, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  ASSERT_GE(rightmost, 0);
  EXPECT_LT(rightmost, 90);
  EXPECT_GT(rightmost, 80);
  EXPECT_LT(bottom, 41);  // on the baseline, nothing below for "7."
  EXPECT_GT(top, 20);
  EXPECT_GT(leftmost, 60);
}

TEST_F(Blocks, BodyReportsAtLeastTheManagerWidth) {
  TProperties& p = Push(u"body", u"margin: 8px; background-color: #00ff00");
  auto body = std::make_unique<TBodyBlock>(doc.get(), doc.get(), p, nullptr);
  TBodyBlock* b = body.get();
  doc->Add(std::move(body));
  doc->PropertyStack->PopProperties();
  EXPECT_EQ(doc->Background, RGB(0, 255, 0));  // the page takes the body's colour
  b->MyCell->Add(std::make_unique<TBox>(doc.get(), b->MyCell.get(), 900, 20));
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  int scroll = 0;
  doc->DoLayout(canvas, 0, 300, 400, scroll);
  EXPECT_EQ(b->ContentLeft, 8);
  EXPECT_EQ(b->NewWidth, 284);
  EXPECT_EQ(b->ContentTop, 8);
  EXPECT_EQ(b->SectionHeight, 36);
  EXPECT_EQ(scroll, 916);
}

TEST_F(Blocks, PrintCopyLaysOutTheSame) {
  Block(doc.get(), u"margin: 10px; padding: 4px; border: 2px dashed red", 60, 30);
  Block(doc.get(), u"float: right; width: 50px", 50, 50);
  const int h = Layout(300);
  ThtDocument copy(*doc, nullptr);
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  int scroll = 0;
  EXPECT_EQ(copy.DoLayout(canvas, 0, 300, 400, scroll), h);
  auto* a = dynamic_cast<TBlock*>(copy[1]);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->BlockX, 250);
}

}  // namespace

namespace {

// A message page built as the page builder builds it: a body, paragraphs and lists of items
// holding text sections.
class MessagePage : public Blocks {
protected:
  // The layout's fonts measure on the fixed measurer as well.
  void SetUp() override {
    SetFontMeasurer(&fixed);
    Blocks::SetUp();
  }
  void TearDown() override {
    Blocks::TearDown();
    SetFontMeasurer(nullptr);
  }
  void Pop(const std::u16string& tag) { doc->PropertyStack->PopElement(tag); }
  void Text(TCellBasic* cell, const std::u16string& text) {
    auto s = std::make_unique<TSection>(doc.get(), cell, doc->PropertyStack->Last(), nullptr, nullptr, true);
    s->AddText(text, src);
    src += static_cast<int>(text.size());
    s->Finish(src);
    cell->AddSection(std::move(s));
  }
  template <class B, class... Args>
  B* Open(TCellBasic* cell, const std::u16string& tag, const std::u16string& style, Args... args) {
    TProperties& p = Push(tag, style);
    auto block = std::make_unique<B>(doc.get(), cell, p, nullptr, args...);
    B* b = block.get();
    cell->AddSection(std::move(block));
    return b;
  }
  int Layout(int width) { return LayOut(*doc, fixed, width); }

  int src = 0;
};

std::vector<std::string> DumpLines(const std::string& dump) {
  std::vector<std::string> out;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST_F(MessagePage, ParagraphsAndListsLayOutAndDraw) {
  TBodyBlock* body = Open<TBodyBlock>(doc.get(), u"body", u"margin: 8px");
  TCellBasic* cell = body->MyCell.get();
  TBlock* p1 = Open<TBlock>(cell, u"p", u"");
  Text(p1->MyCell.get(), u"Hello world");
  Pop(u"p");
  TBlock* p2 = Open<TBlock>(cell, u"p", u"");
  Text(p2->MyCell.get(), u"Second one");
  Pop(u"p");
  std::vector<TBlockLI*> items;
  for (int i = 1; i <= 2; ++i) {
    TBlockLI* li = Open<TBlockLI>(cell, u"li", u"", UlSy, 1, false, i);
    Text(li->MyCell.get(), i == 1 ? u"one" : u"two");
    Pop(u"li");
    items.push_back(li);
  }
  TBlockLI* numbered = Open<TBlockLI>(cell, u"li", u"", OlSy, 1, false, 3);
  Text(numbered->MyCell.get(), u"three");
  Pop(u"li");
  Pop(u"body");
  cell->CheckLastBottomMargin();

  const int height = Layout(300);
  EXPECT_EQ(p1->ContentTop, 8);
  EXPECT_EQ(p2->ContentTop - p1->ContentBottom, 14);
  EXPECT_EQ(items[0]->ContentLeft, 48);
  EXPECT_GE(items[0]->ContentTop, p2->ContentBottom);
  EXPECT_EQ(items[1]->ContentTop, items[0]->ContentBottom);
  EXPECT_GE(items[0]->FirstLineBaseline, 1);
  EXPECT_GT(height, numbered->ContentBottom);

  const std::vector<std::string> dump = DumpLines(DumpLayout(*doc));
  ASSERT_EQ(dump.size(), 5u);
  EXPECT_EQ(dump[0].substr(0, 4), "8 8 ");
  EXPECT_NE(dump[0].find("Hello world"), std::string::npos);
  EXPECT_EQ(dump[2].substr(0, 3), "48 ");
  EXPECT_NE(dump[2].find("one"), std::string::npos);
  EXPECT_NE(dump[4].find("three"), std::string::npos);

  const QImage image = Paint(300, height);
  // The disc of the first item: 5 x 5 pixels ending 10 left of the text, just above the baseline.
  const int baseline = items[0]->ContentTop + items[0]->FirstLineBaseline;
  auto dark = [&](int x, int y) { return qGray(image.pixel(x, y)) < 128; };
  EXPECT_TRUE(dark(48 - 13, baseline - 4));
  EXPECT_FALSE(dark(48 - 9, baseline - 4));
  EXPECT_FALSE(dark(48 - 16, baseline - 4));
  // The number of the third item stands right-aligned 10 pixels left of its text.
  const int nb = numbered->ContentTop + numbered->FirstLineBaseline;
  bool any = false;
  for (int y = nb - 16; y <= nb; ++y)
    for (int x = 0; x < 48; ++x)
      if (dark(x, y)) {
        any = true;
        EXPECT_LT(x, 38) << x << "," << y;
      }
  EXPECT_TRUE(any);
}

// Text inside a hidden overflow is drawn and dumped where it stands in the document.
TEST_F(MessagePage, HiddenOverflowTextStaysInDocumentCoordinates) {
  TBodyBlock* body = Open<TBodyBlock>(doc.get(), u"body", u"margin: 8px");
  TBlock* box =
      Open<TBlock>(body->MyCell.get(), u"div", u"overflow: hidden; width: 80px; height: 40px; margin: 20px 0 0 30px");
  Text(box->MyCell.get(), u"inside");
  Pop(u"div");
  Pop(u"body");
  Layout(300);
  ASSERT_EQ(box->ContentLeft, 38);
  const std::vector<std::string> dump = DumpLines(DumpLayout(*doc));
  ASSERT_EQ(dump.size(), 1u);
  EXPECT_EQ(dump[0].substr(0, 3 + std::to_string(box->ContentTop).size() + 1),
            "38 " + std::to_string(box->ContentTop) + " ")
      << dump[0];
  doc->YOffset = 10;
  const QImage image = Paint(300, 100);
  bool ink = false;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 300; ++x)
      if (qGray(image.pixel(x, y)) < 128) {
        ink = true;
        ASSERT_GE(x, 38);
        ASSERT_LT(x, 38 + 80);
        ASSERT_GE(y, box->ContentTop - 10);
      }
  EXPECT_TRUE(ink);
}

}  // namespace

namespace {

// A table of fixed minimum and maximum widths that takes the width it is given.
class TFakeTable : public TFixedHeightSection, public TTableSizing {
public:
  TFakeTable(ThtDocument* owner, TCellBasic* cell, int minW, int maxW, int h)
      : TFixedHeightSection(owner, cell), Min(minW), Max(maxW), H(h) {}
  int Min, Max, H, Spec = 0, Percent = 0, LaidWidth = -1, LaidX = 0;
  void SetSpecWidth(int width) override { Spec = width; }
  int PercentSum() override { return Percent; }
  void WidthRange(TCanvas&, int& minWidth, int& maxWidth) override {
    minWidth = std::max(Min, Spec);
    maxWidth = std::max(Max, Spec);
  }
  int Layout(TCanvas&, int x, int y, int width, int, int, int, int, TIndentManager&, int& maxWidth,
             int& curs) override {
    StartChar = curs;
    LaidWidth = width;
    LaidX = x;
    maxWidth = width;
    return PlaceAt(y, H);
  }
  int Draw(TCanvas& canvas, const TRect&, int, int x, int, int) override {
    FillRectColor(canvas, {x, YPos - Owner->YOffset, x + LaidWidth, YPos - Owner->YOffset + H}, RGB(0, 0, 255));
    return DrawBottom;
  }
};

class TableBlocks : public Blocks {
protected:
  struct Made {
    TTableBlock* block;
    TFakeTable* table;
  };
  Made Table(TCellBasic* cell, int minW, int maxW, std::vector<std::pair<Symb, std::u16string>> attrs,
             const std::u16string& style = u"") {
    auto list = std::make_unique<TAttributeList>();
    for (auto& [sym, value] : attrs) {
      double number = 0;
      try {
        number = std::stod(std::string(value.begin(), value.end()));
      } catch (...) {
      }
      list->Add(sym, number, u"", value, 0);
    }
    TProperties& p = Push(u"table", style);
    auto table = std::make_unique<TFakeTable>(doc.get(), nullptr, minW, maxW, 20);
    TFakeTable* t = table.get();
    auto block = std::make_unique<TTableBlock>(doc.get(), cell, p, list.get(), t);
    TTableBlock* b = block.get();
    t->OwnerCell = b->MyCell.get();
    b->MyCell->Add(std::move(table));
    cell->Add(std::move(block));
    doc->PropertyStack->PopProperties();
    return {b, t};
  }
};

TEST_F(TableBlocks, CentredTableSplitsTheFreeWidth) {
  struct Case {
    int tableWidth, left, right;
  };
  for (const Case& c : {Case{500, 50, 50}, Case{499, 50, 51}, Case{600, 0, 0}, Case{700, 0, 0}}) {
    SetUp();
    Made m = Table(doc.get(), c.tableWidth, c.tableWidth, {{AlignSy, u"center"}});
    Layout(600);
    EXPECT_EQ(m.block->MargArray[MarginLeft], c.left) << c.tableWidth;
    EXPECT_EQ(m.block->MargArray[MarginRight], c.right) << c.tableWidth;
    EXPECT_EQ(m.table->LaidX, c.left) << c.tableWidth;
    EXPECT_EQ(m.table->LaidWidth, c.tableWidth) << c.tableWidth;
  }
}

TEST_F(TableBlocks, WidthsFromAttributesAndStyle) {
  struct Case {
    std::vector<std::pair<Symb, std::u16string>> attrs;
    std::u16string style;
    int percentSum, laidWidth, left;
  };
  for (const Case& c : {Case{{{WidthSy, u"50%"}}, u"", 0, 300, 0},
                        Case{{{WidthSy, u"200"}}, u"padding: 3px; border: 2px solid black", 0, 190, 0},
                        Case{{}, u"", 0, 150, 0},                      // the table's own maximum
                        Case{{}, u"", 500, 300, 0},                    // its columns' percentages
                        Case{{{AlignSy, u"right"}}, u"", 0, 150, 450},  // floats right
                        Case{{}, u"width: 25%", 0, 150, 0},
                        Case{{{WidthSy, u"150%"}}, u"", 0, 150, 0}}) {  // out of range: ignored
    SetUp();
    Made m = Table(doc.get(), 100, 150, c.attrs, c.style);
    m.table->Percent = c.percentSum;
    Layout(600);
    EXPECT_EQ(m.table->LaidWidth, c.laidWidth) << std::string(c.style.begin(), c.style.end());
    EXPECT_EQ(m.block->BlockX + m.block->MargArray[MarginLeft], c.left);
  }
}

TEST_F(TableBlocks, FloatedTableTakesHspaceAndVspace) {
  Made m = Table(doc.get(), 100, 100, {{AlignSy, u"left"}, {HspaceSy, u"-50"}, {VspaceSy, u"300"}});
  EXPECT_EQ(m.block->Floating, flLeft);
  EXPECT_EQ(m.block->HSpace, 40);
  EXPECT_EQ(m.block->VSpace, 200);
  EXPECT_EQ(m.block->ZIndex, 1);
  Layout(600);
  EXPECT_EQ(m.table->LaidX, 40);
  EXPECT_EQ(m.block->ContentTop, 200);
}

TEST_F(TableBlocks, TableBesideAFloatStartsAtItsEdge) {
  Block(doc.get(), u"float: left; width: 100px", 100, 60);
  Made m = Table(doc.get(), 200, 800, {});
  Layout(600);
  EXPECT_EQ(m.block->TableIndent, 100);
  EXPECT_EQ(m.table->LaidX, 100);
  EXPECT_EQ(m.table->LaidWidth, 500);
  const QImage image = Paint(600, 100);
  EXPECT_EQ(Px(image, 100, 5), RGB(0, 0, 255));
  EXPECT_EQ(Px(image, 599, 5), RGB(0, 0, 255));
}

TEST_F(TableBlocks, ButtonBorderColoursOnWhite) {
  Made m = Table(doc.get(), 100, 100, {}, u"border: 2px outset");
  m.block->BorderFromAttribute = true;
  m.block->MargArray[BorderLeftColor] = static_cast<int>(clBtnHighlight);
  m.block->MargArray[BorderTopColor] = static_cast<int>(clBtnHighlight);
  m.block->MargArray[BorderRightColor] = static_cast<int>(clBtnShadow);
  m.block->MargArray[BorderBottomColor] = static_cast<int>(clBtnShadow);
  for (int i : {BorderLeftStyle, BorderTopStyle, BorderRightStyle, BorderBottomStyle}) m.block->MargArrayO.Set(i, 1);
  for (int i : {BorderLeftColor, BorderTopColor, BorderRightColor, BorderBottomColor})
    m.block->MargArrayO.Set(i, m.block->MargArray[i]);
  Layout(300);
  const QImage image = Paint(300, 60);
  EXPECT_EQ(Px(image, 0, 10), RGB(0xC0, 0xC0, 0xC0));  // the highlight is silver on white
  EXPECT_EQ(Px(image, 102, 10), ColorToRGB(clBtnShadow));
}

TEST_F(TableBlocks, CaptionWrapperTakesTheWiderAndCentres) {
  TProperties& p = Push(u"table", u"");
  auto attrs = std::make_unique<TAttributeList>();
  attrs->Add(AlignSy, 0, u"align", u"center", 0);
  attrs->Add(IdSy, 0, u"id", u"T1", 0);
  auto table = std::make_unique<TFakeTable>(doc.get(), nullptr, 200, 200, 20);
  TFakeTable* t = table.get();
  auto tb = std::make_unique<TTableBlock>(doc.get(), nullptr, p, attrs.get(), t);
  TTableBlock* tableBlock = tb.get();
  tb->MyCell->Add(std::move(table));
  auto wrapper = std::make_unique<TTableAndCaptionBlock>(doc.get(), doc.get(), p, attrs.get(), tableBlock);
  TTableAndCaptionBlock* w = wrapper.get();
  doc->PropertyStack->PopProperties();
  EXPECT_EQ(w->TagClass, u"TableAndCaption.");
  EXPECT_EQ(doc->IdentifierList.Find(u"t1"), w);
  TProperties& cp = Push(u"caption", u"");
  auto caption = std::make_unique<TBlock>(doc.get(), w->MyCell.get(), cp, nullptr);
  caption->MyCell->Add(std::make_unique<TBox>(doc.get(), caption->MyCell.get(), 300, 16));
  doc->PropertyStack->PopProperties();
  w->SetCaptionBlock(caption.get());
  EXPECT_TRUE(tableBlock->InCaptionBlock);
  w->MyCell->Add(std::move(caption));
  tableBlock->OwnerCell = w->MyCell.get();
  w->MyCell->Add(std::move(tb));
  doc->Add(std::move(wrapper));
  Layout(600);
  EXPECT_EQ(w->NewWidth, 300);
  EXPECT_EQ(w->ContentLeft, 150);
  EXPECT_EQ(tableBlock->MargArray[MarginLeft], 0);  // inside the wrapper: no margins of its own
  EXPECT_EQ(t->LaidX, 150);
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  int mn = 0, mx = 0;
  w->WidthRange(canvas, mn, mx);
  EXPECT_EQ(mn, 300);
}

TEST_F(Blocks, RuleBlockWidthAndAlignment) {
  struct Case {
    std::u16string style;
    TJustify align;
    int left, width;
  };
  for (const Case& c : {Case{u"", jCentre, 0, 400}, Case{u"width: 100px", jCentre, 150, 100},
                        Case{u"width: 100px", jRight, 300, 100}, Case{u"width: 100px", jLeft, 0, 100},
                        Case{u"width: 900px", jCentre, 0, 400}, Case{u"margin: 0 195px", jCentre, 195, 15}}) {
    SetUp();
    THRBlock* r = Block<THRBlock>(doc.get(), c.style, 0, 0, u"hr");
    r->Align = c.align;
    Layout(400);
    EXPECT_EQ(r->ContentLeft, c.left) << std::string(c.style.begin(), c.style.end()) << " " << c.align;
    EXPECT_EQ(r->NewWidth, c.width) << std::string(c.style.begin(), c.style.end());
  }
}

}  // namespace

namespace {

TEST_F(MessagePage, CopiedParagraphsEndInLineBreaks) {
  for (const char16_t* text : {u"Hello", u"world", u"again"}) {
    TBlock* p = Open<TBlock>(doc.get(), u"p", u"");
    Text(p->MyCell.get(), text);
    Pop(u"p");
  }
  Layout(300);
  // Each text ends in its closing space, which is never copied: "Hello " is 0..5.
  doc->SelectionStart = 0;
  doc->SelectionEnd = 18;
  // The text's own line end, then the paragraph's: a blank line between paragraphs.
  EXPECT_EQ(doc->SelectionText(), u"Hello\r\n\r\nworld\r\n\r\nagain");
  // A selection that ends inside the second paragraph has no break after it.
  doc->SelectionStart = 2;
  doc->SelectionEnd = 8;
  EXPECT_EQ(doc->SelectionText(), u"llo\r\n\r\nwo");
}

TEST_F(MessagePage, HitTestsReachTheTextInsideBlocks) {
  TBlock* p = Open<TBlock>(doc.get(), u"div", u"margin-left: 30px; padding: 10px");
  Text(p->MyCell.get(), u"abcdef");
  Pop(u"div");
  Layout(300);
  QImage image(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&image);
  canvas.Measurer = &fixed;
  int cx = 0, cy = 0, ch = 0;
  bool inText = false;
  // Characters are 8 wide from x = 40.
  EXPECT_EQ(p->PointToChar(canvas, 40 + 8 * 2 + 1, 12, cx, cy, ch, inText), 2);
  int x = 0, y = 0, h = 0;
  ASSERT_TRUE(p->CharToPoint(3, x, y, h));
  EXPECT_EQ(x, 40 + 8 * 3);
  EXPECT_EQ(y, 10);
}

}  // namespace

namespace {

TEST_F(Blocks, PositionedBlocks) {
  TBlock* before = Block(doc.get(), u"", 50, 10);
  TBlock* absolute = Block(doc.get(), u"position: absolute; left: 50px; top: 30px; width: 20px", 20, 10, u"div",
                           RGB(255, 0, 0));
  TBlock* relative = Block(doc.get(), u"position: relative; left: 100px; top: 5px", 20, 10, u"div", RGB(0, 0, 255));
  TBlock* after = Block(doc.get(), u"", 50, 10);
  Layout(200);
  EXPECT_EQ(absolute->SectionHeight, 0);
  EXPECT_EQ(absolute->ZIndex, 10);
  EXPECT_EQ(absolute->ContentLeft, 50);
  EXPECT_EQ(absolute->ContentTop, 30);
  EXPECT_EQ(relative->ContentTop, before->ContentBottom);  // in the flow where it stands
  EXPECT_EQ(after->ContentTop, relative->ContentBottom);
  const QImage image = Paint(200, 60);
  ExpectPixels(image, {{50, 30, RGB(255, 0, 0)}, {69, 39, RGB(255, 0, 0)}, {70, 30, clWhite}});
  // The relative block draws moved by its offsets.
  ExpectPixels(image, {{100, 15, RGB(0, 0, 255)}, {119, 24, RGB(0, 0, 255)}, {5, 12, clWhite}});
}

TEST_F(Blocks, FloatDrawsWhereItWasPlaced) {
  Block(doc.get(), u"float: right; width: 30px; border: 2px solid #0000ff", 30, 20, u"div", RGB(255, 0, 0));
  Layout(200);
  const QImage image = Paint(200, 60);
  ExpectPixels(image, {{166, 5, RGB(0, 0, 255)},  // its border from 166 to 199
                       {199, 5, RGB(0, 0, 255)}, {168, 2, RGB(255, 0, 0)}, {197, 21, RGB(255, 0, 0)},
                       {165, 5, clWhite}});
}

TEST_F(Blocks, OffTheClipDrawsNothing) {
  Block(doc.get(), u"margin-top: 300px; background-color: #ff0000; height: 20px", 10, 10, u"div", RGB(0, 255, 0));
  Layout(200);
  const QImage image = Paint(100, 100);  // the block lies below the clip
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_EQ(Px(image, x, y), clWhite);
}

}  // namespace

namespace {

TEST_F(Blocks, HiddenOverflowIsCutAtTheContentBox) {
  Block(doc.get(), u"overflow: hidden; height: 20px; width: 30px; margin: 10px", 50, 60, u"div", RGB(255, 0, 0));
  Block(doc.get(), u"", 50, 60, u"div", RGB(0, 255, 0));
  Layout(200);
  for (int yOffset : {0, 15}) {
    doc->YOffset = yOffset;
    const QImage image = Paint(200, 120);
    // Document points: the box is 10..39 x 10..29, the next block starts at y 40.
    struct Probe {
      int x, y;
      TColor c;
    };
    for (const Probe& p : {Probe{10, 20, RGB(255, 0, 0)}, Probe{39, 29, RGB(255, 0, 0)}, Probe{40, 20, clWhite},
                           Probe{20, 30, clWhite}, Probe{20, 39, clWhite}, Probe{20, 40, RGB(0, 255, 0)}})
      EXPECT_EQ(Px(image, p.x, p.y - yOffset), p.c) << yOffset << ": " << p.x << "," << p.y;
  }
}

// Positioned content with a z-index stands above a hidden overflow, and above any clip while it
// draws; other content is cut at the box, and the clip is back for what follows.
TEST_F(Blocks, PositionedContentWithAZIndexLiftsTheClip) {
  const TColor red = RGB(255, 0, 0), blue = RGB(0, 0, 255), green = RGB(0, 255, 0), black = RGB(0, 0, 0),
               yellow = RGB(255, 255, 0);
  TBlock* box = Block(doc.get(), u"overflow: hidden; height: 20px; width: 30px; margin: 10px", 50, 60, u"div", red);
  Block(box->MyCell.get(), u"position: absolute; left: 100px; top: 5px; width: 20px", 20, 10, u"div", blue);
  Block(box->MyCell.get(), u"position: relative; left: 60px; top: -40px; z-index: 2", 20, 10, u"div", green);
  Block(box->MyCell.get(), u"position: relative; left: 60px; top: -40px", 20, 10, u"div", black);
  Block(doc.get(), u"", 150, 10, u"div", yellow);  // rows 40..49, below the box's margin
  Layout(200);
  const QImage image = Paint(200, 120);
  ExpectPixels(image, {{39, 29, red},
                       {40, 20, clWhite},  // the box's own content is cut
                       {100, 5, blue},  // absolute: z-index 1 of its own
                       {119, 14, blue}});
  // The relative blocks stand at 70..89, 40 px above where they were laid out (rows 70 and 80).
  ExpectPixels(image, {{70, 30, green}, {89, 39, green},
                       {70, 40, yellow},  // without a z-index it stays cut
                       {149, 45, yellow}});

  // A clip of the caller's is lifted too while the positioned block draws, and is back after.
  QImage clipped(200, 120, QImage::Format_RGB32);
  clipped.fill(Qt::white);
  {
    TCanvas canvas(&clipped);
    canvas.Measurer = &fixed;
    canvas.IntersectClipRect({0, 0, 105, 120});
    doc->Draw(canvas, {0, 0, 200, 120}, 200, 0, 0, 0);
    EXPECT_EQ(canvas.ClipRegion(), QRegion(0, 0, 105, 120));
  }
  ExpectPixels(clipped, {{110, 5, blue}, {104, 45, yellow}, {105, 45, clWhite}, {39, 29, red}, {40, 20, clWhite}});
}

}  // namespace

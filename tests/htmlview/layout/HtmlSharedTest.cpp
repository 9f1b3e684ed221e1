#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <memory>

#include "htmlview/layout/HtmlShared.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/support/WorkGrowth.h"

using namespace htmlview;

namespace {

constexpr char16_t ImageMark = 4, ControlMark = 2, BreakMark = 8;

std::u16string Copy(const std::u16string& text, int size, int* result = nullptr) {
  std::vector<char16_t> buffer(static_cast<size_t>(std::max(size, 1)), u'#');
  SelTextBuf b(buffer.data(), size);
  b.AddText(text.data(), static_cast<int>(text.size()));
  const int r = b.Terminate();
  if (result) *result = r;
  if (size < 1) return u"";
  return std::u16string(buffer.data());
}

int Count(const std::u16string& text) {
  SelTextCount c;
  c.AddText(text.data(), static_cast<int>(text.size()));
  return c.Terminate();
}

TEST(SelText, MarkersLeaveNeitherCharacterNorGap) {
  const std::u16string text = std::u16string(u"ab") + ImageMark + u"cd" + ControlMark + u"e";
  EXPECT_EQ(Copy(text, 100), u"abcde");
  EXPECT_EQ(Count(text), 5);
}

TEST(SelText, LineBreakCopiesAsCrLf) {
  const std::u16string text = std::u16string(u"a") + BreakMark + u"b";
  EXPECT_EQ(Count(text), 4);
  int r = 0;
  EXPECT_EQ(Copy(text, 100, &r), u"a\r\nb");
  EXPECT_EQ(r, 5);
}

TEST(SelText, BufferLimits) {
  // Size - 1 characters at most; Terminate gives the count + 1.
  int r = 0;
  EXPECT_EQ(Copy(u"abcdef", 4, &r), u"abc");
  EXPECT_EQ(r, 4);
  EXPECT_EQ(Copy(u"abc", 4, &r), u"abc");
  EXPECT_EQ(r, 4);
  EXPECT_EQ(Copy(u"abc", 1, &r), u"");
  EXPECT_EQ(r, 1);
  Copy(u"abc", 0, &r);
  EXPECT_EQ(r, 0);
  // A line end that does not fit whole is left out.
  const std::u16string text = std::u16string(u"ab") + BreakMark;
  EXPECT_EQ(Copy(text, 4, &r), u"ab");
  EXPECT_EQ(r, 3);
}

TEST(SelText, ManyPiecesAppend) {
  std::vector<char16_t> buffer(20);
  SelTextBuf b(buffer.data(), 20);
  b.AddText(u"one ", 4);
  b.AddText(u"two", 3);
  EXPECT_EQ(b.Terminate(), 8);
  EXPECT_EQ(std::u16string(buffer.data()), u"one two");
}

TEST(CharCollection, AddAndConcatKeepIndices) {
  TCharCollection c;
  c.Add(u'a', 10);
  c.Concat(u"xyz", 20);
  c.Add(u'b', 30);
  EXPECT_EQ(c.Size(), 5);
  EXPECT_EQ(c.AsString(), u"axyzb");
  EXPECT_EQ((std::vector<int>(c.Indices.begin(), c.Indices.begin() + 5)), (std::vector<int>{10, 20, 20, 20, 30}));
}

TEST(CharCollection, LongTextGrowsLinearly) {
  TCharCollection c;
  const int n = 200000;
  for (int i = 0; i < n; ++i) c.Add(static_cast<char16_t>(u'a' + i % 26), i);
  EXPECT_EQ(c.Size(), n);
  EXPECT_EQ(c.Indices[n - 1], n - 1);
  // Geometric growth: capacity within twice the size.
  EXPECT_LE(static_cast<int>(c.Chars.size()), 2 * n);
}

TEST(TokenObjTest, BuildsTextAndIndices) {
  TokenObj t;
  EXPECT_EQ(t.MaxIndex(), 300);
  EXPECT_EQ(t.S(), u"");
  t.AddUnicodeChar(u'h', 0);
  t.AddUnicodeChar(u'i', 1);
  EXPECT_EQ(t.S(), u"hi");
  TCharCollection c;
  c.Concat(u" there", 5);
  t.AddString(c);
  EXPECT_EQ(t.S(), u"hi there");
  EXPECT_EQ(t.Leng, 8);
  EXPECT_EQ(t.I[7], 5);
  t.Clear();
  EXPECT_EQ(t.Leng, 0);
  EXPECT_EQ(t.S(), u"");
}

TEST(TokenObjTest, SetCapacityCutsTextAndCachedString) {
  TokenObj t;
  t.AddString(u"abcdef", 3);
  EXPECT_EQ(t.S(), u"abcdef");
  t.SetCapacity(4);
  EXPECT_EQ(t.Leng, 4);
  EXPECT_EQ(t.S(), u"abcd");
  t.AddUnicodeChar(u'z', 9);
  EXPECT_EQ(t.S(), u"abcdz");
  EXPECT_GE(t.MaxIndex(), 5);
}

TEST(TokenObjTest, LongTokenGrowsLinearly) {
  TokenObj t;
  const int n = 300000;
  for (int i = 0; i < n; ++i) t.AddUnicodeChar(u'x', i);
  EXPECT_EQ(t.Leng, n);
  EXPECT_LE(t.MaxIndex(), 2 * n + 50);
  EXPECT_EQ(t.S().size(), static_cast<size_t>(n));
}

// Where a clear of both sides, of the left and of the right moves the next line to.
void ExpectClears(const TIndentManager& m, int both, int left, int right) {
  EXPECT_EQ(m.GetClearY(), both);
  int cl = 0, cr = 0;
  m.GetClearLeftRight(cl, cr);
  EXPECT_EQ(cl, left);
  EXPECT_EQ(cr, right);
}

TEST(IndentManager, EmptyManager) {
  TIndentManager m;
  m.Reset(10, 400);
  EXPECT_EQ(m.LeftIndent(0), 0);
  EXPECT_EQ(m.RightSide(0), 400);
  EXPECT_EQ(m.ImageLeft(50), 10);
  EXPECT_EQ(m.ImageRight(50), 410);
  ExpectClears(m, 0, 0, 0);
  EXPECT_EQ(m.GetNextWiderY(33), 33);
  int y = 5;
  EXPECT_EQ(m.AlignLeft(y, 100), 10);
  EXPECT_EQ(y, 5);
  EXPECT_EQ(m.AlignRight(y, 100), 310);
  EXPECT_EQ(y, 5);
}

TEST(IndentManager, FloatsNarrowTheRows) {
  TIndentManager m;
  m.Reset(0, 400);
  m.AddLeft(0, 50, 100);    // left float 100 wide, rows 0..49
  m.AddRight(10, 30, 80);   // right float 80 wide, rows 10..29
  m.AddLeft(20, 40, 60);    // a second left float beside the first
  EXPECT_EQ(m.LeftIndent(0), 100);
  EXPECT_EQ(m.LeftIndent(20), 160);
  EXPECT_EQ(m.LeftIndent(45), 100);
  EXPECT_EQ(m.LeftIndent(50), 0);
  EXPECT_EQ(m.RightSide(5), 400);
  EXPECT_EQ(m.RightSide(10), 320);
  EXPECT_EQ(m.RightSide(30), 400);
  ExpectClears(m, 50, 51, 31);
  EXPECT_EQ(m.GetNextWiderY(0), 30);
  EXPECT_EQ(m.GetNextWiderY(30), 40);
  EXPECT_EQ(m.GetNextWiderY(60), 60);
}

TEST(IndentManager, BlockEdgesCountOnlyForTheirBlock) {
  TIndentManager m;
  m.Reset(0, 400);
  int a = 0, b = 0;
  m.CurrentID = &a;
  const int li = m.SetLeftEdge(20, 10);
  const int ri = m.SetRightEdge(300, 10);
  EXPECT_EQ(m.LeftIndent(5), 20);  // above the edge: the block's own left edge still
  EXPECT_EQ(m.LeftIndent(10), 20);
  EXPECT_EQ(m.RightSide(10), 300);
  m.CurrentID = &b;
  EXPECT_EQ(m.LeftIndent(10), 0);
  EXPECT_EQ(m.RightSide(10), 400);
  m.CurrentID = &a;
  m.DeleteRight(ri);
  m.DeleteLeft(li);
  EXPECT_TRUE(m.L().empty());
  EXPECT_TRUE(m.R().empty());
  m.DeleteLeft(7);  // out of range: nothing
}

// Where a float of a width asked for at row y goes: its x and its row.
struct TPlacement {
  int width, y, x, row;
};
// Each placement on a fresh manager that floats sets up, aligned left or right.
void ExpectPlacements(bool left, const std::function<void(TIndentManager&)>& floats,
                      std::initializer_list<TPlacement> placements) {
  for (const TPlacement& c : placements) {
    TIndentManager m;
    floats(m);
    int y = c.y;
    EXPECT_EQ(left ? m.AlignLeft(y, c.width) : m.AlignRight(y, c.width), c.x) << c.width;
    EXPECT_EQ(y, c.row) << c.width;
  }
}

TEST(IndentManager, AlignLeftMovesBelowAFloatWhenNoRoom) {
  // A left float 150 wide to row 60 and a right float 100 wide to row 30 leave 150 between them;
  // x counts from the manager's left edge at 5.
  ExpectPlacements(
      true,
      [](TIndentManager& m) {
        m.Reset(5, 400);
        m.AddLeft(0, 60, 150);
        m.AddRight(0, 30, 100);
      },
      {{140, 0, 150 + 5, 0}, {200, 0, 150 + 5, 30}, {300, 0, 0 + 5, 60}, {500, 0, 0 + 5, 60}, {200, 35, 150 + 5, 35}});
}

TEST(IndentManager, AlignLeftStepWithSpH) {
  TIndentManager m;
  m.Reset(0, 400);
  m.AddRight(0, 20, 300);  // 100 free on rows 0..19
  int y = 0;
  EXPECT_EQ(m.AlignLeft(y, 90, 50, 20), 0);  // no room for 90 + 50 at 0; room for 90 at 20
  EXPECT_EQ(y, 20);
}

TEST(IndentManager, AlignRightAroundFloats) {
  ExpectPlacements(
      false,
      [](TIndentManager& m) {
        m.Reset(0, 400);
        m.AddLeft(0, 80, 100);   // left float to row 80
        m.AddRight(0, 40, 100);  // right float to row 40
      },
      {{100, 0, 200, 0}, {250, 0, 150, 40}, {350, 0, 50, 80}});
}

TEST(IndentManager, AlignLeftWithinTheCurrentBlock) {
  // A float inside a block between edges 20 and 320: a float that does not fit beside it goes
  // below it; one that fits nowhere falls back to the block's left edge.
  int block = 0;
  ExpectPlacements(
      true,
      [&block](TIndentManager& m) {
        m.Reset(0, 400);
        m.CurrentID = &block;
        m.SetLeftEdge(20, 0);
        m.SetRightEdge(320, 0);
        m.AddLeft(0, 30, 250);
        EXPECT_EQ(m.L().back().X, 270);
      },
      {{40, 0, 270, 0}, {100, 0, 20, 30}, {400, 0, 20, 30}});
}

// A manager that has placed many floats answers as a fresh one given the same floats does: what
// its searches remember never changes a placement (floats of changing widths at one y, rows that
// open again below, a block's edges).
TEST(IndentManager, PlacementsDoNotDependOnEarlierSearches) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    unsigned state = seed;
    auto next = [&](int n) {
      state = state * 1103515245u + 12345u;
      return static_cast<int>((state >> 8) % static_cast<unsigned>(n));
    };
    int block = 0;
    struct TFloat {
      bool left;
      int yt, yb, w;
    };
    std::vector<TFloat> placed;
    auto fresh = [&] {
      auto m = std::make_unique<TIndentManager>();
      m->Reset(0, 600);
      m->CurrentID = &block;
      m->SetLeftEdge(seed % 3 == 0 ? 40 : 0, 0);
      m->SetRightEdge(600, seed % 2 == 0 ? 0 : 30);
      for (const TFloat& f : placed) f.left ? m->AddLeft(f.yt, f.yb, f.w) : m->AddRight(f.yt, f.yb, f.w);
      return m;
    };
    auto m = fresh();
    int y = 0;
    for (int i = 0; i < 300; ++i) {
      if (next(10) == 0) y += next(40);
      const bool left = next(3) != 0;
      const int w = next(4) == 0 ? 40 + next(700) : 100;
      int mine = y, theirs = y;
      const auto copy = fresh();
      const int x = left ? m->AlignLeft(mine, w) : m->AlignRight(mine, w);
      ASSERT_EQ(x, left ? copy->AlignLeft(theirs, w) : copy->AlignRight(theirs, w)) << seed << " " << i;
      ASSERT_EQ(mine, theirs) << seed << " " << i;
      const TFloat f{left, mine, mine + 5 + next(60), w};
      placed.push_back(f);
      f.left ? m->AddLeft(f.yt, f.yb, f.w) : m->AddRight(f.yt, f.yb, f.w);
    }
  }
}

TEST(IndentManager, ThousandsOfFloatsAtOneRowAreQuick) {
  // Each float is pushed below the others from the same y: the search must not look at every row
  // above again (cubic in the floats before). Up to 6,000 floats, five to a row: the work grows
  // with their number.
  auto place = [](int n) {
    TIndentManager m;
    m.Reset(0, 500);
    int block = 0;
    m.CurrentID = &block;
    m.SetLeftEdge(0, 0);
    m.SetRightEdge(500, 0);
    int y = 0;
    for (int i = 0; i < n; ++i) {
      y = 0;
      const int x = m.AlignLeft(y, 100);
      ASSERT_EQ(x, (i % 5) * 100);
      ASSERT_EQ(y, (i / 5) * 20);
      m.AddLeft(y, y + 20, 100);
    }
  };
  EXPECT_TRUE(workgrowth::GrowsLinearly(place, 750, 6000));
}

TEST(TextRoutines, CaseMapsOneToOne) {
  EXPECT_EQ(WideUpperCase(u"straße ǆ"), u"STRAßE Ǆ");
  EXPECT_EQ(WideUpperCase(u"straße").size(), 6u);
  EXPECT_EQ(WideLowerCase(u"ÄBC"), u"äbc");
  // A surrogate pair is one character: Deseret long I.
  EXPECT_EQ(WideLowerCase(u"\U00010400"), u"\U00010428");
  EXPECT_EQ(WideUpperCase(u"\U00010428x"), u"\U00010400X");
}

TEST(TextRoutines, TrimAndFind) {
  EXPECT_EQ(WideTrim(u" \t\r\n ab c \x01"), u"ab c");
  EXPECT_EQ(WideTrim(u"  "), u"");
  EXPECT_EQ(PosW(u"bc", u"abcbc"), 2);
  EXPECT_EQ(PosW(u"bc", u"abcbc", 3), 4);
  EXPECT_EQ(PosW(u"x", u"abc"), 0);
  EXPECT_EQ(PosW(u"x", u"abc", 10), 0);
  const char16_t* s = u"hello world";
  EXPECT_EQ(StrPosW(s, u"wor"), s + 6);
  EXPECT_EQ(StrPosW(s, u"wox"), nullptr);
  EXPECT_EQ(StrScanW(s, u'o'), s + 4);
  EXPECT_EQ(StrRScanW(s, u'o'), s + 7);
  EXPECT_EQ(StrScanW(s, u'z'), nullptr);
}

TEST(TextRoutines, FitTextOnFixedAdvances) {
  QImage image(10, 10, QImage::Format_RGB32);
  TCanvas canvas(&image);
  TFixedMeasurer fixed(7, 12);
  canvas.Measurer = &fixed;
  const std::u16string text = u"abcdefghij";
  struct Case {
    int width, fits, extent;
  };
  for (const Case& c : {Case{0, 0, 0}, Case{-5, 0, 0}, Case{6, 0, 0}, Case{7, 1, 7}, Case{20, 2, 14},
                        Case{21, 3, 21}, Case{69, 9, 63}, Case{70, 10, 70}, Case{1000, 10, 70}}) {
    int extent = -1;
    EXPECT_EQ(FitText(canvas, text.data(), 10, c.width, extent), c.fits) << c.width;
    EXPECT_EQ(extent, c.extent) << c.width;
  }
  int extent = -1;
  EXPECT_EQ(FitText(canvas, text.data(), 0, 100, extent), 0);
  EXPECT_EQ(GetXExtent(canvas, text.data(), 4), 28);
}

// Fitting measures the run once, every prefix in one call, never a prefix per candidate count;
// widths that vary by character (and that the run's end does not reach) still fit exactly.
class TCountingMeasurer final : public TTextMeasurer {
public:
  TSize TextExtent(const QFont&, const std::u16string& text) const override {
    ++extents;
    int w = 0;
    for (char16_t c : text) w += Width(c);
    return {w, 10};
  }
  int LineHeight(const QFont&) const override { return 10; }
  void PartialExtents(const QFont&, std::u16string_view text, std::vector<int>& widths) const override {
    ++partials;
    widths.clear();
    int w = 0;
    for (char16_t c : text) widths.push_back(w += Width(c));
  }
  static int Width(char16_t c) { return c == u'm' ? 9 : c == u'i' ? 2 : 5; }
  mutable int extents = 0, partials = 0;
};

TEST(TextRoutines, FitTextMeasuresEveryPrefixInOneCall) {
  EnsureGuiApp();
  QImage image(10, 10, QImage::Format_RGB32);
  TCanvas canvas(&image);
  TCountingMeasurer m;
  canvas.Measurer = &m;
  const std::u16string text = u"mimixmm";  // prefixes 9 11 20 22 27 36 45
  struct Case {
    int width, fits, extent;
  } cases[] = {{8, 0, 0}, {9, 1, 9}, {19, 2, 11}, {22, 4, 22}, {35, 5, 27}, {45, 7, 45}, {99, 7, 45}};
  for (const Case& c : cases) {
    m.extents = m.partials = 0;
    int extent = -1;
    EXPECT_EQ(FitText(canvas, text.data(), 7, c.width, extent), c.fits) << c.width;
    EXPECT_EQ(extent, c.extent) << c.width;
    EXPECT_EQ(m.partials, 1);
    EXPECT_EQ(m.extents, 0);
  }
}

TEST(TextRoutines, WrapTextBreaksAtBlanksAndKeepsAmpersands) {
  EnsureGuiApp();
  QImage image(100, 100, QImage::Format_RGB32);
  image.fill(Qt::white);
  TCanvas canvas(&image);
  TFixedMeasurer fixed(5, 10);
  canvas.Measurer = &fixed;
  TRect r{0, 0, 40, 100};
  EXPECT_EQ(WrapTextW(canvas, r, u"Tom & Jerry"), 20);  // "Tom &" and "Jerry"
}

TEST(DrawingRoutines, ScaleRectRounds) {
  EXPECT_EQ(ScaleRect({10, 10, 21, 33}, 1.5, 0.5), (TRect{15, 5, 32, 17}));
}

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

// A canvas on a white image of 20 x 20.
struct DrawingOnWhite : ::testing::Test {
  DrawingOnWhite() {
    EnsureGuiApp();
    image.fill(Qt::white);
  }
  QImage image{20, 20, QImage::Format_RGB32};
  TCanvas canvas{&image};
};

TEST_F(DrawingOnWhite, FillRectColorRestoresBrush) {
  canvas.Brush.Style = bsClear;
  canvas.Brush.Color = RGB(1, 2, 3);
  FillRectColor(canvas, {2, 2, 5, 5}, RGB(255, 0, 0));
  EXPECT_EQ(canvas.Brush.Style, bsClear);
  EXPECT_EQ(canvas.Brush.Color, RGB(1, 2, 3));
  canvas.Release();
  EXPECT_EQ(At(image, 2, 2), 0xFF0000u);
  EXPECT_EQ(At(image, 4, 4), 0xFF0000u);
  EXPECT_EQ(At(image, 5, 5), 0xFFFFFFu);
}

TEST_F(DrawingOnWhite, FillQuadExcludesRightAndBottom) {
  const TPoint quad[4] = {{2, 12}, {2, 2}, {12, 2}, {12, 12}};
  FillQuad(canvas, quad, RGB(0, 0, 255));
  canvas.Release();
  EXPECT_EQ(At(image, 2, 2), 0x0000FFu);
  EXPECT_EQ(At(image, 11, 11), 0x0000FFu);
  EXPECT_EQ(At(image, 12, 5), 0xFFFFFFu);
  EXPECT_EQ(At(image, 5, 12), 0xFFFFFFu);
  EXPECT_EQ(At(image, 1, 5), 0xFFFFFFu);
}

TEST_F(DrawingOnWhite, FillQuadRestoresBrushAndPenAndKeepsToTheClip) {
  canvas.Brush = {RGB(1, 2, 3), bsClear};
  canvas.Pen = {RGB(4, 5, 6), 3, psSolid};
  canvas.IntersectClipRect({0, 0, 7, 20});
  const TPoint quad[4] = {{2, 12}, {2, 2}, {12, 2}, {12, 12}};
  FillQuad(canvas, quad, RGB(0, 0, 255));
  EXPECT_EQ(canvas.Brush.Style, bsClear);
  EXPECT_EQ(canvas.Brush.Color, RGB(1, 2, 3));
  EXPECT_EQ(canvas.Pen.Width, 3);
  EXPECT_EQ(canvas.Pen.Color, RGB(4, 5, 6));
  canvas.Release();
  EXPECT_EQ(At(image, 6, 6), 0x0000FFu);
  EXPECT_EQ(At(image, 7, 6), 0xFFFFFFu);  // beyond the clip
  EXPECT_EQ(At(image, 2, 1), 0xFFFFFFu);  // no outline
}

// SetClip narrows within the clip in force and hands back what was there; RestoreClip and the
// scope put it back, none or a region.
TEST(DrawingRoutines, SetClipNarrowsAndRestores) {
  EnsureGuiApp();
  QImage image(40, 40, QImage::Format_RGB32);
  const QRegion before(0, 0, 20, 40);
  for (bool hadClip : {false, true}) {
    image.fill(Qt::white);
    TCanvas canvas(&image);
    if (hadClip) canvas.SetClipRegion(before);
    const TSavedClip saved = SetClip(canvas, {10, 10, 30, 30}, false);
    EXPECT_EQ(saved.HadClip, hadClip);
    EXPECT_EQ(saved.Region, hadClip ? before : QRegion());
    EXPECT_EQ(canvas.ClipRegion(), hadClip ? QRegion(10, 10, 10, 20) : QRegion(10, 10, 20, 20));
    FillRectColor(canvas, {0, 0, 40, 40}, RGB(255, 0, 0));
    RestoreClip(canvas, saved);
    EXPECT_EQ(canvas.HasClip(), hadClip);
    FillRectColor(canvas, {0, 0, 40, 5}, RGB(0, 0, 255));
    canvas.Release();
    EXPECT_EQ(At(image, 15, 15), 0xFF0000u) << hadClip;
    EXPECT_EQ(At(image, 25, 15), hadClip ? 0xFFFFFFu : 0xFF0000u) << hadClip;
    EXPECT_EQ(At(image, 9, 15), 0xFFFFFFu) << hadClip;
    EXPECT_EQ(At(image, 30, 30), 0xFFFFFFu) << hadClip;  // right and bottom edges left out
    EXPECT_EQ(At(image, 25, 2), hadClip ? 0xFFFFFFu : 0x0000FFu) << hadClip;
    EXPECT_EQ(At(image, 5, 2), 0x0000FFu) << hadClip;
  }
  // The scope restores whatever happened to the clip meanwhile, nested scopes in turn.
  image.fill(Qt::white);
  TCanvas canvas(&image);
  {
    TClipScope outer(canvas, {0, 0, 20, 20}, true);
    {
      TClipScope inner(canvas);
      canvas.ClearClip();
      canvas.ExcludeClipRect({0, 0, 5, 5});
      EXPECT_TRUE(inner.Saved().HadClip);
    }
    EXPECT_EQ(canvas.ClipRegion(), QRegion(0, 0, 20, 20));
  }
  EXPECT_FALSE(canvas.HasClip());
}

TEST(DrawingRoutines, FormControlRectFrames) {
  EnsureGuiApp();
  QImage image(30, 30, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    TCanvas canvas(&image);
    canvas.Pen.Width = 3;
    FormControlRect(canvas, 0, 0, 30, 30, RGB(0, 255, 0), false, false, true);
    EXPECT_EQ(canvas.Pen.Width, 3);
  }
  EXPECT_EQ(At(image, 15, 15), 0x00FF00u);  // background
  EXPECT_EQ(At(image, 0, 15), 0xC0C0C0u);   // raised: light left side
  EXPECT_NE(At(image, 29, 15), 0xC0C0C0u);  // shadow right side
  EXPECT_NE(At(image, 29, 15), 0x00FF00u);
  image.fill(Qt::white);
  {
    TCanvas canvas(&image);
    FormControlRect(canvas, 0, 0, 30, 30, RGB(0, 255, 0), true, true, true, true);
  }
  EXPECT_EQ(At(image, 15, 15), 0x00FF00u);  // a monochrome printer gets no button face
  EXPECT_EQ(At(image, 0, 15), 0x000000u);
  EXPECT_EQ(At(image, 1, 15), 0x00FF00u);   // one pixel wide
}

TEST(SharedPictures, SmallAndDistinct) {
  EnsureGuiApp();
  for (const QImage* image : {&DefBitMap(), &ErrorBitmap(), &ErrorBitmapMask()}) {
    EXPECT_FALSE(image->isNull());
    EXPECT_LT(image->width(), 25);
    EXPECT_LT(image->height(), 25);
  }
  // The error image is transparent exactly where its mask is white.
  const QImage& e = ErrorBitmap();
  const QImage& m = ErrorBitmapMask();
  for (int y = 0; y < e.height(); ++y)
    for (int x = 0; x < e.width(); ++x)
      EXPECT_EQ(qAlpha(e.pixel(x, y)) == 0, qRed(m.pixel(x, y)) == 255) << x << "," << y;
  EXPECT_NE(PanCursorImage(UpOnlyCursor), PanCursorImage(DownOnlyCursor));
  EXPECT_NE(PanCursorImage(UpDownCursor), PanCursorImage(UpOnlyCursor));
}

// The pictures come from the viewer's resources in the formats their users draw them in.
TEST(SharedPictures, LoadedFromTheResourcesWithTheirPixels) {
  EnsureGuiApp();
  struct Case {
    const QImage* image;
    QImage::Format format;
    int x, y;
    QRgb want;  // with alpha
  } cases[] = {
      {&DefBitMap(), QImage::Format_ARGB32, 0, 0, qRgb(128, 128, 128)},     // frame
      {&DefBitMap(), QImage::Format_ARGB32, 5, 5, qRgb(166, 202, 240)},     // sky
      {&DefBitMap(), QImage::Format_ARGB32, 11, 4, qRgb(255, 255, 0)},      // sun
      {&DefBitMap(), QImage::Format_ARGB32, 5, 12, qRgb(0, 128, 0)},        // hill
      {&ErrorBitmap(), QImage::Format_ARGB32, 0, 0, qRgba(0, 0, 0, 0)},     // outside the mask
      {&ErrorBitmap(), QImage::Format_ARGB32, 1, 5, qRgb(128, 128, 128)},   // grey frame
      {&ErrorBitmap(), QImage::Format_ARGB32, 5, 5, qRgb(255, 0, 0)},       // the cross
      {&ErrorBitmap(), QImage::Format_ARGB32, 4, 9, qRgb(255, 255, 255)},
      {&ErrorBitmapMask(), QImage::Format_RGB32, 0, 7, qRgb(255, 255, 255)},
      {&ErrorBitmapMask(), QImage::Format_RGB32, 7, 7, qRgb(0, 0, 0)},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.image->size(), QSize(16, 16));
    EXPECT_EQ(c.image->format(), c.format);
    EXPECT_EQ(c.image->pixel(c.x, c.y), c.want) << c.x << "," << c.y;
  }
}

}  // namespace

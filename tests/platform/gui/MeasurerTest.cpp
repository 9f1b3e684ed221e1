// The text measurers: the fixed measurer's scaling, prefix widths in one call, and Qt's measurer
// agreeing with itself (prefixes, whole runs) and with what is drawn.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <cmath>

#include "platform/gui/Graphics.h"
#include "tests/support/QtApp.h"

namespace {

void EnsureApp() { qttest::EnsureApp<QApplication>(); }

QFont Pixels(int px, const QString& family = "Liberation Sans") {
  QFont f(family);
  f.setPixelSize(px);
  return f;
}

std::vector<int> Prefixes(const TTextMeasurer& m, const QFont& font, const std::u16string& text) {
  std::vector<int> widths;
  m.PartialExtents(font, text, widths);
  return widths;
}

TEST(FixedMeasurer, MetricsFollowThePixelSizeInFixedRatios) {
  struct Case {
    int advance, height, reference, pixels;  // pixels 0: a font sized in points
    int wantAdvance, wantHeight;
  } cases[] = {
      {8, 20, 16, 16, 8, 20},  {8, 20, 16, 24, 12, 30}, {8, 20, 16, 13, 6, 16},  // rounded down
      {8, 20, 16, 1, 1, 1},    // never narrower than a pixel
      {8, 20, 16, 0, 8, 20},   // no pixel size: the reference
      {8, 20, 0, 40, 8, 20},   // no reference: every font alike
  };
  EnsureApp();
  for (const Case& c : cases) {
    const TFixedMeasurer m(c.advance, c.height, c.reference);
    QFont font("Liberation Sans");
    if (c.pixels > 0) font.setPixelSize(c.pixels);
    else font.setPointSize(30);
    SCOPED_TRACE(c.pixels);
    EXPECT_EQ(m.TextExtent(font, u"abc"), (TSize{3 * c.wantAdvance, c.wantHeight}));
    EXPECT_EQ(m.LineHeight(font), c.wantHeight);
    EXPECT_EQ(Prefixes(m, font, u"ab"), (std::vector<int>{c.wantAdvance, 2 * c.wantAdvance}));
  }
}

TEST(FixedMeasurer, PrefixesCountASurrogatePairOnce) {
  EnsureApp();
  const TFixedMeasurer m(5, 10);
  const std::u16string text = u"a\U0001F600b";
  EXPECT_EQ(Prefixes(m, Pixels(16), text), (std::vector<int>{5, 5, 10, 15}));
  EXPECT_EQ(m.TextExtent(Pixels(16), text).cx, 15);
  EXPECT_TRUE(Prefixes(m, Pixels(16), u"").empty());
}

// A measurer with only the two required calls gets prefix widths from the default: each prefix
// measured as a whole.
class TCountingMeasurer final : public TTextMeasurer {
public:
  TSize TextExtent(const QFont&, const std::u16string& text) const override {
    int w = 0;
    for (char16_t c : text) w += c == u'W' ? 9 : 3;
    return {w, 10};
  }
  int LineHeight(const QFont&) const override { return 10; }
};

TEST(Measurer, TheDefaultPrefixWidthsMeasureEachPrefix) {
  EnsureApp();
  const TCountingMeasurer m;
  EXPECT_EQ(Prefixes(m, Pixels(16), u"aWb"), (std::vector<int>{3, 12, 15}));
}

TEST(QtMeasurer, PrefixWidthsAgreeWithWholeRuns) {
  EnsureApp();
  const TTextMeasurer& m = QtTextMeasurer();
  const std::u16string texts[] = {
      u"Hello, world! AVAVA Wa To.",
      u"Съешь же ещё этих мягких булок",
      u"Ελληνικά κείμενα",
      u"naïve café — “quoted”",
  };
  for (int px : {11, 16, 23}) {
    for (bool bold : {false, true}) {
      QFont font = Pixels(px);
      font.setBold(bold);
      for (const auto& text : texts) {
        SCOPED_TRACE(QString::fromStdU16String(text).toStdString() + " " + std::to_string(px));
        const std::vector<int> widths = Prefixes(m, font, text);
        ASSERT_EQ(widths.size(), text.size());
        for (size_t i = 0; i < text.size(); ++i) {
          EXPECT_EQ(widths[i], m.TextExtent(font, text.substr(0, i + 1)).cx) << i;
          if (i > 0) {
            EXPECT_GE(widths[i], widths[i - 1]);
          }
        }
        // Within rounding of Qt's own figure for the run without kerning.
        QFont plain(font);
        plain.setKerning(false);
        EXPECT_NEAR(widths.back(), QFontMetricsF(plain).horizontalAdvance(QString::fromStdU16String(text)), 1.0);
      }
    }
  }
}

// A run of characters that need no shaping measures as its characters' advances summed and
// rounded half away from zero, as std::lround rounds: whole runs and every prefix, at sizes whose
// advances have fractions.
TEST(QtMeasurer, PlainRunsAreTheirAdvancesRounded) {
  EnsureApp();
  const TTextMeasurer& m = QtTextMeasurer();
  const std::u16string texts[] = {u"iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii", u"Hello, world! AVAVA Wa To.", u"l.l.l.l.l.l.l.l.l.l.",
                                  u"mmmmmmmmmmmmmmmm wwwwwwww", u"caf\u00e9 na\u00efve 0123456789"};
  for (int px : {9, 11, 13, 16, 17, 23, 31}) {
    for (bool italic : {false, true}) {
      QFont font = Pixels(px);
      font.setItalic(italic);
      QFont plain(font);
      plain.setKerning(false);
      const QFontMetricsF metrics(plain);
      for (const auto& text : texts) {
        SCOPED_TRACE(QString::fromStdU16String(text).toStdString() + " " + std::to_string(px));
        const std::vector<int> widths = Prefixes(m, font, text);
        double sum = 0;
        for (size_t i = 0; i < text.size(); ++i) {
          sum += static_cast<float>(metrics.horizontalAdvance(QChar(text[i])));
          EXPECT_EQ(widths[i], std::lround(sum)) << i;
        }
        EXPECT_EQ(m.TextExtent(font, text).cx, std::lround(sum));
      }
    }
  }
}

// Kerning would pull "AV" together; a run measures as the sum of its pieces, as layout measures
// it piece by piece.
TEST(QtMeasurer, KerningIsOffInMeasuringAndDrawing) {
  EnsureApp();
  const TTextMeasurer& m = QtTextMeasurer();
  const QFont font = Pixels(40);
  QFont plain(font);
  plain.setKerning(false);
  const QFontMetricsF fm(plain);
  EXPECT_NEAR(m.TextExtent(font, u"AVAVAV").cx, 3 * (fm.horizontalAdvance('A') + fm.horizontalAdvance('V')), 1);
  TFont tf;
  tf.Name = u"Liberation Sans";
  tf.PixelSize = 40;
  EXPECT_FALSE(tf.ToQFont().kerning());

  // The text drawn ends where it was measured to end.
  QImage image(400, 60, QImage::Format_RGB32);
  image.fill(Qt::white);
  int measured = 0;
  {
    TCanvas canvas(&image);
    canvas.Font = tf;
    canvas.Font.Color = clBlack;
    canvas.Brush.Style = bsClear;
    measured = canvas.TextWidth(u"AVAVAVAV");
    canvas.TextOut(0, 0, u"AVAVAVAV");
  }
  int right = -1;
  for (int x = 0; x < image.width(); ++x)
    for (int y = 0; y < image.height(); ++y)
      if (qGray(image.pixel(x, y)) < 128) right = x;
  EXPECT_GT(right, measured - 8);
  EXPECT_LE(right, measured + 1);
}

// Shaped text goes through one layout of the run; letter spacing too.
TEST(QtMeasurer, ShapedAndSpacedRunsGetPrefixWidths) {
  EnsureApp();
  const TTextMeasurer& m = QtTextMeasurer();
  QFont spaced = Pixels(16);
  spaced.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  struct Case {
    QFont font;
    std::u16string text;
  } cases[] = {
      {Pixels(16, "DejaVu Sans"), u"مرحبا بالعالم"},
      {Pixels(16, "DejaVu Sans"), u"e\u0301te\u0301"},  // combining accents
      {spaced, u"spaced out"},
      {Pixels(16), u"soft\u00ADhyphen"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QString::fromStdU16String(c.text).toStdString());
    const std::vector<int> widths = Prefixes(m, c.font, c.text);
    ASSERT_EQ(widths.size(), c.text.size());
    for (size_t i = 1; i < widths.size(); ++i) EXPECT_GE(widths[i], widths[i - 1]);
    EXPECT_NEAR(widths.back(), m.TextExtent(c.font, c.text).cx, 1);
  }
  const std::vector<int> w = Prefixes(m, spaced, u"ab");
  EXPECT_GE(w[1] - w[0], QFontMetrics(Pixels(16)).horizontalAdvance('b') + 2);
}

TEST(Font, APixelSizeOverridesThePointSize) {
  EnsureApp();
  struct Case {
    int size, pixelSize, want;
  } cases[] = {{12, 0, 16}, {12, 15, 15}, {8, 11, 11}, {9, 0, 12}};
  for (const Case& c : cases) {
    TFont f;
    f.Size = c.size;
    f.PixelSize = c.pixelSize;
    EXPECT_EQ(f.ToQFont().pixelSize(), c.want) << c.size << " " << c.pixelSize;
  }
  TFont a, b;
  b.PixelSize = 15;
  EXPECT_FALSE(a == b);
}

}  // namespace

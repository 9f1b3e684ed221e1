// What the viewer shows of pictures and backgrounds, counted in pixels: image names found beside
// the page, data: images, names that cannot be expanded, the page background's placement, cells
// that keep their content, rules, the print switches, the caret and the selection's colours.
#include <gtest/gtest.h>

#include <QImage>
#include <QMouseEvent>
#include <QPalette>
#include <QTemporaryDir>
#include <fstream>
#include <set>

#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlDump.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/view/HtmlView.h"
#include "platform/gui/Printers.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/ViewerSupport.h"
#include "tests/support/PeakMemory.h"

using namespace htmlview;

namespace {

constexpr QRgb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kYellow = 0xFFFFFF00;

// Pixels within 40 of colour in every channel (printed pages are scaled).
int Count(const QImage& image, QRgb colour) { return CountNear(image, colour); }

// The images of a cell and of its blocks in page order, each with its text section.
std::vector<std::pair<TSection*, TImageObj*>> Images(TCellBasic& cell) {
  std::vector<std::pair<TSection*, TImageObj*>> out;
  for (const auto& s : cell) {
    if (auto* text = dynamic_cast<TSection*>(s.get()))
      for (const auto& o : text->Images)
        if (auto* image = dynamic_cast<TImageObj*>(o.get())) out.emplace_back(text, image);
    if (auto* block = dynamic_cast<TBlock*>(s.get()))
      for (const auto& inner : Images(*block->MyCell)) out.push_back(inner);
  }
  return out;
}

class Pictures : public ::testing::Test {
protected:
  void SetUp() override {
    view = MakeTestViewer(fixed);
    Write("red.png", PngBytes(20, 20, kRed));
  }
  void TearDown() override {
    view.reset();
    SetFontMeasurer(nullptr);
    SetPixelsPerInch(0);
  }
  void Write(const QString& name, const QByteArray& bytes) {
    std::ofstream((dir.path() + "/" + name).toStdString(), std::ios::binary) << bytes.toStdString();
  }
  std::u16string Path(const QString& name) const { return (dir.path() + "/" + name).toStdU16String(); }
  // Loads html as a file of the temporary folder: relative names must be found there, not in the
  // working folder of the test.
  void Load(const std::string& html) {
    Write("page.html", QByteArray::fromStdString(html));
    view->LoadFromFile(Path("page.html"));
  }
  QImage PaintWhole() {
    QImage image(view->PaintPanelWidget()->width(), std::max(1, view->DocumentHeight()), QImage::Format_RGB32);
    view->PaintDocument(image);
    return image;
  }
  QImage PaintView() {
    QImage image(view->PaintPanelWidget()->size(), QImage::Format_RGB32);
    TCanvas canvas(&image);
    canvas.Measurer = &fixed;
    view->PaintRect(canvas, {0, 0, image.width(), image.height()});
    return image;
  }
  bool HasText(const std::string& text) {
    return DumpLayout(view->Document()).find(text) != std::string::npos;
  }

  TFixedMeasurer fixed{8, 16};
  std::unique_ptr<THtmlView> view;
  QTemporaryDir dir;
};

const std::string kDataPng = "data:image/png;base64," + PngBytes(20, 20, kRed).toBase64().toStdString();

TEST_F(Pictures, EveryKindOfImageIsFoundBesideThePage) {
  struct Case {
    const char* what;
    std::string html;
  } cases[] = {
      {"image", "<img src=red.png>"},
      {"cell background", "<table><tr><td background=red.png width=40 height=40>&nbsp;</td></tr></table>"},
      {"table background", "<table background=red.png width=40 height=40><tr><td>&nbsp;</td></tr></table>"},
      {"block background", "<div style='background-image:url(red.png);width:40px;height:40px'></div>"},
      {"list-style image", "<ul style='list-style-image:url(red.png)'><li>item</ul>"},
      {"page background", "<body background=red.png><p>x</p>"},
      {"data: image", "<img src='" + kDataPng + "'>"},
      {"data: block background", "<div style=\"background-image:url('" + kDataPng + "');width:40px;height:40px\"></div>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Load(c.html);
    EXPECT_GE(Count(PaintWhole(), kRed), 300);
  }
}

// Pages that no longer show a picture let it go after ImageCacheCount more loads: a run of
// pages with a picture each keeps few in the cache, and a picture changed on disk shows as it is
// now once it has left.
TEST_F(Pictures, TheImageCacheAgesAndAChangedPictureIsReadAgain) {
  for (int count : {0, 2, 5}) {
    view->SetImageCacheCount(count);
    for (int k = 0; k < 12; ++k) {
      Write(QString("p%1.png").arg(k), PngBytes(8, 8, qRgb(k, 0, 0)));
      Load("<p>page <img src=p" + std::to_string(k) + ".png>");
      ASSERT_LE(view->Document().ImageCache->Count(), count + 1) << count << " " << k;
    }
    Write("changed.png", PngBytes(20, 20, kRed));
    Load("<img src=changed.png>");
    EXPECT_GT(Count(PaintView(), kRed), 300) << count;
    Write("changed.png", PngBytes(20, 20, kBlue));
    for (int other = 0; other <= count; ++other) Load("<p>another page");
    Load("<img src=changed.png>");
    EXPECT_GT(Count(PaintView(), kBlue), 300) << count;
  }
}

// Clear forgets every picture at once: one changed on disk shows as it is now on the next load.
TEST_F(Pictures, ClearEmptiesTheImageCache) {
  Write("changed.png", PngBytes(20, 20, kRed));
  Load("<img src=changed.png>");
  EXPECT_GT(Count(PaintView(), kRed), 300);
  view->Clear();
  EXPECT_EQ(view->Document().ImageCache->Count(), 0);
  Write("changed.png", PngBytes(20, 20, kBlue));
  Load("<img src=changed.png>");
  EXPECT_GT(Count(PaintView(), kBlue), 300);
  EXPECT_EQ(Count(PaintView(), kRed), 0);
}

// The BODY tag's colours, background and margins show whatever came before the tag: a line end
// or a head shows exactly as the page without it, and content before the tag stays.
TEST_F(Pictures, BodyAttributesShowWhateverCameBefore) {
  struct Case {
    std::string before, body;
    QRgb colour;
    int least;  // pixels of colour
  } cases[] = {
      {"<html>\n", "<body bgcolor=#0000ff><p>hi", kBlue, 40000},
      {"<html>\n", "<body background=red.png><p>hi", kRed, 40000},
      {"<html><head><title>t</title></head>\n", "<body marginwidth=0 marginheight=0><img src=red.png border=0>",
       kRed, 400},
      {"<html>\n", "<body text=#00ff00><p><font size=7>MMM</font>", kGreen, 400},
      {"<p>first</p>\n", "<body bgcolor=#0000ff><p>hi", kBlue, 40000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before + c.body);
    Load(c.body);
    const QImage alone = PaintView();
    Load(c.before + c.body);
    const QImage shown = PaintView();
    EXPECT_GE(Count(shown, c.colour), c.least);
    if (c.before.find("<p>") == std::string::npos)
      EXPECT_TRUE(shown == alone);
    else
      EXPECT_TRUE(HasText("first"));
  }
}

// A small picture stretched over a huge box costs what is painted of it, not the box: no copy of
// the box's size is made (20,000 x 20,000 would be 1.6 GB), for a picture or a GIF's frame.
TEST_F(Pictures, AHugeStretchedPictureCostsWhatShows) {
  WriteTwoFrameGif(dir.path());  // red first
  for (const char* name : {"red.png", "anim.gif"}) {
    Load(std::string("<body marginwidth=0 marginheight=0><img src=") + name + " width=20000 height=20000 border=0>");
    QImage shown;
    const auto growth = PeakGrowthMB([&] { shown = PaintView(); });
    EXPECT_EQ(Count(shown, kRed), shown.width() * shown.height()) << name;
    if (growth) EXPECT_LT(*growth, 100) << name << " MB";
  }
}

TEST_F(Pictures, TheHostIsAskedForTheExpandedNames) {
  std::set<std::u16string> asked;
  view->OnImageRequest = [&](QObject*, const std::u16string& src, TStream*&) { asked.insert(src); };
  Load("<body background=a.png><img src=b.png><table background=c.png><tr><td background=d.png>x</td></tr></table>"
       "<div style='background-image:url(e.png)'>x</div><ul style='list-style-image:url(f.png)'><li>x</ul>"
       "<form><input type=image src=g.png></form>");
  PaintWhole();
  const std::set<std::u16string> expected = {Path("a.png"), Path("b.png"), Path("c.png"), Path("d.png"),
                                             Path("e.png"), Path("f.png"), Path("g.png")};
  EXPECT_EQ(asked, expected);
}

TEST_F(Pictures, ANameWithABadEscapeFailsAloneAndThePageShows) {
  struct Case {
    std::string html;
    bool errorImage;
  } cases[] = {
      {"<img src=\"50%off.gif\">", true},
      {"<img src=\"pic%zz.png\">", true},
      {"<img src=\"%E4%B8.png\">", true},
      {"<link rel=stylesheet href=\"a%zz.css\">", false},
      {"<div style=\"background:url(a%zz.png)\">x</div>", false},
      {"<table><tr><td background=\"c%zz.png\">x</td></tr></table>", false},
      {"<body background=\"b%zz.png\">", false},
      // Links are compared with the visited ones after the load.
      {"<a href=\"50%off.html\">link</a>", false},
  };
  view->AddVisitedLink(Path("seen.html"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.html);
    EXPECT_NO_THROW(Load("<p>before</p>" + c.html + "<p>after</p>"));
    EXPECT_NO_THROW(PaintWhole());
    EXPECT_TRUE(HasText("after"));
    if (c.errorImage) {
      const auto images = Images(view->Document());
      ASSERT_FALSE(images.empty());
      EXPECT_TRUE(images[0].second->Image && images[0].second->Image->Error);
    }
  }
}

TEST_F(Pictures, AFileNameIsLoadedAsItStandsAndOnlyAFileUrlIsDecoded) {
  Write("50%off.html", "<p>fifty</p>");
  Write("a%41.html", "<p>escaped</p>");
  Write("aA.html", "<p>decoded</p>");
  Write("a b.html", "<p>blank</p>");
  struct Case {
    std::u16string name;
    std::string text;
  } cases[] = {
      {Path("50%off.html"), "fifty"},
      {Path("a%41.html"), "escaped"},
      {u"file://" + Path("a%20b.html"), "blank"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_NO_THROW(view->LoadFromFile(c.name));
    EXPECT_TRUE(HasText(c.text));
  }
}

// ---- the page background ----

TEST_F(Pictures, ThePageBackgroundIsPlacedAndRepeatedAsItsStyleSays) {
  struct Case {
    std::string style;
    int red;  // -1: the width, -2: the height, -3: the whole page (times 20 for the stripes)
    QPoint in, out;
  } cases[] = {
      {"no-repeat;background-position:30px 40px", 400, {30, 40}, {29, 40}},
      {"no-repeat;background-position:30px 40px", 400, {49, 59}, {50, 59}},
      {"repeat-x;background-position:0 40px", -1, {250, 40}, {0, 60}},
      {"repeat-y;background-position:30px 0", -2, {30, 250}, {50, 0}},
      {"repeat", -3, {0, 0}, {-1, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    Load("<body style='background-image:url(red.png);background-repeat:" + c.style +
         "'><div style='height:300px'></div>");
    const QImage page = PaintWhole();
    const int w = page.width(), h = page.height();
    ASSERT_GE(h, 300);
    const int expected = c.red == -1 ? 20 * w : c.red == -2 ? 20 * h : c.red == -3 ? w * h : c.red;
    EXPECT_EQ(Count(page, kRed), expected);
    EXPECT_EQ(page.pixel(c.in), kRed);
    if (c.out.x() >= 0) {
      EXPECT_NE(page.pixel(c.out), kRed);
    }
  }
}

TEST_F(Pictures, AFixedBackgroundStaysInTheViewWhileThePageScrolls) {
  struct Case {
    std::string attachment;
    int red;
  } cases[] = {{"fixed", 400}, {"scroll", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attachment);
    Load("<body style='background-image:url(red.png);background-repeat:no-repeat;background-position:30px 40px;"
         "background-attachment:" + c.attachment + "'><div style='height:1000px'></div>");
    view->SetVScrollBarPosition(100);
    ASSERT_EQ(view->VScrollBarPosition(), 100);
    const QImage shown = PaintView();
    EXPECT_EQ(Count(shown, kRed), c.red);
    EXPECT_EQ(shown.pixel(30, 40) == kRed, c.red > 0);
  }
}

// ---- cells and rules ----

TEST_F(Pictures, ACellsContentStopsAtItsBorder) {
  Load("<table cellspacing=0 cellpadding=0><tr><td width=100 style='border:2px solid #0000ff'>"
       "<img src=red.png width='100%' hspace=20></td><td width=100>x</td></tr></table>");
  const QImage page = PaintWhole();
  int blueRight = -1, redRight = -1;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      if (page.pixel(x, y) == kBlue) blueRight = std::max(blueRight, x);
      if (page.pixel(x, y) == kRed) redRight = std::max(redRight, x);
    }
  ASSERT_GT(redRight, 0);
  EXPECT_LT(redRight, blueRight - 1);
}

TEST_F(Pictures, RulesAreCentredUnlessAlignedAndTheirStyleDecides) {
  struct Case {
    std::string hr;
    int left, right;  // the drawn columns, the right one excluded
  } cases[] = {
      {"<hr width=100 noshade>", 100, 200},
      {"<hr width=50% noshade>", 80, 220},
      {"<hr width=100 align=right noshade>", 190, 290},
      {"<hr width=100 align=left noshade>", 10, 110},
      {"<hr width=100 noshade style='text-align:right'>", 190, 290},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hr);
    Load("<body bgcolor=white>" + c.hr);
    const QImage page = PaintWhole();
    int left = page.width(), right = -1;
    for (int y = 0; y < page.height(); ++y)
      for (int x = 0; x < page.width(); ++x)
        if (page.pixel(x, y) == 0xFF000000) left = std::min(left, x), right = std::max(right, x + 1);
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(right, c.right);
  }
}

// ---- images as objects ----

TEST_F(Pictures, ImagesAnswerTheirBitmapTheirPlaceAndTheirMap) {
  Load("<map name=m><area shape=rect coords='0,0,10,10' href=x.html></map>"
       "<p><img src=red.png usemap=#m vspace=5><a href=y.html><img src=red.png ismap border=0></a>"
       "<img src=missing.png><img src=red.png align=left></p>");
  std::vector<TImageObj*> images;
  for (const auto& [section, image] : Images(view->Document())) images.push_back(image);
  ASSERT_EQ(images.size(), 4u);
  TSection* text = Images(view->Document())[0].first;

  std::unique_ptr<TBitmap> bitmap = images[0]->GetBitmap();
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(QSize(bitmap->Width(), bitmap->Height()), QSize(20, 20));
  EXPECT_EQ(bitmap->Image().pixel(10, 10), kRed);
  EXPECT_FALSE(images[2]->GetBitmap());  // the error image is no picture of the page

  int ix = 0, iy = 0;
  bool isMap = true;
  TMapItem* map = nullptr;
  EXPECT_EQ(text->Images.PtInImage(images[0]->DrawX + 3, images[0]->DrawY + 4, ix, iy, isMap, map), images[0]);
  EXPECT_EQ(QPoint(ix, iy), QPoint(3, 4));
  EXPECT_FALSE(isMap);
  EXPECT_NE(map, nullptr);
  EXPECT_EQ(text->Images.PtInImage(images[1]->DrawX + 1, images[1]->DrawY + 1, ix, iy, isMap, map), images[1]);
  EXPECT_TRUE(isMap);
  EXPECT_EQ(map, nullptr);
  EXPECT_EQ(text->Images.PtInImage(images[0]->DrawX - 1, images[0]->DrawY, ix, iy, isMap, map), nullptr);

  int w = 0, h = 0;
  AlignmentType align = ANone;
  ASSERT_TRUE(text->Images.GetImageAt(images[0]->Pos, w, h, align));
  EXPECT_EQ(QSize(w, h), QSize(20, 30));  // the vertical space above and below
  EXPECT_EQ(align, ABottom);
  EXPECT_FALSE(text->Images.GetImageAt(images[3]->Pos, w, h, align));  // it floats
  EXPECT_FALSE(text->Images.GetImageAt(images[0]->Pos + 1000, w, h, align));
}

// ---- switches ----

TEST_F(Pictures, PrintSwitchesDecideWhichBackgroundsPrint) {
  struct Case {
    THtmlViewOptions options;
    bool colours, images, page;
  } cases[] = {
      {0, false, false, false},
      {htPrintTableBackground | htPrintMonochromeBlack, true, false, false},
      {htPrintTableBackground, true, false, false},
      {htPrintBackground, true, true, true},
  };
  Load("<body bgcolor=#0000ff><div style='background-color:#00ff00;width:100px;height:40px'></div>"
       "<div style='background-image:url(red.png);width:100px;height:40px'></div>"
       "<table><tr><td bgcolor=#ffff00 width=60 height=40>&nbsp;</td></tr></table>");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    view->SetHtOptions(c.options);
    platform::TRecordingPrinter printer;
    ASSERT_GE(view->Print(&printer), 1);
    ASSERT_FALSE(printer.Pages.empty());
    const QImage& page = printer.Pages[0];
    EXPECT_EQ(Count(page, kGreen) > 100, c.colours);
    EXPECT_EQ(Count(page, kYellow) > 100, c.colours);
    EXPECT_EQ(Count(page, kRed) > 100, c.images);
    EXPECT_EQ(Count(page, kBlue) > 100, c.page);
  }
}

TEST_F(Pictures, AMonochromePrinterGetsBlackFramesAndRulesOnlyWhenAskedFor) {
  const std::string pages[] = {"<hr>", "<img src=missing.png width=60 height=40>"};
  for (const std::string& html : pages) {
    SCOPED_TRACE(html);
    Load(html);
    auto black = [&](bool monochrome, THtmlViewOptions options) {
      view->SetHtOptions(options);
      platform::TRecordingPrinter printer;
      printer.Monochrome = monochrome;
      view->Print(&printer);
      return printer.Pages.empty() ? -1 : Count(printer.Pages[0], 0xFF000000);
    };
    const int colour = black(false, htPrintMonochromeBlack);
    EXPECT_GT(black(true, htPrintMonochromeBlack), colour);
    EXPECT_EQ(black(true, 0), colour);
  }
}

TEST_F(Pictures, ADummyCaretShowsWhereNothingIsSelected) {
  Load("<body bgcolor=white><p>abcd efgh</p>");
  // A click puts the caret in the text without a selection.
  QWidget* panel = view->PaintPanelWidget();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent e(type, QPointF(52, 14), panel->mapToGlobal(QPointF(52, 14)), Qt::LeftButton,
                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel, &e);
  }
  ASSERT_EQ(view->SelLength(), 0);
  const QImage without = PaintView();
  view->SetHtOptions(view->HtOptions() | htShowDummyCaret);
  const QImage with = PaintView();
  std::set<int> columns;
  int changed = 0;
  for (int y = 0; y < with.height(); ++y)
    for (int x = 0; x < with.width(); ++x)
      if (with.pixel(x, y) != without.pixel(x, y)) columns.insert(x), ++changed;
  EXPECT_EQ(columns.size(), 1u);
  EXPECT_GE(changed, 10);
}

TEST_F(Pictures, ALinkWithTheKeyboardsFocusIsFramedUnlessTheSwitchSaysNo) {
  Load("<body bgcolor=white><p><a href=x.html>link</a></p>");
  ASSERT_FALSE(view->Document().LinkFonts.empty());
  TFontObj* link = view->Document().LinkFonts[0];
  link->Active = true;
  const QImage framed = PaintView();
  view->SetHtOptions(view->HtOptions() | htNoFocusRect);
  const QImage plain = PaintView();
  // Only the frame differs: the focused link is drawn in its active colour either way.
  int differ = 0;
  for (int y = 0; y < plain.height(); ++y)
    for (int x = 0; x < plain.width(); ++x) differ += framed.pixel(x, y) != plain.pixel(x, y);
  EXPECT_GT(differ, 10);
}

TEST_F(Pictures, SelectedTextIsInvertedWhenTheSelectionColoursCannotShowIt) {
  const QPalette saved = QGuiApplication::palette();
  struct Restore {
    QPalette p;
    ~Restore() { QGuiApplication::setPalette(p); }
  } restore{saved};
  struct Case {
    QColor highlight, highlightText;
    TColor text, fore, ground;
  } cases[] = {
      {Qt::blue, Qt::white, clBlack, RGB(255, 255, 255), RGB(0, 0, 255)},
      {Qt::blue, Qt::blue, RGB(255, 0, 0), RGB(0, 255, 255), RGB(255, 0, 0)},
      {Qt::blue, Qt::blue, clNone, clNone, RGB(0, 0, 255)},
  };
  for (const Case& c : cases) {
    QPalette p = saved;
    p.setColor(QPalette::Highlight, c.highlight);
    p.setColor(QPalette::HighlightedText, c.highlightText);
    QGuiApplication::setPalette(p);
    TColor fore = 0, ground = 0;
    SelectionColours(c.text, fore, ground);
    EXPECT_EQ(fore, c.fore);
    EXPECT_EQ(ground, c.ground);
  }
  // On the page: black text selected on a blue pair comes out white on black.
  Load("<body bgcolor=white><p>MMMMMMMMMM</p>");
  view->SelectAll();
  const QImage shown = PaintView();
  EXPECT_GT(Count(shown, 0xFF000000), 10 * 8 * 8);
  EXPECT_EQ(Count(shown, kBlue), 0);
}

}  // namespace

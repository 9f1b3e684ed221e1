// The document root: identifiers, images, the animation timer, rules, cells and progress.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>

#include "htmlview/images/GdiPlus.h"
#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StyleValues.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/LayoutPieces.h"
#include "tests/htmlview/TestPage.h"
#include "tests/htmlview/ViewerSupport.h"

using namespace htmlview;

namespace {

struct TCounted : TIDObject {
  explicit TCounted(int* freed, bool own = true) : freed_(freed), own_(own) {}
  ~TCounted() override { ++*freed_; }
  bool FreeMe() const override { return own_; }
  int* freed_;
  bool own_;
};

class TFakeViewer : public THtmlViewBase {
public:
  std::u16string HtmlExpandFilename(const std::u16string& f) override { return f; }
  bool ShowFocusRect() override { return false; }
  void ControlMouseMove(QObject*, unsigned, int, int) override {}
  void htProgress(int percent) override { progress.push_back(percent); }
  TImageRequestResult RequestImage(const std::u16string& name, QByteArray&) override {
    requests.push_back(name);
    return answer;
  }
  std::vector<int> progress;
  std::vector<std::u16string> requests;
  TImageRequestResult answer = irNoHandler;
};

int Layout(ThtDocument& doc, int width) { return LayOut(doc, QtTextMeasurer(), width); }

// An image object sized as layout sizes it, in room x room pixels: it asks for its picture.
void DrawLogic(TImageObj& image, ThtDocument& doc, int room) {
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  image.DrawLogic(doc, canvas, nullptr, room, room);
}

}  // namespace

TEST(HtmlIDObjectList, ReAddingFreesTheOldOwnedObjectAndIgnoresCase) {
  int freed = 0;
  {
    TIDObjectList list;
    auto* first = new TCounted(&freed);
    list.AddObject(u"Top", first);
    EXPECT_EQ(list.Find(u"top"), first);
    auto* second = new TCounted(&freed);
    list.AddObject(u"TOP", second);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Find(u"top"), second);
    TCounted notOwned(&freed, false);
    list.AddObject(u"other", &notOwned);
    list.Clear();
    EXPECT_EQ(freed, 2);  // the owned one only
    EXPECT_EQ(list.Count(), 0);
  }
  EXPECT_EQ(freed, 3);  // notOwned at the end of its scope
}

TEST(HtmlIDObjectList, RemovingAnObjectDropsEveryNameItStandsUnder) {
  int freed = 0;
  TCounted a(&freed, false), b(&freed, false);
  TIDObjectList list;
  list.AddObject(u"x", &a);
  list.AddObject(u"y", &a);
  list.AddObject(u"z", &b);
  list.AddObject(u"Y", &b);  // a now stands under "x" only
  list.RemoveObject(&a);
  EXPECT_EQ(list.Find(u"x"), nullptr);
  EXPECT_EQ(list.Find(u"y"), &b);
  EXPECT_EQ(list.Count(), 2);
  list.RemoveObject(&a);  // nothing left of it
  EXPECT_EQ(list.Count(), 2);
  list.RemoveObject(&b);
  EXPECT_EQ(list.Count(), 0);
  list.AddObject(u"x", &a);  // removed objects may come back
  EXPECT_EQ(list.Find(u"X"), &a);
  list.RemoveObject(&a);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(freed, 0);
}

TEST(HtmlShared, EraseNearEndsTakesTheOneEntryWhereverItIs) {
  struct Case {
    std::vector<int> in;
    int value;
    bool found;
    std::vector<int> out;
  } cases[] = {
      {{1, 2, 3, 4, 5}, 1, true, {2, 3, 4, 5}}, {{1, 2, 3, 4, 5}, 5, true, {1, 2, 3, 4}},
      {{1, 2, 3, 4, 5}, 3, true, {1, 2, 4, 5}}, {{1, 2, 3, 4}, 3, true, {1, 2, 4}},
      {{1, 2, 3, 4}, 2, true, {1, 3, 4}},       {{1, 2, 3}, 9, false, {1, 2, 3}},
      {{}, 1, false, {}},                        {{7}, 7, true, {}},
  };
  for (Case& c : cases) {
    EXPECT_EQ(EraseNearEnds(c.in, c.value), c.found) << c.value;
    EXPECT_EQ(c.in, c.out) << c.value;
  }
}

TEST(HtmlDocument, AnimationTimerOnlyWithAnimatedImages) {
  EnsureGuiApp();
  ThtDocument doc(nullptr, nullptr);
  Layout(doc, 300);
  EXPECT_FALSE(doc.Timer && doc.Timer->isActive());
  int steps = 0;
  doc.AnimatedGifs.push_back({nullptr, [&steps] { return ++steps > 0; }, nullptr});
  Layout(doc, 300);
  ASSERT_TRUE(doc.Timer);
  EXPECT_TRUE(doc.Timer->isActive());
  EXPECT_EQ(doc.Timer->interval(), 50);
  doc.AnimationStep();
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(doc.Timer->interval(), 40);
  // A new layout keeps the pace: only a new timer waits 50 ms.
  Layout(doc, 200);
  EXPECT_EQ(doc.Timer->interval(), 40);
  doc.Clear();
  EXPECT_FALSE(doc.Timer);
}

TEST(HtmlDocument, DataUrlsDecodeWithoutTheHost) {
  EnsureGuiApp();
  TFakeViewer viewer;
  viewer.answer = irNone;
  ThtDocument doc(&viewer, &viewer);
  InitializeGDIPlus();  // PNG data is read through the imaging layer, as the viewer starts it
  bool pending = true;
  const std::u16string url =
      u"data:image/png;base64," + QString::fromLatin1(PngBytes(3, 2, qRgb(255, 0, 0)).toBase64()).toStdU16String();
  auto image = doc.GetImage(u"  " + url + u" ", pending);
  ASSERT_TRUE(image);
  EXPECT_FALSE(pending);
  EXPECT_EQ(image->Image.size(), QSize(3, 2));
  EXPECT_TRUE(viewer.requests.empty());
  EXPECT_FALSE(doc.GetImage(u"data:image/png,abc", pending));
  CloseGDIPlus();
}

TEST(HtmlDocument, ImageNamesDifferingInCaseAreTwoImages) {
  EnsureGuiApp();
  ThtDocument doc(nullptr, nullptr);
  std::vector<std::u16string> asked;
  doc.ImageLoader = [&](const std::u16string& name, bool&) {
    asked.push_back(name);
    auto image = std::make_shared<TDocImage>();
    image->Image = QImage(name == u"A.gif" ? 5 : 7, 1, QImage::Format_ARGB32);
    return image;
  };
  bool pending = false;
  auto upper = doc.GetImage(u"A.gif", pending);
  auto lower = doc.GetImage(u"a.gif", pending);
  auto again = doc.GetImage(u"A.gif", pending);
  ASSERT_TRUE(upper && lower);
  EXPECT_NE(upper, lower);
  EXPECT_EQ(upper, again);
  EXPECT_EQ(asked.size(), 2u);
}

TEST(HtmlDocument, FailingLoadersGiveNoImageAndNoError) {
  EnsureGuiApp();
  QTemporaryDir dir;
  const QString bad = dir.filePath(QStringLiteral("bad.gif"));
  {
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("GIF89a\x10\x00\x10\x00garbage");
  }
  ThtDocument doc(nullptr, nullptr);
  bool pending = true;
  EXPECT_FALSE(doc.GetImage(bad.toStdU16String(), pending));
  EXPECT_FALSE(pending);
  doc.ImageLoader = [](const std::u16string&, bool&) -> std::shared_ptr<TDocImage> {
    throw std::runtime_error("decoder failed");
  };
  EXPECT_NO_THROW(EXPECT_FALSE(doc.GetImage(u"x.gif", pending)));
  // An image object with that source shows the error image.
  ThtDocument plain(nullptr, nullptr);
  TAttributeList attrs;
  attrs.Add(SrcSy, 0, u"SRC", bad.toStdU16String(), 0);
  TImageObj image(&plain, 0, &attrs);
  DrawLogic(image, plain, 400);
  ASSERT_TRUE(image.Image);
  EXPECT_TRUE(image.Image->Error);
}

TEST(HtmlDocument, WaitingHostLeavesTheImagePending) {
  EnsureGuiApp();
  TFakeViewer viewer;
  viewer.answer = irWait;
  ThtDocument doc(&viewer, &viewer);
  TAttributeList attrs;
  attrs.Add(SrcSy, 0, u"SRC", u"later.png", 0);
  TImageObj image(&doc, 0, &attrs);
  DrawLogic(image, doc, 400);
  EXPECT_TRUE(image.Pending);
  ASSERT_EQ(doc.PendingImages.size(), 1u);
  EXPECT_EQ(doc.PendingImages[0].second, &image);
  EXPECT_EQ(image.ImageWidth, 24);  // the placeholder
  doc.PendingImages.clear();
}

TEST(HtmlRule, AttributesAndLayout) {
  EnsureGuiApp();
  struct Case {
    std::u16string size, width;
    int height;
    std::u16string styleWidth;
  } cases[] = {
      {u"0", u"", 2, u""},
      {u"25", u"", 2, u""},
      {u"7", u"", 7, u""},
      {u"", u"150%", 2, u""},
      {u"", u"50%", 2, u"50%"},
      {u"", u"120", 2, u"120px"},
  };
  for (const Case& c : cases) {
    ThtDocument doc(nullptr, nullptr);
    TAttributeList attrs;
    if (!c.size.empty()) attrs.Add(SizeSy, QString::fromStdU16String(c.size).toDouble(), u"SIZE", c.size, 0);
    if (!c.width.empty())
      attrs.Add(WidthSy, QString::fromStdU16String(c.width).remove(u'%').toDouble(), u"WIDTH", c.width, 0);
    TProperties props(false);
    THorzLine rule(&doc, &doc, &attrs, props);
    EXPECT_EQ(rule.VSize, c.height) << c.size.size();
    const auto* w = std::get_if<std::u16string>(&props.Props[piWidth]);
    EXPECT_EQ(w ? *w : std::u16string(), c.styleWidth);
  }
  ThtDocument doc(nullptr, nullptr);
  TProperties props(false);
  auto* rule = static_cast<THorzLine*>(doc.Add(std::make_unique<THorzLine>(&doc, &doc, nullptr, props)));
  EXPECT_EQ(Layout(doc, 200), 2);
  EXPECT_EQ(rule->RuleWidth, 200);
  QImage image(200, 4, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    TCanvas canvas(&image);
    doc.Draw(canvas, {0, 0, 200, 4}, 200, 0, 0, 0);
  }
  // A sunken frame: dark top-left, light bottom-right (silver on a white page).
  ExpectColours(image, {{50, 0, ToQColor(clBtnShadow)}, {50, 1, QColor(0xC0, 0xC0, 0xC0)}, {50, 3, QColor(Qt::white)}});
}

TEST(HtmlCellObjCell, TitleAndLinkForItsRectangle) {
  EnsureGuiApp();
  ThtDocument doc(nullptr, nullptr);
  TCellObjCell cell(&doc);
  cell.CellRect = {10, 10, 50, 50};
  cell.Title = u"cell";
  cell.Url = u"u.html";
  cell.Target = u"_top";
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  std::unique_ptr<TUrlTarget> url;
  TFormControlObj* control = nullptr;
  std::u16string title;
  EXPECT_EQ(cell.LinkAtPoint(canvas, 20, 20, url, control, title), guUrl | guTitle);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->Target, u"_top");
  EXPECT_EQ(title, u"cell");
  EXPECT_EQ(cell.LinkAtPoint(canvas, 60, 20, url, control, title), 0u);
}

TEST(HtmlDocument, ProgressOncePerLayoutForEveryFiftiethSection) {
  EnsureGuiApp();
  TFakeViewer viewer;
  ThtDocument doc(&viewer, nullptr);
  for (int i = 0; i < 120; ++i) {
    auto s = std::make_unique<TSection>(&doc, &doc, doc.PropertyStack->Last(), nullptr, nullptr, false);
    s->AddText(u"x", i);
    doc.AddSection(std::move(s));
  }
  Layout(doc, 300);
  EXPECT_EQ(viewer.progress, (std::vector<int>{41, 83}));
  Layout(doc, 300);
  EXPECT_EQ(viewer.progress.size(), 4u);
  // The positions were registered once, in order.
  EXPECT_EQ(doc.SectionPositions.size(), 120u);
  int top = 0, index = 0;
  TSectionBase* found = doc.FindSectionAt(25, top, index);
  EXPECT_EQ(found, doc.SectionPositions[static_cast<size_t>(index)]);
  EXPECT_LE(top, 25);
  doc.Clear();
  EXPECT_EQ(doc.Count(), 0);
  EXPECT_TRUE(doc.SectionPositions.empty());
}

namespace {
// A 4 x 3 green bitmap file in a folder of its own, and an image cache for the documents that
// show it.
class GreenBitmapFile : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureGuiApp();
    QImage pixels(4, 3, QImage::Format_RGB32);
    pixels.fill(qRgb(0, 128, 0));
    ASSERT_TRUE(pixels.save(file, "BMP"));
  }
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("p.bmp"));
  TStringBitmapList cache;
};
}  // namespace

TEST_F(GreenBitmapFile, TheViewersImageCacheOutlivesADocument) {
  bool pending = false;
  {
    ThtDocument first(nullptr, nullptr);
    first.ImageCache = &cache;
    auto image = first.GetImage(file.toStdU16String(), pending);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Image.size(), QSize(4, 3));
    EXPECT_EQ(QColor(image->Image.pixel(1, 1)), QColor(0, 128, 0));
  }
  ASSERT_TRUE(QFile::remove(file));
  ThtDocument second(nullptr, nullptr);
  second.ImageCache = &cache;
  auto again = second.GetImage(file.toStdU16String(), pending);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Image.size(), QSize(4, 3));
  EXPECT_EQ(cache.Count(), 1);
}


// Each object that shows an image holds a use of it in the cache until it goes, and whatever its
// document still holds goes back when the document is cleared: from then on the picture ages.
TEST_F(GreenBitmapFile, AnImagesUsesGoBackWithItsObjectsAndItsDocument) {
  ThtDocument doc(nullptr, nullptr);
  doc.ImageCache = &cache;
  auto uses = [&] { return cache.Count() == 1 ? cache.GetImage(0)->UsageCount : -1; };
  TAttributeList attrs;
  attrs.Add(SrcSy, 0, u"SRC", file.toStdU16String(), 0);
  QImage sink(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&sink);
  {
    TImageObj first(&doc, 0, &attrs), second(&doc, 1, &attrs);
    first.DrawLogic(doc, canvas, nullptr, 100, 100);
    second.DrawLogic(doc, canvas, nullptr, 100, 100);
    ASSERT_FALSE(first.IsPlaceholder());
    EXPECT_EQ(uses(), 2);
  }
  EXPECT_EQ(uses(), 0);
  bool pending = false;
  ASSERT_TRUE(doc.GetImage(file.toStdU16String(), pending));  // as a block's background takes it
  EXPECT_EQ(uses(), 1);
  doc.Clear();
  EXPECT_EQ(uses(), 0);
  for (int load = 0; load < cache.MaxCache; ++load) cache.BumpAndCheck();
  EXPECT_EQ(cache.Count(), 1);
  cache.BumpAndCheck();
  EXPECT_EQ(cache.Count(), 0);
}

TEST(HtmlDocument, ActiveGifsShowTheirSecondFrameUnderTheMouse) {
  EnsureGuiApp();
  QTemporaryDir dir;
  const QString file = WriteTwoFrameGif(dir.path());
  ThtDocument doc(nullptr, nullptr);
  TAttributeList attrs;
  attrs.Add(SrcSy, 0, u"SRC", file.toStdU16String(), 0);
  attrs.Add(ActiveSy, 0, u"ACTIVE", u"", 0);
  TImageObj image(&doc, 0, &attrs);
  DrawLogic(image, doc, 100);
  ASSERT_TRUE(image.Gif);
  EXPECT_TRUE(doc.AnimatedGifs.empty());  // still until the mouse comes
  EXPECT_EQ(image.Gif->CurrentFrame(), 1);
  image.SetHover(1);
  EXPECT_EQ(image.Gif->CurrentFrame(), 2);
  image.SetHover(0);
  EXPECT_EQ(image.Gif->CurrentFrame(), 1);
}

TEST(HtmlDocument, AnAnimatedGifInTheTextStartsTheTimer) {
  EnsureGuiApp();
  QTemporaryDir dir;
  const QString file = WriteTwoFrameGif(dir.path());
  ThtDocument doc(nullptr, nullptr);
  auto section = std::make_unique<TSection>(&doc, &doc, doc.PropertyStack->Last(), nullptr, nullptr, false);
  TAttributeList attrs;
  attrs.Add(SrcSy, 0, u"SRC", file.toStdU16String(), 0);
  TImageObj* image = section->AddImage(&attrs, &doc, 0);
  doc.AddSection(std::move(section));
  Layout(doc, 300);
  ASSERT_TRUE(image->Image);
  EXPECT_FALSE(image->Image->Error);
  ASSERT_TRUE(image->Gif);
  EXPECT_EQ(doc.AnimatedGifs.size(), 1u);
  ASSERT_TRUE(doc.Timer);
  EXPECT_TRUE(doc.Timer->isActive());
  EXPECT_EQ(doc.Timer->interval(), 50);
  Layout(doc, 200);
  EXPECT_EQ(doc.AnimatedGifs.size(), 1u);  // joined once
}

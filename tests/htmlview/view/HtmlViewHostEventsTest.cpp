// The viewer and its host: pictures that the host hands over later, whatever shows them, and
// the switches of HtOptions, each reaching what it governs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <string>
#include <vector>

#include "htmlview/forms/HtmlForms.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/view/HtmlView.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/LayoutPieces.h"
#include "tests/htmlview/ViewerSupport.h"

using namespace htmlview;

namespace {

int Pixels(THtmlView& view, QRgb colour) { return DocumentPixels(view, colour); }

class HostEvents : public ::testing::Test {
protected:
  void SetUp() override { view = MakeTestViewer(fixed); }
  void TearDown() override {
    view.reset();
    SetFontMeasurer(nullptr);
    SetPixelsPerInch(0);
  }
  QWidget* Panel() { return view->PaintPanelWidget(); }
  void Mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint p) {
    QMouseEvent e(type, QPointF(p), Panel()->mapToGlobal(QPointF(p)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(Panel(), &e);
  }
  // Within the first character of text, half-way down its line.
  QPoint At(const std::string& text) { return TextPoint(view->Document(), text, view->VScrollBarPosition()); }

  TFixedMeasurer fixed{8, 16};
  std::unique_ptr<THtmlView> view;
};

TEST_F(HostEvents, BackgroundsAndListImagesWaitForTheHostAndArriveLikeInlineImages) {
  constexpr QRgb red = 0xFFFF0000;
  const QByteArray png = PngBytes(10, 10, red);
  struct Case {
    const char* what;
    std::u16string html;
  } cases[] = {
      {"a block's background", u"<div style='background-image:url(wait.png);width:40px;height:30px'></div>"},
      {"a cell's background",
       u"<table cellspacing=0><tr><td background=wait.png width=40 height=30>&nbsp;</td></tr></table>"},
      {"a table's background", u"<table background=wait.png width=40 height=30><tr><td>&nbsp;</td></tr></table>"},
      {"a list-style image", u"<ul style='list-style-image:url(wait.png)'><li>item</ul>"},
      {"the page's background", u"<body background=wait.png><p>text</p>"},
      {"all of them and an inline image at once",
       u"<body background=wait.png><div style='background-image:url(wait.png);height:30px'></div>"
       u"<table><tr><td background=wait.png>cell</td></tr></table>"
       u"<ul style='list-style-image:url(wait.png)'><li>item</ul><img src=wait.png>"
       u"<form><input type=image src=wait.png></form>"},
  };
  int n = 0;
  // Each case under names of its own: the image cache keeps what earlier cases received.
  auto named = [&](const std::u16string& html, const QString& name) {
    return QString::fromStdU16String(html).replace(QStringLiteral("wait.png"), name).toStdU16String();
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ++n;
    std::vector<std::u16string> asked;
    view->OnImageRequest = [&](QObject*, const std::u16string& src, TStream*& stream) {
      asked.push_back(src);
      stream = WaitStream();
    };
    view->LoadFromString(named(k.html, QStringLiteral("wait%1.png").arg(n)));
    EXPECT_EQ(Pixels(*view, red), 0);
    Pixels(*view, red);
    ASSERT_EQ(asked.size(), 1u) << "an awaited picture is asked for once, not at every paint";
    TMemoryStream late = StreamOf(png);
    ASSERT_TRUE(view->InsertImage(asked[0], &late)) << "the picture was awaited";
    EXPECT_GT(Pixels(*view, red), 50) << "it shows once the host hands it over";
    EXPECT_FALSE(view->InsertImage(asked[0], &late)) << "nothing waits any more";
    EXPECT_EQ(asked.size(), 1u);
    // What is no picture leaves the page as it was, without its picture.
    view->LoadFromString(named(k.html, QStringLiteral("junk%1.png").arg(n)));
    Pixels(*view, red);  // a cell asks as it is drawn
    ASSERT_EQ(asked.size(), 2u);
    TMemoryStream junk = StreamOf("no picture");
    EXPECT_TRUE(view->InsertImage(asked[1], &junk));
    EXPECT_LT(Pixels(*view, red), 100) << "at most an inline image's error cross";
    view->OnImageRequest = nullptr;
  }
}

// The switches that the tests of pictures, printing, the wheel and the focus frame do not
// reach: hover colours without hover rules, link underlines, a forced vertical bar, and
// selections that do not start on links.
TEST_F(HostEvents, LinksFollowThePointerOnlyWithTheSwitchBeforeOrAfterTheLoad) {
  constexpr QRgb red = 0xFFFF0000;
  view->SetDefOverLinkColor(0x0000FF);
  struct Case {
    const char* what;
    bool before, after, red;
  } cases[] = {
      {"off", false, false, false},
      {"on at the load", true, true, true},
      {"set after the load", false, true, true},
      {"cleared after the load", true, false, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    view->SetHtOptions(k.before ? htOverLinksActive : 0);
    view->LoadFromString(u"<p><a href=x.html>WWWWWW</a></p>");
    view->SetHtOptions(k.after ? htOverLinksActive : 0);
    EXPECT_EQ(Pixels(*view, red), 0);
    Mouse(QEvent::MouseMove, Qt::NoButton, Qt::NoButton, At("WWWWWW"));
    EXPECT_EQ(Pixels(*view, red) > 0, k.red);
    Mouse(QEvent::MouseMove, Qt::NoButton, Qt::NoButton, {250, 150});
  }
}

TEST_F(HostEvents, LinksAreUnderlinedUnlessTheSwitchSaysNoAtTheNextLoad) {
  constexpr QRgb blue = 0xFF0000FF;
  auto blueRows = [&] {
    QImage image(std::max(1, view->DocumentWidth()), std::max(1, view->DocumentHeight()), QImage::Format_RGB32);
    view->PaintDocument(image);
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
      int n = 0;
      for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == blue;
      rows += n >= 40;  // a line under the whole link, not its letters
    }
    return rows;
  };
  const std::u16string page = u"<body bgcolor=white><p><a href=x.html>link text</a></p>";
  view->LoadFromString(page);
  EXPECT_GT(blueRows(), 0);
  view->SetHtOptions(view->HtOptions() | htNoLinkUnderline);
  view->LoadFromString(page);
  EXPECT_EQ(blueRows(), 0);
}

TEST_F(HostEvents, TheVerticalBarShowsForAShortPageOnlyWhenForced) {
  for (bool forced : {false, true}) {
    SCOPED_TRACE(forced);
    view->SetHtOptions(forced ? htShowVScroll : 0);
    view->LoadFromString(u"<p>short</p>");
    EXPECT_EQ(view->VScrollBar()->isVisibleTo(view.get()), forced);
    EXPECT_EQ(view->Document().LayoutWidth(), forced ? 300 - view->VScrollBar()->width() : 300);
  }
}

TEST_F(HostEvents, ADragFromALinkSelectsOnlyWhileLinksMayBeHighlighted) {
  for (bool noHilite : {false, true}) {
    SCOPED_TRACE(noHilite);
    view->SetHtOptions(noHilite ? htNoLinkHilite : 0);
    view->LoadFromString(u"<p><a href=x.html>link</a> and plain text</p>");
    std::vector<std::u16string> clicks;
    view->OnHotSpotClick = [&](QObject*, const std::u16string& src, bool& handled) {
      clicks.push_back(src);
      handled = true;
    };
    // From the link's first letter to the end of "plain", and from "plain" back onto the link.
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, At("link"));
    Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, At("text"));
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, At("text"));
    EXPECT_EQ(view->SelLength() > 0, !noHilite) << "from the link";
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, At("plain"));
    Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, At("link"));
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, At("link"));
    EXPECT_GT(view->SelLength(), 0) << "from text, whatever the switch";
    view->OnHotSpotClick = nullptr;
  }
}

// Arrow keys reach the page's check boxes, radio buttons and links: a check box keeps the focus,
// a radio button passes it only within its group (without wrapping), and on a link they scroll
// the view.
TEST_F(HostEvents, ArrowKeysStayWithTheControlThatHasTheFocus) {
  std::u16string lines;
  for (int i = 0; i < 40; ++i) lines += u"line<br>";
  view->LoadFromString(u"<form><input type=checkbox name=a><input type=checkbox name=b>"
                       u"<input type=radio name=r value=1 checked><input type=radio name=r value=2>"
                       u"<input name=e></form><a href=x.html>link</a><br>" +
                       lines);
  view->activateWindow();
  QApplication::setActiveWindow(view.get());
  view->setFocus();
  if (!view->hasFocus()) GTEST_SKIP() << "the platform gives no focus";
  QWidget* link = nullptr;
  for (TFontObj* f : view->Document().LinkFonts)
    if (f->TabControl) link = f->TabControl.get();
  ASSERT_NE(link, nullptr);
  auto& controls = view->Document().FormControls;
  QWidget *box = controls.at(0)->GetControl(), *radio1 = controls.at(2)->GetControl(),
          *radio2 = controls.at(3)->GetControl();
  const struct {
    const char* what;
    QWidget* from;
    std::vector<std::pair<int, QWidget*>> keys;  // each key and where the focus is after it
    bool scrolls;
  } cases[] = {
      {"a check box", box, {{Qt::Key_Down, box}, {Qt::Key_Right, box}, {Qt::Key_Up, box}, {Qt::Key_Left, box}}, false},
      {"a radio button", radio1,
       {{Qt::Key_Up, radio1}, {Qt::Key_Down, radio2}, {Qt::Key_Right, radio2}, {Qt::Key_Left, radio1}}, false},
      {"a link", link, {{Qt::Key_Down, link}, {Qt::Key_Right, link}, {Qt::Key_Down, link}}, true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    view->SetVScrollBarPosition(0);
    k.from->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), k.from);
    for (const auto& [key, to] : k.keys) {
      QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
      QCoreApplication::sendEvent(QApplication::focusWidget(), &e);
      EXPECT_EQ(QApplication::focusWidget(), to) << key;
    }
    EXPECT_EQ(view->VScrollBarPosition() > 0, k.scrolls);
  }
}

}  // namespace

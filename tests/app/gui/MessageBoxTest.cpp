// The HTML message box and the about box, in the main window and on their own.
#include <QDesktopServices>
#include <QKeyEvent>
#include <QTextEdit>
#include <QScrollBar>
#include <QUrl>
#include <sstream>

#include "MirelconVersion.h"
#include "app/gui/AboutUnit.h"
#include "app/gui/MyMessageDlgs.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlDump.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/view/HtmlView.h"
#include "platform/gui/Menus.h"
#include "tests/app/gui/GuiTest.h"
#include "unicode/gui/UniButtons.h"

using namespace guitest;

// Catches the URLs that would go to the browser.
class TUrlCatcher : public QObject {
  Q_OBJECT
public:
  std::vector<QString> urls;
public slots:
  void Open(const QUrl& url) { urls.push_back(url.toString()); }
};

namespace {

struct TSeen {
  QString caption;
  std::string dump;
  std::vector<std::u16string> links;
  QPoint centre;
  QSize frame, client;
  bool closedByHook = false;
};

class MessageBox : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    QDesktopServices::setUrlHandler("https", &catcher, "Open");
    previousDlg_ = SetMessageDlgHook([this](TMessageDlg& box) {
      box.show();
      TSeen s;
      s.caption = box.windowTitle();
      s.dump = htmlview::DumpLayout(box.HtmlView1->Document());
      for (htmlview::TFontObj* link : box.HtmlView1->Document().LinkFonts)
        if (link && link->UrlTarget) s.links.push_back(link->UrlTarget->URL);
      s.centre = box.frameGeometry().center();
      s.frame = box.frameGeometry().size();
      s.client = box.size();
      seen.push_back(s);
      if (onDlg) onDlg(box);
      if (!box.Closed()) box.reject();
    });
    previousAbout_ = SetAboutBoxHook([this](TAboutWinQm2TMX& box) {
      box.show();
      aboutVersion = box.VersionLabel->text();
      aboutMemo = box.Memo1->toPlainText();
      if (onAbout) onAbout(box);
      aboutClosed = box.Closed();
      if (!box.Closed()) box.reject();
    });
  }
  void TearDown() override {
    SetMessageDlgHook(std::move(previousDlg_));
    SetAboutBoxHook(std::move(previousAbout_));
    QDesktopServices::unsetUrlHandler("https");
    GuiTest::TearDown();
  }
  static void Key(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
  }
  // The first character of text in the box's viewer, in the paint panel's coordinates.
  static QPoint At(TMessageDlg& box, const std::string& text) {
    std::istringstream in(htmlview::DumpLayout(box.HtmlView1->Document()));
    for (std::string line; std::getline(in, line);) {
      std::istringstream l(line);
      int x, y, w, h;
      l >> x >> y >> w >> h;
      std::string rest;
      std::getline(l, rest);
      if (rest.find(text) != std::string::npos) return {x + 2, y + h / 2};
    }
    ADD_FAILURE() << "no text " << text;
    return {};
  }
  static void ClickPanel(QWidget* panel, QPoint p) {
    const QPointF g = panel->mapToGlobal(QPointF(p));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(p), g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(p), g, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel, &press);
    QCoreApplication::sendEvent(panel, &release);
  }

  TUrlCatcher catcher;
  std::vector<TSeen> seen;
  std::function<void(TMessageDlg&)> onDlg;
  std::function<void(TAboutWinQm2TMX&)> onAbout;
  QString aboutVersion, aboutMemo;
  bool aboutClosed = false;

private:
  TMessageDlgHook previousDlg_;
  TAboutBoxHook previousAbout_;
};

void Open(TFormTessaly& form) {
  form.show();
  ASSERT_TRUE(PumpUntil([&] { return form.windowTitle() == "Mirelcon "; }));
}

}  // namespace

TEST_F(MessageBox, F1ShowsTheHelpWithItsTwoLinksAndALinkOpensInTheBrowser) {
  TFormTessaly form;
  Open(form);
  bool stayedOpen = false;
  onDlg = [&](TMessageDlg& box) {
    EXPECT_EQ(box.size(), QSize(244, 111));
    ClickPanel(box.HtmlView1->PaintPanelWidget(), At(box, "Mirelcon"));
    stayedOpen = box.isVisible() && !box.Closed();
  };
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QCoreApplication::sendEvent(form.SourceEdit, &f1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(seen[0].caption, "Help");
  ASSERT_EQ(seen[0].links.size(), 2u);
  EXPECT_EQ(seen[0].links[0], u"https://www.example.com/mirelcon/help");
  EXPECT_EQ(seen[0].links[1], u"https://www.example.com/mirelcon/video");
  ASSERT_EQ(catcher.urls.size(), 1u);
  EXPECT_EQ(catcher.urls[0], "https://www.example.com/mirelcon/help");
  EXPECT_TRUE(stayedOpen);
  // Centred on the main window, frame on frame (the two frames differ).
  EXPECT_LE((seen[0].centre - form.frameGeometry().center()).manhattanLength(), 1);
  EXPECT_NE(seen[0].frame, seen[0].client);
}

TEST_F(MessageBox, EnterAndEscapeCloseTheBox) {
  for (const int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    bool closed = false;
    onDlg = [&](TMessageDlg& box) {
      QWidget* focus = box.focusWidget() ? box.focusWidget() : &box;
      Key(focus, key);
      closed = box.Closed();
    };
    ShowHtmlMessage(nullptr, u"Some <b>text</b>", u"Caption");
    EXPECT_TRUE(closed) << key;
  }
  // With the viewer focused as well.
  bool closed = false;
  onDlg = [&](TMessageDlg& box) {
    box.HtmlView1->setFocus();
    Key(box.HtmlView1, Qt::Key_Escape);
    closed = box.Closed();
  };
  ShowHtmlMessage(nullptr, u"Some <b>text</b>", u"Caption");
  EXPECT_TRUE(closed);
}

TEST_F(MessageBox, TheOkButtonClosesAndTheCaptionKeepsAnyScript) {
  bool closed = false;
  onDlg = [&](TMessageDlg& box) {
    ClickPanel(box.OkButton, {10, 10});
    closed = box.Closed();
  };
  EXPECT_TRUE(ShowHtmlMessage(nullptr, u"x", u"Ошибка 错误"));
  EXPECT_TRUE(closed);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, QString::fromUtf8("Ошибка 错误"));
}

TEST_F(MessageBox, WithOnlyThePlainHookTheTextArrivesWithoutMarkup) {
  TMessageDlgHook mine = SetMessageDlgHook({});
  ShowHtmlMessage(nullptr, u"<b>Not yet implemented</b>", u"Error");
  SetMessageDlgHook(std::move(mine));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption + "|" + boxes[0].text, "Error|Not yet implemented");
}

TEST_F(MessageBox, ASdlxliffInWindowModeShowsTheErrorInABoldRun) {
  TRecordingForm form;
  Open(form);
  TempDir::Write(dir.File("a.sdlxliff"), "<xliff/>");
  form.ChooseInput(dir.WFile("a.sdlxliff"));
  Click(form.StartStop);
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
  EXPECT_EQ(seen[0].caption, "Error");
  EXPECT_NE(seen[0].dump.find("Not yet implemented"), std::string::npos) << seen[0].dump;
  // The same words regular are narrower than the bold run.
  std::string regular;
  onDlg = [&](TMessageDlg& box) { regular = htmlview::DumpLayout(box.HtmlView1->Document()); };
  ShowHtmlMessage(nullptr, u"Not yet implemented", u"Error");
  auto width = [](const std::string& dump) {
    std::istringstream l(dump);
    int x, y, w;
    l >> x >> y >> w;
    return w;
  };
  EXPECT_GT(width(seen[0].dump), width(regular));
  ASSERT_TRUE(PumpUntil([&] { return form.GetRunning() == 0; }));
  ExpectIdle(form);
}

TEST_F(MessageBox, AboutShowsTheVersionAndAClickClosesIt) {
  TFormTessaly form;
  Open(form);
  onAbout = [&](TAboutWinQm2TMX& box) {
    const QPointF p(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, p, box.Memo1->viewport()->mapToGlobal(p), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box.Memo1->viewport(), &press);
  };
  form.AboutMenu->Click();
  EXPECT_EQ(aboutVersion, QString("Multiformat converter ") + MIRELCON_VERSION_TEXT);
  EXPECT_TRUE(aboutMemo.startsWith("Quillmar  <->  TMX\nSDLTM ->  TMX\nSDLTB ->  CSV\n\n")) << aboutMemo.toStdString();
  EXPECT_TRUE(aboutClosed);
  EXPECT_TRUE(boxes.empty());
  onAbout = [&](TAboutWinQm2TMX& box) { Key(&box, Qt::Key_Escape); };
  form.AboutMenu->Click();
  EXPECT_TRUE(aboutClosed);
}

#include "MessageBoxTest.moc"

// What a user sees of the program's windows on a real X display: the program runs as it does for
// a user, the mouse and keys go through the X server, and every check reads the pixels back from
// the server.
#include <QColor>
#include <filesystem>
#include <functional>

#include "tests/app/screen/Screen.h"
#include "tests/support/TmFiles.h"

using namespace screen;

namespace {

// Where the main window puts its controls (client coordinates).
const QRect kSourceEdit(16, 24, 209, 21), kDestEdit(16, 72, 209, 21), kBrowse(238, 23, 24, 24),
    kStartStop(238, 72, 33, 57), kGauge(16, 112, 209, 16), kResultLine(16, 99, 209, 13);

QRect Inside(const QRect& r, int by) { return r.adjusted(by, by, -by, -by); }

bool Lime(QRgb c) { return qRed(c) < 40 && qGreen(c) > 215 && qBlue(c) < 40; }
bool LinkBlue(QRgb c) { return qBlue(c) > 150 && qRed(c) < 90 && qGreen(c) < 90; }

class Screen : public testing::Test {
protected:
  void SetUp() override {
    REQUIRE_DISPLAY();
    program = std::make_unique<TProgram>(dir);
    main = program->WaitForName("Mirelcon");
    ASSERT_NE(main.id, 0u) << "the main window never showed";
    ASSERT_EQ(main.geometry.size(), QSize(288, 155));
    Pause(300);
  }

  // Picks file in the browse dialog, as a user types its name there.
  void Browse(const std::string& file) {
    Click(main, kBrowse.center().x(), kBrowse.center().y());
    const TWindow dialog = program->WaitFor([&](const TWindow& w) { return w.id != main.id && w.geometry.width() > 300; });
    ASSERT_NE(dialog.id, 0u) << "the open dialog never showed";
    Pause(300);
    Type(dialog, file);
    Keys(dialog, {"Return"});
    const bool gone = program->WaitGone(dialog.id);
    ASSERT_TRUE(gone) << "the open dialog did not close";
    Pause(300);
  }

  // The window within a second of its showing: once text shows in area, or as it is then.
  static QImage GrabOnceDrawn(const TWindow& w, const QRect& area) {
    QImage shot = Grab(w);
    for (int i = 0; i < 16 && Ink(shot, area).isEmpty(); ++i) {
      Pause(50);
      shot = Grab(w);
    }
    Pause(100);  // the rest of the paint
    return Grab(w);
  }

  // Chooses a text TM of units through the browse dialog: the edits show its name and its
  // output's.
  void Choose(const std::string& name, int units, const char* output) {
    TempDir::Write(dir.File(name), tmfiles::NumberedTm(units));
    Browse(dir.File(name));
    const QImage shot = Grab(main);
    Keep(shot, "main-" + name);
    ExpectText(shot, Inside(kSourceEdit, 2), name.c_str(), "the input edit");
    ExpectText(shot, Inside(kDestEdit, 2), output, "the output edit");
  }

  // The ink of the text in an edit, measured against the same characters drawn with shaping off.
  static void ExpectText(const QImage& shot, const QRect& area, const char* text, const char* what) {
    const QRect ink = Ink(shot, area);
    ASSERT_FALSE(ink.isEmpty()) << what << ": nothing drawn";
    EXPECT_NEAR(ink.width(), ReferenceInkWidth(WindowFont("MS Sans Serif"), QString::fromUtf8(text)), 1)
        << what << " is not drawn as \"" << text << "\" in MS Sans Serif 8 pt";
  }

  TempDir dir;
  std::unique_ptr<TProgram> program;
  TWindow main;
};

TEST_F(Screen, TheMainWindowAtStart) {
  const QImage shot = GrabOnceDrawn(main, QRect(16, 6, 200, 16));
  Keep(shot, "main-at-start");
  ExpectText(shot, QRect(16, 6, 200, 16), "Input file:", "the first label");
  ExpectText(shot, QRect(16, 54, 200, 16), "Output file", "the second label");
  // The input edit is white, the read-only output edit the face colour, both empty.
  EXPECT_EQ(Count(shot, Inside(kSourceEdit, 3), [](QRgb c) { return c == qRgb(255, 255, 255); }),
            Inside(kSourceEdit, 3).width() * Inside(kSourceEdit, 3).height());
  const QRgb face = shot.pixel(kDestEdit.center());
  EXPECT_NE(face, qRgb(255, 255, 255));
  EXPECT_EQ(Count(shot, Inside(kDestEdit, 3), [&](QRgb c) { return c == face; }),
            Inside(kDestEdit, 3).width() * Inside(kDestEdit, 3).height());
  // The browse glyph (a 16 x 16 picture) sits in the middle of its button.
  const QRect glyph = Ink(shot, Inside(kBrowse, 3), [](QRgb c) { return qGray(c) < 150; });
  EXPECT_TRUE(glyph.width() >= 12 && glyph.width() <= 18 && glyph.height() >= 10 && glyph.height() <= 18);
  EXPECT_LE(std::abs(glyph.center().x() - kBrowse.center().x()), 2);
  EXPECT_LE(std::abs(glyph.center().y() - kBrowse.center().y()), 2);
  // Start is there but disabled: its caption is greyed, never dark.
  EXPECT_EQ(Count(shot, Inside(kStartStop, 3), Dark), 0);
  EXPECT_GT(Count(shot, Inside(kStartStop, 3), [](QRgb c) { return qGray(c) < 200; }), 10);
  EXPECT_TRUE(Ink(shot, kResultLine).isEmpty());
  EXPECT_EQ(Count(shot, Inside(kGauge, 2), Lime), 0);
}

TEST_F(Screen, AConversionThroughBrowseAndStart) {
  Choose("units.txt", 1234, "units.tmx");
  Click(main, kStartStop.center().x(), kStartStop.center().y());
  QImage shot;
  for (int i = 0; i < 200 && Ink(shot, kResultLine).isEmpty(); ++i) {
    Pause(50);
    shot = Grab(main);
  }
  Pause(200);
  shot = Grab(main);
  Keep(shot, "main-converted");
  ASSERT_TRUE(std::filesystem::exists(dir.File("units.tmx")));
  // The gauge is full, in lime.
  EXPECT_GE(Count(shot, Inside(kGauge, 2), Lime), Inside(kGauge, 2).width() * Inside(kGauge, 2).height() * 8 / 10);
  EXPECT_LT(Count(shot, QRect(kGauge.right() - 8, kGauge.top() + 2, 6, kGauge.height() - 4), [](QRgb c) { return !Lime(c); }),
            12);
  // The result line, right-aligned at 225.
  const QRect result = Ink(shot, kResultLine);
  ExpectText(shot, kResultLine, "1.234 TUs", "the result line");
  EXPECT_GE(result.right(), 219);
  EXPECT_LE(result.right(), 225);
}

TEST_F(Screen, ANameWithTMShowsItsOwnCharacters) {
  Choose("MyTM.txt", 2, "MyTM.tmx");
}

TEST_F(Screen, TheErrorBoxShowsItsTextAtOnce) {
  TempDir::Write(dir.File("job.sdlxliff"), "<xliff/>");
  Browse(dir.File("job.sdlxliff"));
  Click(main, kStartStop.center().x(), kStartStop.center().y());
  const TWindow box = program->WaitForName("Error");
  ASSERT_NE(box.id, 0u) << "no error box";
  EXPECT_EQ(box.geometry.size(), QSize(244, 111));
  EXPECT_LE((box.geometry.center() - main.geometry.center()).manhattanLength(), 1) << "not centred on the window";
  const QImage shot = GrabOnceDrawn(box, QRect(0, 0, 244, 78));
  Keep(shot, "error-box");
  // "Not yet implemented", bold, on the viewer's first line: left of the Ok button's row.
  const QRect text = Ink(shot, QRect(0, 0, 244, 78));
  ASSERT_FALSE(text.isEmpty()) << "the box shows no text";
  EXPECT_LE(text.left(), 16);
  EXPECT_LE(text.top(), 20);
  EXPECT_GE(text.width(), 90);
  EXPECT_GE(Count(shot, text, Dark), 150);
}

TEST_F(Screen, OneClickOnAHelpLinkOpensTheBrowser) {
  Click(main, kSourceEdit.center().x(), kSourceEdit.center().y());
  Keys(main, {"F1"});
  const TWindow box = program->WaitForName("Help");
  ASSERT_NE(box.id, 0u) << "no help box";
  const QImage shot = GrabOnceDrawn(box, QRect(0, 0, 244, 78));
  Keep(shot, "help-box");
  const std::vector<QRect> lines = Bands(shot, QRect(0, 0, 244, 78));
  ASSERT_FALSE(lines.empty()) << "the help box shows no text";
  // The first link is "Mirelcon": the first run of blue (its underline joins its letters).
  QRect link;
  for (const QRect& line : lines) {
    for (int x = 0; x < 244; ++x) {
      const QRect column = Ink(shot, QRect(x, line.top(), 1, line.height()), LinkBlue);
      if (!column.isEmpty()) link |= column;
      else if (!link.isEmpty()) break;
    }
    if (!link.isEmpty()) break;
  }
  ASSERT_FALSE(link.isEmpty()) << "no link shows";
  EXPECT_GE(link.width(), 30);
  Click(box, link.center().x(), link.center().y());
  std::string opened;
  for (int i = 0; i < 100 && opened.empty(); ++i, Pause(50)) opened = program->Opened();
  EXPECT_EQ(opened, "https://www.example.com/mirelcon/help\n");
  EXPECT_TRUE(program->Shows(box.id)) << "the box closed";
}

// What a window manager shows as a window's title is its caption alone: nothing of the program's
// own title appended.
void ExpectTitle(const TWindow& w, const std::string& caption) {
  const TTitles titles = Titles(w);
  EXPECT_EQ(titles.wmName, caption) << "WM_NAME of the window titled \"" << caption << "\"";
  EXPECT_EQ(titles.netWmName, caption) << "_NET_WM_NAME of the window titled \"" << caption << "\"";
}

TEST_F(Screen, EachWindowIsTitledWithItsCaptionAlone) {
  const QPoint ok(80 + 75 / 2, 78 + 25 / 2);
  const struct {
    const char* caption;
    std::function<void()> open;
  } cases[] = {
      {"Mirelcon ", [] {}},
      {"Help",
       [&] {
         Click(main, kSourceEdit.center().x(), kSourceEdit.center().y());
         Keys(main, {"F1"});
       }},
      {"Error",
       [&] {
         TempDir::Write(dir.File("job.sdlxliff"), "<xliff/>");
         Browse(dir.File("job.sdlxliff"));
         Click(main, kStartStop.center().x(), kStartStop.center().y());
       }},
  };
  for (const auto& c : cases) {
    c.open();
    const TWindow w = c.caption == std::string("Mirelcon ") ? main : program->WaitForName(c.caption);
    ASSERT_NE(w.id, 0u) << "no window titled " << c.caption;
    ExpectTitle(w, c.caption);
    if (w.id == main.id) continue;
    Click(w, ok.x(), ok.y());
    EXPECT_TRUE(program->WaitGone(w.id)) << "Ok did not close the box titled " << c.caption;
  }
}

// With a command line the window keeps its first caption while the plain message box that says
// the name is bad carries the program's title.
TEST(ScreenCommandLine, TheWindowAndItsMessageBoxAreTitledWithTheirCaptions) {
  REQUIRE_DISPLAY();
  TempDir dir;
  TProgram program(dir, {MIRELCON_EXE, dir.File("missing.txt")});
  const TWindow main = program.WaitForSize(288, 155);
  ASSERT_NE(main.id, 0u) << "the main window never showed";
  const TWindow box = program.WaitFor([&](const TWindow& w) { return w.id != main.id; });
  ASSERT_NE(box.id, 0u) << "no \"Bad FileName\" box";
  ExpectTitle(main, "Mirelcon");
  ExpectTitle(box, "Mirelcon ");
}

TEST_F(Screen, TheAboutBoxShowsEveryLineCentred) {
  Click(main, 150, 140, 3);
  Pause(300);
  Output({"xdotool", "key", "Down", "Return"});
  const TWindow box = program->WaitForSize(179, 162);
  ASSERT_NE(box.id, 0u) << "no about box";
  Pause(400);
  const QImage shot = Grab(box);
  Keep(shot, "about-box");
  // Below the picture: the memo's five lines and the version line, the first one whole (as tall
  // as the next, not cut by the memo's top).
  const std::vector<QRect> bands = Bands(shot, QRect(3, 52, 173, 107));
  ASSERT_EQ(bands.size(), 6u);
  EXPECT_GE(bands[0].height(), bands[1].height());
  for (const QRect& band : bands) EXPECT_LE(std::abs(band.left() + band.right() - 178), 3) << "not centred";
  EXPECT_NEAR(bands[0].width(), ReferenceInkWidth(WindowFont("MS Sans Serif"), QStringLiteral("Quillmar  <->  TMX")), 1);
  EXPECT_NEAR(bands[1].width(), ReferenceInkWidth(WindowFont("MS Sans Serif"), QStringLiteral("SDLTM ->  TMX")), 1);
}

}  // namespace

// The control units on a real X display: a window of them runs as its own program, keys go
// through the X server and pixels are read back from it.
#include <QGuiApplication>
#include <QPalette>
#include <filesystem>

#include "tests/app/screen/Screen.h"

using namespace screen;

namespace {

class ControlsScreen : public testing::Test {
protected:
  // Starts the probe window with args; false when it never showed.
  void Start(const std::vector<std::string>& args) {
    REQUIRE_DISPLAY();
    std::vector<std::string> argv{CONTROLS_PROBE_EXE, log};
    argv.insert(argv.end(), args.begin(), args.end());
    program = std::make_unique<TProgram>(dir, argv);
    window = program->WaitForName("probe");
    ASSERT_NE(window.id, 0u) << "the probe window never showed";
    Pause(300);
  }
  // The log once it holds line (up to 5 s), else as it is then.
  std::string LogWith(const std::string& line) const {
    std::string text;
    for (int i = 0; i < 100; ++i, Pause(50)) {
      text = std::filesystem::exists(log) ? TempDir::Read(log) : "";
      if (text.find(line + "\n") != std::string::npos) break;
    }
    return text;
  }

  TempDir dir;
  std::string log = dir.File("log.txt");
  std::unique_ptr<TProgram> program;
  TWindow window;
};

TEST_F(ControlsScreen, AnActionsCaptionGivesTheButtonItsLastHotKey) {
  Start({"button", "A&B&C"});
  // Keys arrive in order: once Alt+M has marked the log, the keys before it have done all they
  // would.
  Keys(window, {"alt+b", "alt+a", "alt+m"});
  EXPECT_EQ(LogWith("mark"), "shown\nmark\n");
  Keys(window, {"alt+c", "alt+m"});
  EXPECT_EQ(LogWith("mark\nclick\nmark"), "shown\nmark\nclick\nmark\n");
}

// The pixels of what the highlight of the program's palette fills.
bool Highlight(QRgb c) { return c == QGuiApplication::palette().color(QPalette::Highlight).rgb(); }
bool Light(QRgb c) { return qGray(c) > 200; }

TEST_F(ControlsScreen, AnOwnerDrawnComboTypesAheadAndDrawsItsChoice) {
  Start({"combo", "csOwnerDrawFixed", "Apple", "ABle", "cat"});
  const QRect face(20, 20, 200, 24);
  // Nothing chosen: the face is the control's colour alone.
  EXPECT_EQ(Count(Grab(window), face.adjusted(3, 3, -24, -3), Dark), 0);
  Keys(window, {"a", "b"});
  EXPECT_EQ(LogWith("select 1 ABle"), "shown\nselect 0 Apple\nselect 1 ABle\n");
  Pause(200);
  const QImage shot = Grab(window);
  Keep(shot, "combo-owner-draw");
  // The focused face: the item on the highlight, its text in the highlight's text colour, 2 pixels
  // right of the field's left.
  const QRect filled = Ink(shot, face, Highlight);
  ASSERT_FALSE(filled.isEmpty()) << "no highlight in the face";
  const QRect text = Ink(shot, filled.adjusted(1, 1, -1, -1), Light);
  ASSERT_FALSE(text.isEmpty()) << "no text on the highlight";
  EXPECT_GE(text.left() - filled.left(), 2);
  EXPECT_LE(text.left() - filled.left(), 5);
  EXPECT_GT(text.width(), 15);  // "ABle", not one letter
}

TEST_F(ControlsScreen, ASimpleComboCompletesTypedTextWithItsListShown) {
  Start({"combo", "csSimple", "Boston", "New York", "Newark"});
  Type(window, "ne");
  EXPECT_EQ(LogWith("select 1 new York"), "shown\nselect 1 new York\n");
  Pause(200);
  const QImage shot = Grab(window);
  Keep(shot, "combo-simple");
  // Below the edit, the three items: three bands of text, no drop-down needed.
  const std::vector<QRect> bands = Bands(shot, QRect(25, 50, 190, 75));
  EXPECT_GE(bands.size(), 2u);  // the current item's text may be light on the highlight
  EXPECT_FALSE(Ink(shot, QRect(20, 44, 200, 86), Highlight).isEmpty()) << "the chosen item is not highlighted";
}

}  // namespace

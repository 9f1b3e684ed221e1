// The control units on a real X display: a window of them runs as its own program, keys go
// through the X server and pixels are read back from it.
#include <QGuiApplication>
#include <QPalette>
#include <cstdio>
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

// Each control linked to an action and without a handler of its own runs the action, once for
// each click of the mouse and each key that clicks it; a radio button only when it becomes the
// one chosen.
TEST_F(ControlsScreen, LinkedControlsRunTheirActionsFromTheMouseAndTheKeyboard) {
  Start({"actions"});
  Click(window, 70, 35);  // the button
  Click(window, 28, 75);  // the check box's box
  Click(window, 28, 115);  // the radio button's
  EXPECT_EQ(LogWith("run radio"), "shown\nrun button\nrun check\nrun radio\n");
  // The accelerators of the button and the check box, which takes the focus; then Space on the
  // radio button after it, chosen already: nothing. Then the other radio button by the mouse,
  // and the first again by its hot key and Space.
  Keys(window, {"alt+b", "alt+c", "Tab", "space"});
  Click(window, 158, 115);
  EXPECT_EQ(LogWith("other"), "shown\nrun button\nrun check\nrun radio\nrun button\nrun check\nother\n");
  Keys(window, {"alt+r", "space", "space"});
  EXPECT_EQ(LogWith("other\nrun radio"),
            "shown\nrun button\nrun check\nrun radio\nrun button\nrun check\nother\nrun radio\n");
  // The second Space found it chosen: nothing more came of it.
  Keys(window, {"alt+b"});
  EXPECT_EQ(LogWith("other\nrun radio\nrun button"),
            "shown\nrun button\nrun check\nrun radio\nrun button\nrun check\nother\nrun radio\nrun button\n");
}

TWindow DropDown(const TProgram& program, const TWindow& window);

// The lines of the log that begin with prefix, the prefix left out, one per line.
std::string Lines(const std::string& log, const std::string& prefix) {
  std::string out;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(at, end - at);
    if (line.compare(0, prefix.size(), prefix) == 0) out += line.substr(prefix.size()) + "\n";
    at = end + 1;
  }
  return out;
}

// The last hint published, as the log holds it.
std::string LastHint(const std::string& log) {
  const std::string hints = Lines(log, "hint ");
  if (hints.empty()) return "(none)";
  const size_t start = hints.rfind('\n', hints.size() - 2);
  return hints.substr(start == std::string::npos ? 0 : start + 1, hints.size() - (start == std::string::npos ? 1 : start + 2));
}

// The centre of an entry of a shown menu, from its "entry" line; (-1, -1) when none.
QPoint EntryCentre(const std::string& log, const std::string& caption) {
  const std::string entries = Lines(log, "entry " + caption + " ");
  int x = -1, y = -1, w = 0, h = 0;
  if (std::sscanf(entries.c_str(), "%d %d %d %d", &x, &y, &w, &h) != 4) return {-1, -1};
  return {x + w / 2, y + h / 2};
}

void MoveTo(const TWindow& w, const QPoint& p) {
  Output({"xdotool", "mousemove", "--window", std::to_string(w.id), std::to_string(p.x()), std::to_string(p.y())});
}

// A shortcut that a menu entry shows works from the window: the item clicks, or the action runs,
// once per press, and a disabled item's does nothing.
TEST_F(ControlsScreen, TheShortcutsAMenuShowsWorkFromItsWindow) {
  Start({"menu"});
  Keys(window, {"ctrl+o", "ctrl+d", "ctrl+i", "ctrl+r", "ctrl+o"});
  // What the hint lines leave of the log.
  std::string events;
  const std::string log = LogWith("open\ninner\nrun\nopen");
  size_t at = 0;
  while (at < log.size()) {
    const size_t end = log.find('\n', at);
    const std::string line = log.substr(at, end - at);
    if (line.rfind("hint ", 0) != 0) events += line + "\n";
    at = end == std::string::npos ? log.size() : end + 1;
  }
  EXPECT_EQ(events, "shown\nopen\ninner\nrun\nopen\n");
}

// The hint published while the pointer and the keys move through a menu is the long hint of the
// entry highlighted, or empty where none is.
TEST_F(ControlsScreen, TheHintFollowsTheMenusHighlight) {
  Start({"menu"});
  Click(window, 180, 130, 3);
  LogWith("menu 6");
  const TWindow menu = DropDown(*program, window);
  ASSERT_NE(menu.id, 0u) << "the menu never showed";
  Pause(300);
  std::string log = LogWith("menu 6");
  // (the entry the pointer goes to, the hint then)
  const std::pair<const char*, const char*> steps[] = {
      {"&Open", "[LongOpen]"}, {"Off", "[]"},   {"C", "[LongC]"},
      {"-", "[]"},            {"C", "[LongC]"}, {"Sub", "[LongSub]"},
  };
  for (const auto& [entry, hint] : steps) {
    const QPoint at = EntryCentre(log, entry);
    ASSERT_GE(at.x(), 0) << entry;
    MoveTo(menu, at);
    Pause(150);
    log = LogWith("menu 6");
    EXPECT_EQ(LastHint(log), hint) << entry;
  }
  // The submenu opens under the pointer, which stays on "Sub".
  log = LogWith("menu 1");
  Pause(300);
  log = LogWith("menu 1");
  EXPECT_EQ(LastHint(log), "[LongSub]") << "as the submenu opened";
  const TWindow sub = program->WaitFor([&](const TWindow& w) { return w.id != window.id && w.id != menu.id; });
  ASSERT_NE(sub.id, 0u) << "the submenu never showed";
  const QPoint inner = EntryCentre(log, "Inner");
  ASSERT_GE(inner.x(), 0);
  MoveTo(sub, inner);
  Pause(300);
  EXPECT_EQ(LastHint(LogWith("menu 1")), "[LongInner]");
  // Back from the submenu with Left: "Sub" is highlighted again.
  Output({"xdotool", "key", "Left"});
  Pause(300);
  EXPECT_EQ(LastHint(LogWith("menu 1")), "[LongSub]") << "back from the submenu";
  Keep(Grab(menu), "menu-back-from-submenu");
  Output({"xdotool", "key", "Escape"});
  Pause(300);
  EXPECT_EQ(LastHint(LogWith("menu 1")), "[]") << "the menu closed";
}

// Buttons "&Save" and "&Send" share Alt+S: every press clicks the first of them.
TEST_F(ControlsScreen, AHotKeyTwoButtonsShareClicksTheFirstEveryTime) {
  Start({"hotkeys"});
  Keys(window, {"alt+s", "alt+s", "alt+s", "alt+s", "alt+m"});
  EXPECT_EQ(LogWith("mark"), "shown\nsave\nsave\nsave\nsave\nmark\n");
}

// The combo's drop-down: the window of the program that is not the probe's own.
TWindow DropDown(const TProgram& program, const TWindow& window) {
  return program.WaitFor([&](const TWindow& w) { return w.id != window.id; });
}

TEST_F(ControlsScreen, AComboAnnouncesEachChangeOfItemOnceHoweverItIsPicked) {
  Start({"pick", "csDropDownList", "Apple", "Banana", "Cherry"});
  // The arrow keys on the closed box.
  Keys(window, {"Down", "Down"});
  EXPECT_EQ(LogWith("select 1 Banana"), "shown\nclick 0\nselect 0 Apple\nclick 1\nselect 1 Banana\n");
  // The mouse in the drop-down: the first item, then the same item again.
  for (int pick = 0; pick < 2; ++pick) {
    Click(window, 100, 32);
    const TWindow list = DropDown(*program, window);
    ASSERT_NE(list.id, 0u) << "the list never dropped down";
    Pause(300);
    Click(list, list.geometry.width() / 2, list.geometry.height() / 6);
    ASSERT_TRUE(program->WaitGone(list.id));
  }
  // The arrow keys in the open list, and Return.
  Click(window, 100, 32);
  const TWindow list = DropDown(*program, window);
  ASSERT_NE(list.id, 0u);
  Pause(300);
  Keys(list, {"Down", "Return"});
  ASSERT_TRUE(program->WaitGone(list.id));
  EXPECT_EQ(LogWith("select 1 Banana\nclick 0\nselect 0 Apple\nclick 1"),
            "shown\nclick 0\nselect 0 Apple\nclick 1\nselect 1 Banana\nclick 0\nselect 0 Apple\nclick 1\nselect 1 "
            "Banana\n");
}

// "ab" typed quickly chooses the first item that begins with "ab", whether the first key dropped
// the list down or not.
TEST_F(ControlsScreen, TypingWithTheListDroppedDownTakesTheTypeAhead) {
  Start({"pick", "csDropDownList", "Apple", "Abbey", "Banana"});
  Type(window, "ab");
  EXPECT_EQ(LogWith("select 1 Abbey"), "shown\nclick 0\nselect 0 Apple\nclick 1\nselect 1 Abbey\n");
  const TWindow list = DropDown(*program, window);
  ASSERT_NE(list.id, 0u) << "the first key dropped nothing down";
  // Return keeps Abbey, announced already; Down then moves on from it.
  Keys(list, {"Return"});
  ASSERT_TRUE(program->WaitGone(list.id));
  Keys(window, {"Down"});
  EXPECT_EQ(LogWith("select 2 Banana"),
            "shown\nclick 0\nselect 0 Apple\nclick 1\nselect 1 Abbey\nclick 2\nselect 2 Banana\n");
}

TEST_F(ControlsScreen, TypingWithTheListUpTakesTheSameTypeAhead) {
  Start({"combo", "csDropDownList", "Apple", "Abbey", "Banana"});
  Type(window, "ab");
  EXPECT_EQ(LogWith("select 1 Abbey"), "shown\nselect 0 Apple\nselect 1 Abbey\n");
}

// A character that begins no item with those typed before it is the box's: its own search takes
// "b" on its own, and a space drops the list down.
TEST_F(ControlsScreen, ACharacterThatMatchesNothingGoesOnToTheBox) {
  Start({"combo", "csDropDownList", "Apple", "Banana"});
  Keys(window, {"a"});
  EXPECT_EQ(LogWith("select 0 Apple"), "shown\nselect 0 Apple\n");
  Pause(600);
  Keys(window, {"b"});
  EXPECT_EQ(LogWith("select 1 Banana"), "shown\nselect 0 Apple\nselect 1 Banana\n");
  Keys(window, {"space"});
  const TWindow list = DropDown(*program, window);
  EXPECT_NE(list.id, 0u) << "a space dropped nothing down";
}

// The hint window of the control the pointer rests on: its pixels, read back from the screen.
// Qt gives hints to the active window alone.
QImage RestAndGrabHint(const TProgram& program, const TWindow& window, int x, int y) {
  Output({"xdotool", "windowfocus", std::to_string(window.id)});
  Output({"xdotool", "mousemove", "--window", std::to_string(window.id), std::to_string(x), std::to_string(y)});
  const TWindow hint = program.WaitFor([&](const TWindow& w) { return w.id != window.id; });
  if (!hint.id) return {};
  Pause(100);
  return Grab(hint);
}

// Markup in a hint is text: "Use <b>bold</b> if a<c then d" shows every character of it, on one
// line, far wider than the "Use bold if a" that rich text would make of it.
TEST_F(ControlsScreen, AHintWithMarkupShowsEveryCharacter) {
  const std::string markup = "Use <b>bold</b> if a<c then d", plain = "Use bold if a";
  Start({"hints", markup, plain});
  const QImage first = RestAndGrabHint(*program, window, 80, 25);
  ASSERT_FALSE(first.isNull()) << "no hint window for the first button";
  Keep(first, "hint-markup");
  // Away from both buttons, until the hint is gone, then onto the second.
  Output({"xdotool", "mousemove", "--window", std::to_string(window.id), "200", "140"});
  for (int i = 0; i < 100 && program->Windows().size() > 1; ++i) Pause(50);
  const QImage second = RestAndGrabHint(*program, window, 80, 60);
  ASSERT_FALSE(second.isNull()) << "no hint window for the second button";
  Keep(second, "hint-plain");
  const QRect markupInk = Ink(first, first.rect().adjusted(2, 2, -2, -2));
  const QRect plainInk = Ink(second, second.rect().adjusted(2, 2, -2, -2));
  ASSERT_FALSE(markupInk.isEmpty() || plainInk.isEmpty());
  EXPECT_GT(markupInk.width(), plainInk.width() * 3 / 2);
  EXPECT_EQ(Bands(first, first.rect().adjusted(2, 2, -2, -2)).size(), 1u);
  EXPECT_GT(first.width(), markupInk.width());
}

}  // namespace

#pragma once
// The real-display suite's harness: an X server of the suite's own, the real program on it, input
// through the X server (xdotool, which sends it with XTest) and pixels read back from the server.
// Nothing is sent to a widget and nothing is asked of one: what is checked is what a user sees.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <QFont>
#include <QImage>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace screen {

// The suite's X server is up and this process is its Qt client; false (with the reason) when it
// could not be started.
bool DisplayReady(std::string* why = nullptr);

// A child process that the kernel ends when this process ends, however it ends: an X server or a
// program left running by a failed or killed test does not outlive it.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}, int notifyFd = -1);
// Ends a child: SIGTERM, SIGKILL after two seconds, reaped.
void Stop(pid_t pid);
// Runs a command to its end (at most ten seconds) and returns its standard output.
std::string Output(const std::vector<std::string>& argv);

struct TWindow {
  unsigned long id = 0;
  QRect geometry;  // on the screen
  std::string name;
};

// A program on the suite's display (by default the converter, where the suite is built with it),
// its browser a stub that records the URLs it is given.
class TProgram {
public:
  TProgram(const TempDir& dir, const std::vector<std::string>& argv);
#ifdef MIRELCON_EXE
  explicit TProgram(const TempDir& dir) : TProgram(dir, {MIRELCON_EXE}) {}
#endif
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  // The program's visible windows.
  std::vector<TWindow> Windows() const;
  // Waits (up to 20 s) for a visible window that matches; an empty id when none came.
  TWindow WaitFor(const std::function<bool(const TWindow&)>& match) const;
  TWindow WaitForName(const std::string& prefix) const;
  TWindow WaitForSize(int width, int height) const;
  bool Shows(unsigned long id) const;
  // Waits (up to 5 s) until the window no longer shows.
  bool WaitGone(unsigned long id) const;
  // The URLs handed to the browser so far.
  std::string Opened() const;

private:
  pid_t pid_ = -1;
  std::string opened_;
};

// The window's titles as the X server holds them for a window manager: WM_NAME and _NET_WM_NAME,
// each "" when the window has none.
struct TTitles {
  std::string wmName, netWmName;
};
TTitles Titles(const TWindow& w);

// A click at (x, y) of the window, through the X server.
void Click(const TWindow& w, int x, int y, int button = 1);
// The window gets the X input focus, then each key is pressed and released (xdotool's names).
void Keys(const TWindow& w, const std::vector<std::string>& keys);
void Type(const TWindow& w, const std::string& text);
// Waits, letting the program work.
void Pause(int ms);

// The window's pixels as the X server holds them.
QImage Grab(const TWindow& w);
// Keeps a grab for people to look at, under $MIRELCON_SCREENSHOTS/NAME.png when that is set.
void Keep(const QImage& image, const std::string& name);

// Text pixels: dark on the light faces the windows use.
bool Dark(QRgb c);
// The bounding box of the pixels in area that satisfy is; empty when none does.
QRect Ink(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& is = Dark);
int Count(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& is);
// The runs of rows in area that hold ink, top to bottom, as [top, bottom] pairs.
std::vector<QRect> Bands(const QImage& image, const QRect& area);
// The width of the ink of text drawn in font black on white, with shaping off: the width a
// window shows the same characters with.
int ReferenceInkWidth(const QFont& font, const QString& text);
// The program's window font: the face the windows name, 8 points.
QFont WindowFont(const char* family);

}  // namespace screen

// Every case needs the display: without it the case fails and says why.
#define REQUIRE_DISPLAY()                                          \
  do {                                                             \
    std::string why_;                                              \
    ASSERT_TRUE(screen::DisplayReady(&why_)) << why_;              \
  } while (0)

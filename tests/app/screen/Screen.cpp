#include "tests/app/screen/Screen.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

namespace screen {
namespace {

using Clock = std::chrono::steady_clock;

// Reads a line from fd within the time; "" when none came.
std::string ReadLine(int fd, std::chrono::milliseconds within) {
  std::string line;
  const auto deadline = Clock::now() + within;
  char c = 0;
  while (Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (poll(&p, 1, std::max(1, left)) <= 0) continue;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  return {};
}

// The suite's X server: started before the first case, on a display number that the server
// itself finds free (so parallel runs never meet), and stopped after the last.
class TXServer final : public testing::Environment {
public:
  void SetUp() override {
    int fds[2];
    if (pipe(fds) != 0) {
      why = "no pipe for the X server";
      return;
    }
    xvfb = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {},
                 fds[1]);
    close(fds[1]);
    const std::string number = ReadLine(fds[0], std::chrono::seconds(20));
    close(fds[0]);
    if (number.empty()) {
      why = "Xvfb did not start (tools/setup-deps.sh installs xvfb)";
      return;
    }
    display = ":" + number;
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    unsetenv("WAYLAND_DISPLAY");
    static int argc = 1;
    static char name[] = "test_app_screen";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QGuiApplication>(argc, argv);
    // The references are drawn with the faces the program's windows name.
    for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/ms_sans_serif.ttf"})
      QFontDatabase::addApplicationFont(QString::fromUtf8(file));
    if (Output({"xdotool", "version"}).empty()) why = "xdotool is missing (tools/setup-deps.sh installs it)";
  }
  void TearDown() override {
    app.reset();  // the connection goes before its server
    if (xvfb > 0) Stop(xvfb);
  }

  pid_t xvfb = -1;
  std::string display;
  std::string why;
  std::unique_ptr<QGuiApplication> app;
};

TXServer* const g_server = static_cast<TXServer*>(testing::AddGlobalTestEnvironment(new TXServer));

std::vector<std::string> Words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

}  // namespace

bool DisplayReady(std::string* why) {
  if (why) *why = g_server->why;
  return g_server->why.empty() && g_server->app;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int notifyFd) {
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
  // Only the standard streams and the notification pipe reach the child.
  for (int fd = 3; fd < 1024; ++fd)
    if (fd != notifyFd) close(fd);
  for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
  std::vector<char*> v;
  for (const std::string& a : argv) v.push_back(const_cast<char*>(a.c_str()));
  v.push_back(nullptr);
  execvp(v[0], v.data());
  _exit(127);
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string Output(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(fds[1], 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(fds[0]);
    std::vector<char*> v;
    for (const std::string& a : argv) v.push_back(const_cast<char*>(a.c_str()));
    v.push_back(nullptr);
    execvp(v[0], v.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  char buf[4096];
  while (Clock::now() < deadline) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  Stop(pid);
  return out;
}

// ---- the program ----

TProgram::TProgram(const TempDir& dir, const std::vector<std::string>& argv) {
  namespace fs = std::filesystem;
  const fs::path bin = dir.Path() / "bin", run = dir.Path() / "run";
  fs::create_directories(bin);
  fs::create_directories(run);
  fs::permissions(run, fs::perms::owner_all, fs::perm_options::replace);
  opened_ = dir.File("opened.txt");
  // The browser: it records what it was asked to open.
  TempDir::Write((bin / "xdg-open").string(), "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + opened_ + "'\n");
  fs::permissions(bin / "xdg-open", fs::perms::owner_all, fs::perm_options::replace);
  const char* path = std::getenv("PATH");
  pid_ = Spawn(argv, {"PATH=" + bin.string() + ":" + (path ? path : "/usr/bin:/bin"),
                                "XDG_RUNTIME_DIR=" + run.string(), "XDG_CONFIG_HOME=" + dir.File("config")});
}

TProgram::~TProgram() { Stop(pid_); }

std::vector<TWindow> TProgram::Windows() const {
  std::vector<TWindow> windows;
  for (const std::string& id : Words(Output({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid_)}))) {
    TWindow w;
    w.id = std::stoul(id);
    int x = 0, y = 0, width = 0, height = 0;
    for (const std::string& kv : Words(Output({"xdotool", "getwindowgeometry", "--shell", id}))) {
      const size_t eq = kv.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = kv.substr(0, eq);
      const int value = std::atoi(kv.c_str() + eq + 1);
      if (key == "X") x = value;
      if (key == "Y") y = value;
      if (key == "WIDTH") width = value;
      if (key == "HEIGHT") height = value;
    }
    w.geometry = QRect(x, y, width, height);
    w.name = Output({"xdotool", "getwindowname", id});
    while (!w.name.empty() && w.name.back() == '\n') w.name.pop_back();
    windows.push_back(w);
  }
  return windows;
}

TWindow TProgram::WaitFor(const std::function<bool(const TWindow&)>& match) const {
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < deadline) {
    for (const TWindow& w : Windows())
      if (match(w)) return w;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

TWindow TProgram::WaitForName(const std::string& prefix) const {
  return WaitFor([&](const TWindow& w) { return w.name.rfind(prefix, 0) == 0; });
}

TWindow TProgram::WaitForSize(int width, int height) const {
  return WaitFor([&](const TWindow& w) { return w.geometry.width() == width && w.geometry.height() == height; });
}

bool TProgram::Shows(unsigned long id) const {
  for (const TWindow& w : Windows())
    if (w.id == id) return true;
  return false;
}

bool TProgram::WaitGone(unsigned long id) const {
  for (int i = 0; i < 100; ++i, Pause(50))
    if (!Shows(id)) return true;
  return false;
}

TTitles Titles(const TWindow& w) {
  // xprop -notype prints NAME = "text", with a quote or backslash inside the text escaped.
  auto property = [&](const char* name) {
    const std::string out = Output({"xprop", "-id", std::to_string(w.id), "-notype", name});
    const size_t open = out.find("= \"");
    const size_t close = out.rfind('"');
    if (open == std::string::npos || close < open + 3) return std::string();
    std::string text;
    for (size_t i = open + 3; i < close; ++i) {
      if (out[i] == '\\' && i + 1 < close) ++i;
      text += out[i];
    }
    return text;
  };
  return {property("WM_NAME"), property("_NET_WM_NAME")};
}

std::string TProgram::Opened() const { return std::filesystem::exists(opened_) ? TempDir::Read(opened_) : ""; }

// ---- input ----

void Click(const TWindow& w, int x, int y, int button) {
  Output({"xdotool", "mousemove", "--window", std::to_string(w.id), std::to_string(x), std::to_string(y), "click",
          std::to_string(button)});
}

void Keys(const TWindow& w, const std::vector<std::string>& keys) {
  Output({"xdotool", "windowfocus", std::to_string(w.id)});
  Pause(100);
  std::vector<std::string> argv{"xdotool", "key", "--delay", "30"};
  argv.insert(argv.end(), keys.begin(), keys.end());
  Output(argv);
}

void Type(const TWindow& w, const std::string& text) {
  Output({"xdotool", "windowfocus", std::to_string(w.id)});
  Pause(100);
  Output({"xdotool", "type", "--delay", "20", text});
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// ---- pixels ----

QImage Grab(const TWindow& w) {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s || !w.id) return {};
  return s->grabWindow(static_cast<WId>(w.id)).toImage().convertToFormat(QImage::Format_RGB32);
}

void Keep(const QImage& image, const std::string& name) {
  const char* dir = std::getenv("MIRELCON_SCREENSHOTS");
  if (dir && *dir) image.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

bool Dark(QRgb c) { return qGray(c) < 100; }

QRect Ink(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& is) {
  QRect box;
  const QRect r = area & image.rect();
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (is(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
  return box;
}

int Count(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& is) {
  int n = 0;
  const QRect r = area & image.rect();
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += is(image.pixel(x, y));
  return n;
}

std::vector<QRect> Bands(const QImage& image, const QRect& area) {
  std::vector<QRect> bands;
  const QRect r = area & image.rect();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    const QRect row = Ink(image, QRect(r.left(), y, r.width(), 1));
    if (row.isEmpty()) continue;
    if (!bands.empty() && bands.back().bottom() == y - 1)
      bands.back() |= row;
    else
      bands.push_back(row);
  }
  return bands;
}

int ReferenceInkWidth(const QFont& font, const QString& text) {
  QImage image(800, 80, QImage::Format_RGB32);
  image.fill(Qt::white);
  QFont f(font);
  f.setStyleStrategy(QFont::PreferNoShaping);
  {
    QPainter p(&image);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(20, 50, text);
  }
  return Ink(image, image.rect()).width();
}

QFont WindowFont(const char* family) {
  QFont f(QString::fromUtf8(family));
  f.setPointSize(8);
  return f;
}

}  // namespace screen

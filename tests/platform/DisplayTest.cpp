#include "platform/core/Display.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tests/support/TempDir.h"

using platform::DisplayReachable;
using platform::DisplaySettings;

namespace {

// A socket that listens for as long as it lives.
class Listener {
public:
  // A UNIX socket at path (abstract: in the abstract namespace, not on disk).
  Listener(const std::string& path, bool abstract) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un a{AF_UNIX, {}};
    std::memcpy(a.sun_path + abstract, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + abstract + path.size());
    ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), length) == 0 && ::listen(fd_, 4) == 0;
  }
  // TCP on the loopback address, the first free port of the X11 range from 6000 + first.
  explicit Listener(int first) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    for (Number = first; Number < first + 100; ++Number) {
      sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(6000 + Number)), {htonl(INADDR_LOOPBACK)}, {}};
      if ((ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 4) == 0)) return;
    }
  }
  ~Listener() { ::close(fd_); }
  bool Ok() const { return ok_; }
  int Number = 0;

private:
  int fd_ = -1;
  bool ok_ = false;
};

}  // namespace

TEST(Display, ReachableOnlyWhereSomethingListens) {
  TempDir dir;
  Listener wayland(dir.File("wayland-test"), false);
  ASSERT_TRUE(wayland.Ok());
  // Display numbers far above those of real servers, checked free on disk.
  int n = 7301;
  while (access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0) ++n;
  Listener abstractX11("/tmp/.X11-unix/X" + std::to_string(n), true);
  ASSERT_TRUE(abstractX11.Ok());
  Listener tcpX11(350);
  ASSERT_TRUE(tcpX11.Ok());
  const std::string x = ":" + std::to_string(n), dead = ":" + std::to_string(n + 1);
  const std::string tcp = "127.0.0.1:" + std::to_string(tcpX11.Number) + ".0";

  const struct {
    DisplaySettings settings;
    bool reachable;
  } cases[] = {
      {{}, false},
      {{"", x, "", ""}, true},
      {{"", "unix" + x + ".0", "", ""}, true},
      {{"", dead, "", ""}, false},
      {{"", tcp, "", ""}, true},
      {{"", "nonsense", "", ""}, false},
      {{"", "", "wayland-test", dir.File("")}, true},
      {{"", "", dir.File("wayland-test"), ""}, true},
      {{"", "", "wayland-none", dir.File("")}, false},
      {{"", "", "wayland-test", ""}, false},
      {{"", dead, "wayland-test", dir.File("")}, true},
      {{"offscreen", "", "", ""}, true},
      {{"minimal:enable_fonts", dead, "", ""}, true},
      {{"xcb", dead, "wayland-test", dir.File("")}, false},
      {{"wayland", dead, "wayland-test", dir.File("")}, true},
      {{"wayland;xcb", x, "wayland-none", dir.File("")}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings.QtPlatform + "|" + c.settings.X11Display + "|" + c.settings.WaylandDisplay);
    EXPECT_EQ(DisplayReachable(c.settings), c.reachable);
  }
}

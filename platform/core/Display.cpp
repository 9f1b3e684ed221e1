#include "platform/core/Display.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// A remote display that does not answer within this time counts as unreachable.
constexpr int kConnectMilliseconds = 3000;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Connects without blocking longer than the bound; true when the other end accepted.
bool ConnectWithin(int family, const sockaddr* address, socklen_t length) {
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  bool connected = ::connect(fd, address, length) == 0;
  // A listening UNIX socket whose queue is full is there all the same.
  if (!connected && family == AF_UNIX && errno == EAGAIN) connected = true;
  if (!connected && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    connected = ::poll(&p, 1, kConnectMilliseconds) == 1 &&
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }
  ::close(fd);
  return connected;
}

// abstract: the name lives in the abstract namespace (a leading NUL byte), not on disk.
bool UnixSocketAnswers(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.empty() || path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
  return ConnectWithin(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), length);
}

bool TcpAnswers(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool answered = false;
  for (addrinfo* a = found; a && !answered; a = a->ai_next) answered = ConnectWithin(a->ai_family, a->ai_addr, a->ai_addrlen);
  ::freeaddrinfo(found);
  return answered;
}

bool X11Reachable(const std::string& display) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  size_t i = colon + 1;
  int number = 0;
  const size_t digits = i;
  while (i < display.size() && display[i] >= '0' && display[i] <= '9' && number < 100000)
    number = number * 10 + (display[i++] - '0');
  if (i == digits) return false;
  if (i < display.size() && display[i] != '.') return false;  // "[host]:n[.s]"
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    return UnixSocketAnswers(path, false) || UnixSocketAnswers(path, true);
  }
  return TcpAnswers(host, 6000 + number);
}

bool WaylandReachable(const std::string& name, const std::string& runtimeDir) {
  if (!name.empty() && name[0] == '/') return UnixSocketAnswers(name, false);
  if (runtimeDir.empty()) return false;
  return UnixSocketAnswers(runtimeDir + "/" + (name.empty() ? "wayland-0" : name), false);
}

}  // namespace

DisplaySettings DisplaySettingsFromEnvironment() {
  return {Env("QT_QPA_PLATFORM"), Env("DISPLAY"), Env("WAYLAND_DISPLAY"), Env("XDG_RUNTIME_DIR")};
}

bool DisplayReachable(const DisplaySettings& s) {
  if (s.QtPlatform.empty()) {
    return (!s.X11Display.empty() && X11Reachable(s.X11Display)) ||
           (!s.WaylandDisplay.empty() && WaylandReachable(s.WaylandDisplay, s.RuntimeDir));
  }
  // "name[:options]", several separated by ";" that the toolkit tries in turn.
  size_t start = 0;
  for (;;) {
    const size_t end = s.QtPlatform.find(';', start);
    const std::string entry = s.QtPlatform.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::string name = entry.substr(0, entry.find(':'));
    if (name == "xcb") {
      if (X11Reachable(s.X11Display)) return true;
    } else if (name.rfind("wayland", 0) == 0) {
      if (WaylandReachable(s.WaylandDisplay, s.RuntimeDir)) return true;
    } else if (!name.empty()) {
      return true;
    }
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

}  // namespace platform

#pragma once
// Whether a window system can be reached, asked without a window toolkit: a toolkit that finds
// its display set but dead aborts the whole process, so the program looks first.
#include <string>

namespace platform {

// The settings that choose and name the display, as the environment gives them (empty: unset).
struct DisplaySettings {
  std::string QtPlatform;      // QT_QPA_PLATFORM
  std::string X11Display;      // DISPLAY: "[host]:n[.s]"
  std::string WaylandDisplay;  // WAYLAND_DISPLAY: a socket name, or an absolute path
  std::string RuntimeDir;      // XDG_RUNTIME_DIR: where a Wayland socket name lives
};
DisplaySettings DisplaySettingsFromEnvironment();

// True when a display that the settings name answers a connection: the X11 server's socket
// (local: the UNIX socket /tmp/.X11-unix/Xn or its abstract twin; remote: TCP port 6000 + n),
// the Wayland compositor's socket. A QT_QPA_PLATFORM other than xcb or wayland (offscreen,
// minimal, ...) needs no display and counts as reachable.
bool DisplayReachable(const DisplaySettings& settings);

}  // namespace platform

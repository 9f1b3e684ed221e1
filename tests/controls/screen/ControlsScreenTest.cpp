// The control units on a real X display: a window of them runs as its own program, keys go
// through the X server and pixels are read back from it.
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

}  // namespace

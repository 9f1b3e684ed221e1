// How the built program starts: on the terminal it loads no window toolkit at all; with a display
// it loads its window module, and one that cannot be loaded is a message and a failed run.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unicode/utypes.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

namespace fs = std::filesystem;

namespace {

const std::string kExe = MIRELCON_EXE;

// What the dynamic loader of a run reports it opened (LD_DEBUG=files, one file per process).
std::string LoadedFiles(const TempDir& dir) {
  std::string all;
  for (const fs::directory_entry& e : fs::directory_iterator(dir.Path()))
    if (e.path().filename().string().rfind("ld.", 0) == 0) all += TempDir::Read(e.path().string());
  return all;
}

}  // namespace

// Every terminal run, however short, maps none of the toolkit's libraries, nor the sound library
// that no conversion plays; the termbase library only when a termbase is read. The loader's
// report is checked to name the libraries the converter does use, so that a silent report cannot
// pass.
TEST(ProgramStart, ATerminalRunLoadsNoToolkit) {
  struct Case {
    std::vector<std::string> args;  // "@" is the run's folder
    int status;
    std::string output;  // a file the run writes, "" for none
    bool termbase;       // the termbase library is loaded
  };
  const std::vector<Case> cases = {
      {{}, 2, "", false},
      {{"/?"}, 0, "", false},
      {{"@/tm.txt"}, 0, "tm.tmx", false},
      {{"/TMX", "@/tm.txt", "@/out"}, 0, "out/tm.tmx", false},
      {{"@/tb.sdltb"}, 0, "tb.csv", true},
  };
  for (const Case& c : cases) {
    TempDir dir, debug;
    TempDir::Write(dir.File("tm.txt"), tmfiles::NumberedTm(1));
    ASSERT_EQ(RunProgram(MAKE_TERMBASE, {"--entries", "3", dir.File("tb.sdltb")}).status, 0);
    std::vector<std::string> args;
    for (const std::string& a : c.args) args.push_back(a[0] == '@' ? dir.File(a.substr(2)) : a);
    SCOPED_TRACE(args.empty() ? "(no arguments)" : args.back());
    const ProgramRun run = RunProgram(kExe, args, RunOptions({"LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + debug.File("ld")}));
    EXPECT_EQ(run.status, c.status) << run.err;
    if (!c.output.empty()) {
      EXPECT_TRUE(fs::exists(dir.File(c.output)));
    }
    const std::string loaded = LoadedFiles(debug);
    EXPECT_NE(loaded.find("libicuuc"), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find("libQt6"), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find(MIRELCON_WINDOW_MODULE), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find("libasound"), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find("libmdb") != std::string::npos, c.termbase) << loaded;
  }
}

// A termbase library that cannot be loaded is the missing provider: each termbase is an error
// that names it, in the provider's words, and the other conversions of the run go on.
TEST(ProgramStart, ATermbaseWithoutItsLibraryIsReported) {
  TempDir dir;
  fs::create_directories(dir.File("lib"));
  fs::create_directories(dir.File("in"));
  TempDir::Write(dir.File("lib/libmdb.so.3"), "not a library");
  TempDir::Write(dir.File("in/a.txt"), tmfiles::NumberedTm(2));
  ASSERT_EQ(RunProgram(MAKE_TERMBASE, {"--entries", "3", dir.File("in/b.sdltb")}).status, 0);
  const char* path = std::getenv("LD_LIBRARY_PATH");
  const ProgramRun run = RunProgram(kExe, {"/S", dir.File("in/"), dir.File("out")},
                                    RunOptions({"LD_LIBRARY_PATH=" + dir.File("lib") + (path && *path ? ":" + std::string(path) : "")}));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, dir.File("out/a.tmx") + ": 2 TUs\n");
  EXPECT_EQ(run.err, "Cannot read the termbase \"" + dir.File("in/b.sdltb") +
                         "\". Provider cannot be found. It may not be properly installed.\n");
  EXPECT_FALSE(fs::exists(dir.File("out/b.csv")));
}

// A display answers (the offscreen platform needs none), but the window's module is missing, is
// not a library, or lacks the entry: a message that names the module on standard error, exit
// status 1, nothing converted, and no crash.
TEST(ProgramStart, AWindowModuleThatCannotLoadIsReported) {
  Dl_info icu{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&u_errorName), &icu), 0);
  ASSERT_TRUE(icu.dli_fname && fs::exists(icu.dli_fname));
  struct Case {
    const char* what;
    std::string module;  // the file put where the module belongs, "" for none
  };
  const std::vector<Case> cases = {
      {"missing", ""},
      {"not a library", "text\n"},
      {"a library without the entry", TempDir::Read(icu.dli_fname)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string exe = dir.File("bin/mirelcon");
    fs::create_directories(dir.File("bin"));
    fs::copy_file(kExe, exe);
    const std::string module = dir.File(std::string("bin/") + MIRELCON_WINDOW_MODULE);
    if (!c.module.empty()) TempDir::Write(module, c.module);
    TempDir::Write(dir.File("tm.txt"), tmfiles::NumberedTm(1));
    RunOptions options({"QT_QPA_PLATFORM=offscreen"});
    options.boundSeconds = 60;
    const ProgramRun run = RunProgram(exe, {"/QUIET", dir.File("tm.txt")}, options);
    EXPECT_FALSE(run.hung);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("mirelcon: the window cannot be shown: ", 0), 0u) << run.err;
    if (c.module.empty()) {
      EXPECT_NE(run.err.find(module), std::string::npos) << run.err;
    }
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(dir.File("tm.tmx")));
  }
}

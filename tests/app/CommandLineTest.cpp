// The built program run from the command line without a display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/core/CodePages.h"
#include "platform/core/Utf8.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

namespace fs = std::filesystem;
using tmfiles::NumberedTm;

namespace {

const std::string kExe = MIRELCON_EXE;

// In the texts of a run "@" stands for the test's folder.
struct Expected {
  std::vector<std::string> args;
  int status;
  std::string out, err;
};

class Program : public ::testing::Test {
protected:
  std::string At(const std::string& s) { return tmfiles::Replace(s, "@", dir.File("").substr(0, dir.File("").size() - 1)); }
  void Write(const std::string& name, const std::string& bytes) {
    fs::create_directories(fs::path(dir.File(name)).parent_path());
    TempDir::Write(dir.File(name), bytes);
  }
  void Check(const Expected& r, const std::vector<std::string>& env = {}) {
    std::vector<std::string> args;
    for (const std::string& a : r.args) args.push_back(At(a));
    SCOPED_TRACE(args.back());
    const ProgramRun run = RunProgram(kExe, args, env);
    EXPECT_EQ(run.status, r.status);
    EXPECT_EQ(run.out, At(r.out));
    EXPECT_EQ(run.err, At(r.err));
  }
  TempDir dir;
};

}  // namespace

std::string NotADatabase(const std::string& name) {
  return "Cannot read the SDLTM database \"@/db/" + name + ".sdltm\". Error executing SQL. Error [26]: File opened that is "
         "not a database file. \"SELECT * FROM translation_units\": file is not a database\n";
}

// Each case on a tree of its own folder: the result lines (with the count's thousands grouped)
// on standard output, one line per failed file on standard error, naming it, and the status.
TEST_F(Program, RunsOnFilesAndFolders) {
  Write("one/tm.txt", NumberedTm(1234));
  Write("tree/a.txt", NumberedTm(1));
  Write("tree/sub/b.txt", NumberedTm(2));
  Write("tree/notes.doc", "x");
  fs::create_directories(dir.Path() / "tree/sub/empty");
  fs::create_directories(dir.Path() / "empty");
  // A batch never takes its own outputs as inputs, and goes through its files in sorted order.
  Write("two/b.txt", NumberedTm(2));
  Write("two/a.txt", NumberedTm(1));
  // The output of a.txt cannot be created: a folder stands where the file would go.
  Write("fail/a.txt", NumberedTm(2));
  Write("fail/b.txt", NumberedTm(3));
  fs::create_directories(dir.Path() / "failout/a.tmx");
  Write("doc/f.sdlxliff", "<xliff/>");
  Write("lang/fil.tmx", "<tmx version=\"1.4\"><header srclang=\"en-US\"/><body><tu><tuv xml:lang=\"en-US\"><seg>One"
                        "</seg></tuv><tuv xml:lang=\"fil-PH\"><seg>Isa</seg></tuv></tu></body></tmx>");
  Write("db/a.sdltm", "this is no database, but a text that goes on\r\nfor a while\r\n");
  Write("db/b.sdltm", "nor is this one");
  Write("blocker", "x");
  const Expected runs[] = {
      {{"@/one/tm.txt"}, 0, "@/one/tm.tmx: 1.234 TUs\n", ""},
      {{"@/missing.txt"}, 2, "", "Bad FileName\n"},
      {{"/S", "@/nowhere/x"}, 2, "", "Bad source directory\n"},
      // A folder named without its "/" is that folder; the second path is the output folder,
      // made with its parents when missing.
      {{"-s", "@/tree", "@/mirror"}, 0, "@/mirror/a.tmx: 1 TUs\n@/mirror/sub/b.tmx: 2 TUs\n", ""},
      {{"@/tree", "@/flat/er/"}, 0, "@/flat/er/a.tmx: 1 TUs\n", ""},
      {{"@/two/*.txt"}, 0, "@/two/a.tmx: 1 TUs\n@/two/b.tmx: 2 TUs\n", ""},
      {{"@/fail/*.txt", "@/failout"}, 1, "@/failout/b.tmx: 3 TUs\n",
       "Cannot create file \"@/failout/a.tmx\". Is a directory.\n"},
      // What matches no file to convert is an error that names it.
      {{"@/tree/*.doc"}, 1, "", "No file to convert matches \"@/tree/*.doc\".\n"},
      {{"/S", "@/tree/c"}, 1, "", "No file to convert matches \"@/tree/c\".\n"},
      {{"@/empty"}, 1, "", "No file to convert matches \"@/empty/\".\n"},
      {{"@/one/tm.txt", "@/blocker/out"}, 1, "", "Cannot create folder \"@/blocker/out/\". Not a directory.\n"},
      {{"@/doc/f.sdlxliff"}, 1, "", "Error: @/doc/f.sdlxliff: Not yet implemented\n"},
      {{"@/lang/fil.tmx"}, 1, "",
       "Cannot convert file \"@/lang/fil.tmx\". The language \"fil-PH\" has no code that a text translation memory can "
       "hold.\n"},
      {{"@/db/*.sdltm"}, 1, "", NotADatabase("a") + NotADatabase("b")},
  };
  for (const Expected& r : runs) Check(r);
  EXPECT_TRUE(fs::is_directory(dir.Path() / "mirror/sub/empty"));
  EXPECT_FALSE(fs::exists(dir.Path() / "doc/f.tmx"));
}

TEST_F(Program, HelpAndNoParameters) {
  const ProgramRun help = RunProgram(kExe, {"/?", dir.File("missing.txt")});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: Mirelcon [parameters] InputFile [OutputDirectory]\n\nParameters:\n", 0), 0u);
  EXPECT_EQ(help.out.find('\r'), std::string::npos);
  EXPECT_NE(help.out.find("\n/S\t\tInclude subdirectories\n/QUIET\t\tSilent\n"), std::string::npos) << help.out;
  EXPECT_EQ(std::count(help.out.begin(), help.out.end(), '\n'), 11);
  // A display that is set but answers nowhere means the terminal: the command line runs there,
  // and the window, which needs one, is refused with a message instead of the toolkit's abort.
  int n = 99;
  while (fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) ++n;
  for (const std::vector<std::string>& env : {std::vector<std::string>{}, {"DISPLAY=:" + std::to_string(n)}}) {
    const ProgramRun none = RunProgram(kExe, {}, env);
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("the window needs a display"), std::string::npos) << none.err;
    Write("tm.txt", NumberedTm(3));
    Check({{"@/tm.txt"}, 0, "@/tm.tmx: 3 TUs\n", ""}, env);
  }
}

// After a first batch a folder holds X.txt and X.tmx: a second batch converts neither into the
// other, says so for each, and goes on.
TEST_F(Program, ABatchNeverOverwritesItsOwnInputs) {
  Write("tm/X.txt", NumberedTm(2));
  Check({{"/S", "@/tm/"}, 0, "@/tm/X.tmx: 2 TUs\n", ""});
  Write("tm/Y.txt", NumberedTm(3));
  const std::string txt = TempDir::Read(dir.File("tm/X.txt")), tmx = TempDir::Read(dir.File("tm/X.tmx"));
  Check({{"/S", "@/tm/"}, 1, "@/tm/Y.tmx: 3 TUs\n",
         "\"@/tm/X.tmx\" is not converted: its output would replace \"@/tm/X.txt\", another input of this run.\n"
         "\"@/tm/X.txt\" is not converted: its output would replace \"@/tm/X.tmx\", another input of this run.\n"});
  EXPECT_EQ(TempDir::Read(dir.File("tm/X.txt")), txt);
  EXPECT_EQ(TempDir::Read(dir.File("tm/X.tmx")), tmx);
}

// The dynamic loader finds a broken library under the usual name first: the program runs as it
// does without SQLite, and writes nothing.
TEST_F(Program, SdltmWithoutTheLibraryIsReported) {
  Write("lib/libsqlite3.so.0", "not a library");
  Write("tm.sdltm", "whatever it holds");
  const char* path = std::getenv("LD_LIBRARY_PATH");
  Check({{"@/tm.sdltm"}, 1, "",
         "Error: @/tm.sdltm: DLL SQLite3.DLL is missing. You cannot convert sdltm -> TMX\n"},
        {"LD_LIBRARY_PATH=" + dir.File("lib") + (path && *path ? ":" + std::string(path) : "")});
  EXPECT_FALSE(fs::exists(dir.Path() / "tm.tmx"));
}

// A folder of the tree that cannot be read is an error that names it; the rest is converted.
TEST_F(Program, AnUnreadableFolderIsNamedAndTheRestConverted) {
  if (geteuid() == 0 && access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "running as root without setpriv: folder permissions cannot be put to the test";
  Write("in/a.txt", NumberedTm(1));
  Write("in/locked/hidden.txt", NumberedTm(1));
  Write("in/open/z.txt", NumberedTm(2));
  // Open to the unprivileged user that runs the program, but for the locked folder.
  for (const auto& e : fs::recursive_directory_iterator(dir.Path())) fs::permissions(e.path(), fs::perms::all);
  fs::permissions(dir.Path(), fs::perms::all);
  fs::permissions(dir.Path() / "in/locked", fs::perms::none);
  const RunOptions nobody({}, {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
  const ProgramRun run = RunProgram(kExe, {"/S", dir.File("in/"), dir.File("out")}, geteuid() == 0 ? nobody : RunOptions());
  fs::permissions(dir.Path() / "in/locked", fs::perms::owner_all);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, At("Cannot read folder \"@/in/locked/\". Permission denied.\n"));
  EXPECT_EQ(run.out, At("@/out/a.tmx: 1 TUs\n@/out/open/z.tmx: 2 TUs\n"));
}

// A Shift_JIS TMX read in the code page of a Japanese locale: a character whose two bytes fall
// on either side of a read block's end comes through whole.
TEST_F(Program, ADoubleByteCharacterAcrossReadBlocksStaysWhole) {
  const std::u16string japanese = u"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8\u3092\u8868\u793A";
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<tmx version=\"1.4\">\r\n" + tmfiles::kTmxHeader +
      "\r\n<body>\r\n<tu><tuv xml:lang=\"en-GB\"><seg>";
  // The text's lead bytes fall on odd offsets, and the reader's blocks end on even ones.
  std::string seg(29999 - 2 * 5 - head.size(), 'x');
  seg += platform::Utf16ToCodePage(932, japanese + japanese);
  Write("sj.tmx", head + seg + "</seg></tuv>" + tmfiles::Tuv("ja-JP", "x") + "</tu>\r\n</body>\r\n</tmx>\r\n");
  Check({{"@/sj.tmx"}, 0, "@/sj.txt: 1 TUs\n", ""}, {"LC_ALL=", "LC_CTYPE=", "LANG=ja_JP.UTF-8"});
  const std::string out = TempDir::Read(dir.File("sj.txt"));
  EXPECT_EQ(out.find("\xEF\xBF\xBD"), std::string::npos) << "a character was split";
  EXPECT_NE(out.find(std::string(seg.size() - 2 * platform::Utf16ToCodePage(932, japanese).size(), 'x') +
                     platform::Utf16ToUtf8(japanese + japanese)),
            std::string::npos);
}

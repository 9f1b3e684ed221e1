// The built program run from the command line without a display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/RunProgram.h"
#include "tests/support/SQLiteMaker.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmxLint.h"

namespace {

const std::string kExe = MIRELCON_EXE;
const std::string kHeader =
    "\xEF\xBB\xBF%20261201~090000\t%User ID,T\t%TU=00000002\t%EN-GB\t%Quillmar TM v.5.53/00\t%DE-DE\t%---79532885\r\n";

std::string Unit(int i) {
  return "20261201~09000" + std::to_string(i % 10) + "\tANA\t1\ten-GB\tsource " + std::to_string(i) +
         "\tde-DE\tZiel " + std::to_string(i) + "\r\n";
}

std::string Tm(int units) {
  std::string s = kHeader;
  for (int i = 0; i < units; ++i) s += Unit(i);
  return s;
}

}  // namespace

TEST(ProgramRun, ConvertsOneFileNextToItself) {
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), Tm(1234));
  const std::string before = TempDir::Read(dir.File("tm.txt"));
  ProgramRun run = RunProgram(kExe, {dir.File("tm.txt")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir.File("tm.tmx") + ": 1.234 TUs\n");
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "tm.tmx"));
  EXPECT_EQ(TempDir::Read(dir.File("tm.txt")), before);  // the input is never changed
}

TEST(ProgramRun, BadNamesAndFoldersAndHelp) {
  TempDir dir;
  ProgramRun missing = RunProgram(kExe, {dir.File("missing.txt")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "Bad FileName\n");
  ProgramRun badDir = RunProgram(kExe, {"/S", dir.File("nowhere/x")});
  EXPECT_EQ(badDir.status, 2);
  EXPECT_EQ(badDir.err, "Bad source directory\n");
  ProgramRun help = RunProgram(kExe, {"/?", dir.File("missing.txt")});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: Mirelcon [parameters] InputFile [OutputDirectory]\n\nParameters:\n", 0), 0u);
  EXPECT_EQ(help.out.find('\r'), std::string::npos);
  ProgramRun none = RunProgram(kExe, {});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("display"), std::string::npos);
}

TEST(ProgramRun, AFailedFileIsReportedAndTheBatchGoesOn) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "in");
  TempDir::Write(dir.File("in/a.txt"), Tm(2));
  TempDir::Write(dir.File("in/b.txt"), Tm(3));
  // The output of a.txt cannot be created: a folder stands where the file would go.
  std::filesystem::create_directories(dir.Path() / "out/a.tmx");
  ProgramRun run = RunProgram(kExe, {dir.File("in/*.txt"), dir.File("out")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Cannot create file \"" + dir.File("out/a.tmx") + "\""), std::string::npos) << run.err;
  EXPECT_EQ(run.out, dir.File("out/b.tmx") + ": 3 TUs\n");
}

TEST(ProgramRun, InPlaceBatchNeverTakesItsOwnOutputs) {
  TempDir dir;
  TempDir::Write(dir.File("a.txt"), Tm(1));
  TempDir::Write(dir.File("b.txt"), Tm(2));
  ProgramRun run = RunProgram(kExe, {dir.File("*.txt")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir.File("a.tmx") + ": 1 TUs\n" + dir.File("b.tmx") + ": 2 TUs\n");
}

TEST(ProgramRun, RecursiveRunMirrorsTheTree) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "in/sub/empty");
  TempDir::Write(dir.File("in/top.txt"), Tm(1));
  TempDir::Write(dir.File("in/sub/deep.txt"), Tm(2));
  TempDir::Write(dir.File("in/sub/skip.doc"), "x");
  ProgramRun run = RunProgram(kExe, {"-s", dir.File("in/"), dir.File("out")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "out/top.tmx"));
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "out/sub/deep.tmx"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "out/sub/empty"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out/sub/skip"));
}

TEST(ProgramRun, SdlxliffIsNotImplemented) {
  TempDir dir;
  TempDir::Write(dir.File("f.sdlxliff"), "<xliff/>");
  ProgramRun run = RunProgram(kExe, {dir.File("f.sdlxliff")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Error: " + dir.File("f.sdlxliff") + ": Not yet implemented\n");
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "f.tmx"));
}

TEST(ProgramRun, CsvBecomesATextTM) {
  TempDir dir;
  TempDir::Write(dir.File("g.csv"), "source\ttarget\ncat\tchat\ndog\tchien\n");
  ProgramRun run = RunProgram(kExe, {dir.File("g.csv")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "g.txt"));
}

TEST(ProgramRun, TermbaseBecomesCsv) {
  TempDir dir;
  ProgramRun make = RunProgram(MAKE_TERMBASE, {"--entries", "12", dir.File("terms.sdltb")});
  ASSERT_EQ(make.status, 0) << make.err;
  ProgramRun run = RunProgram(kExe, {dir.File("terms.sdltb")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir.File("terms.csv") + ": 12 entries\n");
  const std::string csv = TempDir::Read(dir.File("terms.csv"));
  EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 13);
  // Not a Jet file: an error naming it, and no CSV left behind.
  TempDir::Write(dir.File("bad.sdltb"), "not a database at all");
  ProgramRun bad = RunProgram(kExe, {dir.File("bad.sdltb")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find(dir.File("bad.sdltb")), std::string::npos) << bad.err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "bad.csv"));
}

TEST(ProgramRun, TmxBecomesATextTMAndASecondRunAppends) {
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), Tm(3));
  ASSERT_EQ(RunProgram(kExe, {dir.File("tm.txt")}).status, 0);
  std::filesystem::create_directories(dir.Path() / "back");
  ProgramRun first = RunProgram(kExe, {dir.File("tm.tmx"), dir.File("back")});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, dir.File("back/tm.txt") + ": 3 TUs\n");
  ProgramRun second = RunProgram(kExe, {dir.File("tm.tmx"), dir.File("back")});
  EXPECT_EQ(second.status, 0) << second.err;
  const std::string back = TempDir::Read(dir.File("back/tm.txt"));
  EXPECT_NE(back.find("TU=00000006"), std::string::npos);
  EXPECT_EQ(std::count(back.begin(), back.end(), '\n'), 7);
  // An existing .txt that is not a text TM is never appended to.
  TempDir::Write(dir.File("back/notes.txt"), "my own notes\r\n");
  std::filesystem::copy_file(dir.Path() / "tm.tmx", dir.Path() / "notes.tmx");
  ProgramRun refused = RunProgram(kExe, {dir.File("notes.tmx"), dir.File("back")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(dir.File("back/notes.txt")), std::string::npos) << refused.err;
  EXPECT_EQ(TempDir::Read(dir.File("back/notes.txt")), "my own notes\r\n");
}

TEST(ProgramRun, PropertyTypesBecomeAttributes) {
  TempDir dir;
  TempDir::Write(dir.File("p.tmx"),
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tmx version=\"1.4\"><header srclang=\"en\" "
                 "creationtool=\"t\" creationtoolversion=\"1\" segtype=\"sentence\" o-tmf=\"x\" adminlang=\"en\" "
                 "datatype=\"plaintext\"/><body><tu><prop type=\"x-Client\">ACME</prop>"
                 "<tuv xml:lang=\"en\"><seg>Hello</seg></tuv><tuv xml:lang=\"de\"><seg>Hallo</seg></tuv></tu>"
                 "</body></tmx>\n");
  ProgramRun run = RunProgram(kExe, {"/PROP_TYPE=x-Client", dir.File("p.tmx")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(TempDir::Read(dir.File("p.txt")).find("\tACME"), std::string::npos);
}

TEST(ProgramRun, SdltmBecomesTmx) {
  if (!SQLiteMaker::Instance().Ready()) GTEST_SKIP() << "libsqlite3.so.0 is not installed";
  TempDir dir;
  std::string script =
      "CREATE TABLE translation_units(id INTEGER PRIMARY KEY, source_segment TEXT, target_segment TEXT, "
      "creation_date DATETIME, creation_user TEXT, usage_counter INT);";
  for (int i = 1; i <= 3; ++i)
    script += "INSERT INTO translation_units(source_segment, target_segment, creation_date, creation_user, "
              "usage_counter) VALUES ('<Segment><Elements><Text><Value>source " +
              std::to_string(i) +
              "</Value></Text></Elements><CultureName>en-GB</CultureName></Segment>', "
              "'<Segment><Elements><Text><Value>Ziel &amp; " +
              std::to_string(i) +
              "</Value></Text></Elements><CultureName>de-DE</CultureName></Segment>', '2026-12-01 09:00:00', "
              "'ANA', 1);";
  ASSERT_EQ(SQLiteMaker::Instance().Make(dir.File("tm.sdltm"), script), "");
  ProgramRun run = RunProgram(kExe, {dir.File("tm.sdltm")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir.File("tm.tmx") + ": 3 TUs\n");
  const std::string tmx = TempDir::Read(dir.File("tm.tmx"));
  EXPECT_NE(tmx.find("<seg>source 1</seg>"), std::string::npos);
  EXPECT_NE(tmx.find("<seg>Ziel &amp; 3</seg>"), std::string::npos);
  EXPECT_VALID_TMX(dir.File("tm.tmx"));
}

// The dynamic loader finds a broken library under the usual name first: the program runs as it
// does without SQLite.
TEST(ProgramRun, SdltmWithoutTheLibraryIsReportedAndNothingWritten) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "lib");
  TempDir::Write(dir.File("lib/libsqlite3.so.0"), "not a library");
  TempDir::Write(dir.File("tm.sdltm"), "whatever it holds");
  const char* path = std::getenv("LD_LIBRARY_PATH");
  ProgramRun run = RunProgram(kExe, {dir.File("tm.sdltm")},
                              {"LD_LIBRARY_PATH=" + dir.File("lib") + (path && *path ? ":" + std::string(path) : "")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Error: " + dir.File("tm.sdltm") +
                         ": DLL SQLite3.DLL is missing. You cannot convert sdltm -> TMX"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "tm.tmx"));
}

TEST(ProgramRun, EachFailedFileTakesOneLine) {
  TempDir dir;
  TempDir::Write(dir.File("a.sdltm"), "this is no database, but a text that goes on\r\nfor a while\r\n");
  TempDir::Write(dir.File("b.sdltm"), "nor is this one");
  ProgramRun run = RunProgram(kExe, {dir.File("*.sdltm")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos);
}

TEST(ProgramRun, ALanguageATextTMCannotHoldIsNamed) {
  TempDir dir;
  TempDir::Write(dir.File("fil.tmx"),
                 "<tmx version=\"1.4\"><header srclang=\"en-US\"/><body><tu><tuv xml:lang=\"en-US\"><seg>One</seg>"
                 "</tuv><tuv xml:lang=\"fil-PH\"><seg>Isa</seg></tuv></tu></body></tmx>");
  ProgramRun run = RunProgram(kExe, {dir.File("fil.tmx")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Cannot convert file \"" + dir.File("fil.tmx") +
                         "\". The language \"fil-PH\" has no code that a text translation memory can hold.\n");
  EXPECT_EQ(run.out, "");
}

// After a first batch a folder holds X.txt and X.tmx: a second batch converts neither into the
// other, and says so for each.
TEST(ProgramRun, ABatchNeverOverwritesItsOwnInputs) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "tm");
  TempDir::Write(dir.File("tm/X.txt"), Tm(2));
  ASSERT_EQ(RunProgram(kExe, {"/S", dir.File("tm/")}).status, 0);
  TempDir::Write(dir.File("tm/Y.txt"), Tm(3));
  const std::string txt = TempDir::Read(dir.File("tm/X.txt")), tmx = TempDir::Read(dir.File("tm/X.tmx"));
  ProgramRun run = RunProgram(kExe, {"/S", dir.File("tm/")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, dir.File("tm/Y.tmx") + ": 3 TUs\n");  // the run goes on
  EXPECT_EQ(run.err, "\"" + dir.File("tm/X.tmx") + "\" is not converted: its output would replace \"" +
                         dir.File("tm/X.txt") + "\", another input of this run.\n\"" + dir.File("tm/X.txt") +
                         "\" is not converted: its output would replace \"" + dir.File("tm/X.tmx") +
                         "\", another input of this run.\n");
  EXPECT_EQ(TempDir::Read(dir.File("tm/X.txt")), txt);
  EXPECT_EQ(TempDir::Read(dir.File("tm/X.tmx")), tmx);
}

// A folder named without its "/" is that folder; a name, mask or folder that matches no file
// to convert is an error that names it.
TEST(ProgramRun, ARunThatConvertsNothingSaysSo) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "memories/sub");
  std::filesystem::create_directories(dir.Path() / "empty");
  TempDir::Write(dir.File("memories/a.txt"), Tm(1));
  TempDir::Write(dir.File("memories/sub/b.txt"), Tm(2));
  TempDir::Write(dir.File("memories/notes.doc"), "x");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{"/S", dir.File("memories"), dir.File("tmx")}, 0,
       dir.File("tmx/a.tmx") + ": 1 TUs\n" + dir.File("tmx/sub/b.tmx") + ": 2 TUs\n", ""},
      {{dir.File("memories"), dir.File("flat")}, 0, dir.File("flat/a.tmx") + ": 1 TUs\n", ""},
      {{dir.File("memories/*.doc")}, 1, "", "No file to convert matches \"" + dir.File("memories/*.doc") + "\".\n"},
      {{"/S", dir.File("memories/c")}, 1, "", "No file to convert matches \"" + dir.File("memories/c") + "\".\n"},
      {{dir.File("empty")}, 1, "", "No file to convert matches \"" + dir.File("empty/") + "\".\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    ProgramRun run = RunProgram(kExe, c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

// A folder of the tree that cannot be read is an error that names it; the rest is converted.
TEST(ProgramRun, AnUnreadableFolderIsNamedAndTheRestConverted) {
  if (geteuid() == 0 && access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "running as root without setpriv: folder permissions cannot be put to the test";
  TempDir dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir.Path() / "in/locked");
  fs::create_directories(dir.Path() / "in/open");
  TempDir::Write(dir.File("in/a.txt"), Tm(1));
  TempDir::Write(dir.File("in/locked/hidden.txt"), Tm(1));
  TempDir::Write(dir.File("in/open/z.txt"), Tm(2));
  // Open to the unprivileged user that runs the program, but for the locked folder.
  for (const auto& e : fs::recursive_directory_iterator(dir.Path())) fs::permissions(e.path(), fs::perms::all);
  fs::permissions(dir.Path(), fs::perms::all);
  fs::permissions(dir.Path() / "in/locked", fs::perms::none);
  RunOptions options;
  if (geteuid() == 0) options.prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  ProgramRun run = RunProgram(kExe, {"/S", dir.File("in/"), dir.File("out")}, options);
  fs::permissions(dir.Path() / "in/locked", fs::perms::owner_all);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Cannot read folder \"" + dir.File("in/locked/") + "\". Permission denied.\n");
  EXPECT_EQ(run.out, dir.File("out/a.tmx") + ": 1 TUs\n" + dir.File("out/open/z.tmx") + ": 2 TUs\n");
}

// The second path is the output folder: made with its parents when missing, "/" or not.
TEST(ProgramRun, AMissingOutputFolderIsCreated) {
  TempDir dir;
  TempDir::Write(dir.File("a.txt"), Tm(2));
  for (const std::string out : {"out/new", "out/other/", "deep/er/still"}) {
    SCOPED_TRACE(out);
    ProgramRun run = RunProgram(kExe, {dir.File("a.txt"), dir.File(out)});
    const std::filesystem::path folder = std::filesystem::path(dir.File(out)) / "";
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (folder / "a.tmx").string() + ": 2 TUs\n");
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "a.tmx"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out/a.tmx"));
  // A file where the folder should be: an error that names the folder.
  TempDir::Write(dir.File("blocker"), "x");
  ProgramRun blocked = RunProgram(kExe, {dir.File("a.txt"), dir.File("blocker/out")});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.err, "Cannot create folder \"" + dir.File("blocker/out/") + "\". Not a directory.\n");
  EXPECT_EQ(blocked.out, "");
}

// A display that is set but answers nowhere: the command line runs in the terminal, and the
// window, which needs one, is refused with a message instead of the toolkit's abort.
TEST(ProgramRun, AnUnreachableDisplayMeansTheTerminal) {
  int n = 99;
  while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) ++n;
  const std::vector<std::string> env = {"DISPLAY=:" + std::to_string(n)};
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), Tm(3));
  ProgramRun run = RunProgram(kExe, {dir.File("tm.txt")}, env);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir.File("tm.tmx") + ": 3 TUs\n");
  ProgramRun none = RunProgram(kExe, {}, env);
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("the window needs a display"), std::string::npos) << none.err;
}
